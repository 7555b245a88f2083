#include "ProgramRun.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "TestUtil.h"

namespace fs = std::filesystem;

namespace {

constexpr int RunTimeLimitSeconds = 120;

std::string Quoted(const std::string& s) {
    if (IsWindowsHost()) return "\"" + s + "\"";
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// The program with its environment and arguments, to be run in the current directory.
std::string ProgramPart(const std::string& program, const std::vector<std::string>& arguments,
                        const TEnvList& env, bool timeLimit = true) {
    std::string cmd;
    if (IsWindowsHost()) {
        for (const auto& [name, value] : env) cmd += "set \"" + name + "=" + value + "\" && ";
    } else {
        // A program that hangs must fail its test, not stop the suite.
        if (timeLimit) cmd = "timeout -k 5 " + std::to_string(RunTimeLimitSeconds) + " ";
        cmd += "env ";
        for (const auto& [name, value] : env) cmd += Quoted(name + "=" + value) + " ";
    }
    cmd += Quoted(HostPath(program));
    for (const auto& a : arguments) cmd += " " + Quoted(a);
    return cmd;
}

std::string ChangeDir(const std::string& cwd) {
    return (IsWindowsHost() ? "cd /d " : "cd ") + Quoted(HostPath(cwd)) + " && ";
}

int ExitCodeOf(int status) {
    if (IsWindowsHost()) return status;
    if (status & 0x7f) return 128 + (status & 0x7f);  // ended by a signal
    return (status >> 8) & 0xff;
}

std::string WithoutCr(std::string text) {
    std::string out;
    for (char c : text)
        if (c != '\r') out += c;
    return out;
}

}  // namespace

bool IsWindowsHost() {
    return TestUtil::Sep() == '\\';
}

std::string HostPath(const std::string& path) {
    return fs::absolute(fs::path(path)).make_preferred().string();
}

std::vector<std::string> TRunResult::OutLines() const {
    std::vector<std::string> lines;
    std::string::size_type start = 0, end;
    while ((end = Out.find('\n', start)) != std::string::npos) {
        lines.push_back(Out.substr(start, end - start));
        start = end + 1;
    }
    if (start < Out.size()) lines.push_back(Out.substr(start));
    return lines;
}

TRunResult RunProgram(const std::string& cwd, const std::string& program,
                      const std::vector<std::string>& arguments, const TEnvList& env) {
    TestUtil::TempDir io;
    std::string out = io / "out.txt", err = io / "err.txt";
    std::string cmd = ChangeDir(cwd) + ProgramPart(program, arguments, env) + " >" +
                      Quoted(HostPath(out)) + " 2>" + Quoted(HostPath(err)) +
                      (IsWindowsHost() ? " <nul" : " </dev/null");
    TRunResult result;
    result.ExitCode = ExitCodeOf(std::system(cmd.c_str()));
    result.RawOut = TestUtil::Exists(out) ? TestUtil::ReadFile(out) : "";
    result.RawErr = TestUtil::Exists(err) ? TestUtil::ReadFile(err) : "";
    result.Out = WithoutCr(result.RawOut);
    result.Err = WithoutCr(result.RawErr);
    return result;
}

int StartProgram(const std::string& cwd, const std::string& program,
                 const std::vector<std::string>& arguments, const TEnvList& env,
                 const std::string& outFile) {
    if (IsWindowsHost()) throw std::logic_error("background runs are POSIX only");
    TestUtil::TempDir io;
    std::string pidFile = io / "pid";
    std::string cmd = ChangeDir(cwd) + "{ " + ProgramPart(program, arguments, env, false) + " >" +
                      Quoted(outFile) + " 2>&1 </dev/null & echo $! >" + Quoted(pidFile) + "; }";
    if (std::system(cmd.c_str()) != 0) throw std::runtime_error("cannot start " + program);
    return std::stoi(TestUtil::ReadFile(pidFile));
}

std::string VersionedDll() {
    std::vector<std::string> candidates = {
        "/usr/lib/i386-linux-gnu/wine/i386-windows/version.dll",
        "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/version.dll"};
    std::string windir = TestUtil::Env("windir", TestUtil::Env("WINDIR"));
    if (IsWindowsHost()) candidates = {windir + "\\system32\\version.dll"};
    for (const std::string& path : candidates)
        if (!path.empty() && TestUtil::Exists(path)) return path;
    return "";
}
