#include "KestxArgs.h"

#include <fstream>

#include "KestxErrors.h"
#include "KestxNative.h"
#include "Platform.h"

namespace {

bool IsHelpWord(const std::string& a) {
    return a == "--help" || a == "-h" || a == "help";
}

TKestxCommand CommandOf(const std::string& word) {
    if (word == "list") return TKestxCommand::List;
    if (word == "verify") return TKestxCommand::Verify;
    if (word == "extract") return TKestxCommand::Extract;
    throw EKestxUsage("unknown command '" + word + "'");
}

size_t OperandCount(TKestxCommand c) {
    return c == TKestxCommand::Extract ? 2 : 1;
}

// Collects operands and the password option; "--" ends the options so that a file name
// may start with "-".
void ScanRest(const std::vector<std::string>& args, TKestxArgs& out,
              std::vector<std::string>& operands) {
    bool optionsEnded = false;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (!optionsEnded && a == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && a == "--password") {
            if (i + 1 >= args.size()) throw EKestxUsage("--password needs a value");
            out.Password = args[++i];
            out.HasPassword = true;
        } else if (!optionsEnded && a.rfind("--password=", 0) == 0) {
            out.Password = a.substr(11);
            out.HasPassword = true;
        } else if (!optionsEnded && a == "--password-file") {
            if (i + 1 >= args.size()) throw EKestxUsage("--password-file needs a file name");
            out.PasswordFile = args[++i];
        } else if (!optionsEnded && a.rfind("--password-file=", 0) == 0) {
            out.PasswordFile = a.substr(16);
        } else if (!optionsEnded && a.size() > 1 && a[0] == '-') {
            throw EKestxUsage("unknown option '" + a + "'");
        } else {
            operands.push_back(a);
        }
    }
}

}  // namespace

TKestxArgs ParseKestxArgs(const std::vector<std::string>& args) {
    TKestxArgs out;
    if (args.empty()) throw EKestxUsage("no command given");
    for (const auto& a : args)
        if (IsHelpWord(a)) return out;
    out.Command = CommandOf(args[0]);
    std::vector<std::string> operands;
    ScanRest(args, out, operands);
    if (operands.size() != OperandCount(out.Command))
        throw EKestxUsage("'" + args[0] + "' takes " +
                          (out.Command == TKestxCommand::Extract ? "FILE and DIR" : "one FILE"));
    for (const auto& o : operands)
        if (o.empty()) throw EKestxUsage("an empty file or directory name");
    out.File = operands[0];
    if (out.Command == TKestxCommand::Extract) out.Dir = operands[1];
    if ((out.HasPassword || !out.PasswordFile.empty()) && out.Command == TKestxCommand::List)
        throw EKestxUsage("'list' takes no password: names and sizes are never encrypted");
    if (out.HasPassword && !out.PasswordFile.empty())
        throw EKestxUsage("give the password once: --password or --password-file");
    return out;
}

void TakePassword(TKestxArgs& args, const char* environmentValue) {
    if (args.Command == TKestxCommand::List || args.Command == TKestxCommand::Help) return;
    if (!args.PasswordFile.empty()) {
        std::ifstream in(NativePath(args.PasswordFile), std::ios::binary);
        std::string line;
        if (!in || (!std::getline(in, line) && !in.eof()))
            throw EKestxData("cannot read the password file '" + args.PasswordFile + "'");
        if (!line.empty() && line.back() == '\r') line.pop_back();
        args.Password = Plat::CommandLineText(line.c_str());
        args.HasPassword = true;
    } else if (!args.HasPassword && environmentValue && *environmentValue) {
        args.Password = Plat::CommandLineText(environmentValue);
        args.HasPassword = true;
    }
}

std::string KestxUsageText() {
    return "Usage:\n"
           "  kestx list FILE\n"
           "  kestx verify FILE [--password P | --password-file F]\n"
           "  kestx extract FILE DIR [--password P | --password-file F]\n"
           "  kestx --help\n"
           "\n"
           "FILE is an executable built by KestBuild; its further volumes (NAME.2, NAME.3, ...)\n"
           "are read from beside it. 'list' shows the stored files, 'verify' decodes every\n"
           "file and checks its checksum, 'extract' writes the files below DIR.\n"
           "\n"
           "A protected package needs its password for 'verify' and 'extract': --password P,\n"
           "or the first line of the file F (--password-file F), or else the environment\n"
           "variable KESTX_PASSWORD. Other users may see a command line (ps), not the file or\n"
           "the variable. Whether the data is protected is told from the data itself; 'list'\n"
           "shows it.\n"
           "\n"
           "Exit codes:\n"
           "  0  success\n"
           "  1  bad usage\n"
           "  2  error in the data: not a KestBuild package, truncated or corrupt, a missing\n"
           "     volume, a wrong or missing password, an unsafe stored name, or a file that\n"
           "     could not be read or written\n";
}
