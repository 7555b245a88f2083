#include "SfxArgs.h"

#include "PkgIni.h"

namespace {

// The next blank-separated token; double quotes group and are removed.
bool NextToken(const std::string& line, size_t& pos, std::string& token, size_t& start) {
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
    if (pos >= line.size()) return false;
    start = pos;
    token.clear();
    bool quoted = false;
    for (; pos < line.size(); ++pos) {
        const char c = line[pos];
        if (c == '"') {
            quoted = !quoted;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            break;
        } else {
            token += c;
        }
    }
    return true;
}

bool TakeValue(const std::string& token, const char* name, std::string& value) {
    const std::string prefix = name;
    if (token.size() < prefix.size() || !SameText(token.substr(0, prefix.size()), prefix))
        return false;
    value = token.substr(prefix.size());
    return true;
}

std::string TrimRight(std::string s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.pop_back();
    return s;
}

}  // namespace

std::string ParseSfxArgs(const std::string& line, TSfxArgs& args) {
    size_t pos = 0, start = 0;
    std::string token;
    while (NextToken(line, pos, token, start)) {
        std::string value;
        if (token.size() >= 3 && SameText(token.substr(0, 3), "/D=")) {
            // Everything after "/D=" to the end of the line, spaces included; a program
            // that quotes every argument gives "/D=folder" or /D="folder".
            std::string rest = line.substr(start);
            const bool quotedSwitch = rest.front() == '"';
            rest = TrimRight(rest.substr(quotedSwitch ? 4 : 3));
            if (rest.size() >= 2 && rest.front() == '"' && rest.back() == '"')
                rest = rest.substr(1, rest.size() - 2);
            else if (quotedSwitch && !rest.empty() && rest.back() == '"')
                rest.pop_back();
            if (rest.empty()) return "/D= needs a folder";
            args.Dir = rest;
            args.HasDir = true;
            return {};
        }
        if (SameText(token, "/S")) {
            args.Silent = true;
        } else if (token == "/?" || SameText(token, "/HELP")) {
            args.Help = true;
        } else if (TakeValue(token, "/PASSWORD=", value)) {
            args.Password = value;
            args.HasPassword = true;
        } else if (TakeValue(token, "/LOG=", value)) {
            if (value.empty()) return "/LOG= needs a file name";
            args.LogFile = value;
        } else if (TakeValue(token, "/LANG=", value)) {
            args.Language = value;
        } else {
            return "unknown switch '" + token + "'";
        }
    }
    return {};
}

std::string CommandLineTail(const char* full) {
    const std::string line = full ? full : "";
    size_t pos = 0;
    while (pos < line.size() && line[pos] == ' ') ++pos;
    if (pos < line.size() && line[pos] == '"') {
        const size_t close = line.find('"', pos + 1);
        pos = close == std::string::npos ? line.size() : close + 1;
    } else {
        while (pos < line.size() && line[pos] != ' ' && line[pos] != '\t') ++pos;
    }
    return line.substr(pos);
}

std::string SfxUsageText() {
    return "Usage: Setup.exe [/S] [/PASSWORD=text] [/LOG=file] [/LANG=code] [/D=folder]\n"
           "\n"
           "  /S            silent: no window, no questions\n"
           "  /PASSWORD=    the password of a protected package\n"
           "  /LOG=         write a line per file to this file\n"
           "  /LANG=        the language of the texts, for example DEU\n"
           "  /D=           the folder to install to; must come last, may hold spaces\n"
           "\n"
           "Exit codes: 0 installed, 1 cancelled, 2 bad switches, 3 wrong or missing password,\n"
           "4 damaged or incomplete package, 5 not enough space or a write failed.\n";
}
