// The command line of kestx.
#pragma once

#include <string>
#include <vector>

enum class TKestxCommand { Help, List, Verify, Extract };

struct TKestxArgs {
    TKestxCommand Command = TKestxCommand::Help;
    std::string File;
    std::string Dir;
    std::string Password;
    bool HasPassword = false;
    std::string PasswordFile;  // --password-file: read by TakePassword
};

/// Parses the arguments after the program name; raises EKestxUsage when they make no sense.
TKestxArgs ParseKestxArgs(const std::vector<std::string>& args);

/// The environment variable that may hold the password, so that it stays off the command
/// line, where any user sees it.
constexpr const char* PasswordVariable = "KESTX_PASSWORD";

/// Completes the password: from --password-file (the file's first line), or else, unless
/// --password gave one, from environmentValue (the variable's value, or null when unset;
/// an empty value gives none). Raises EKestxData when the file cannot be read.
void TakePassword(TKestxArgs& args, const char* environmentValue);

/// The text of `kestx --help`.
std::string KestxUsageText();
