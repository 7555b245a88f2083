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
};

/// Parses the arguments after the program name; raises EKestxUsage when they make no sense.
TKestxArgs ParseKestxArgs(const std::vector<std::string>& args);

/// The text of `kestx --help`.
std::string KestxUsageText();
