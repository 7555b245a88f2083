// The installer's command line, as users of Windows installers know it: /S, /PASSWORD=,
// /LOG=, /LANG=, /? and /D=, which comes last and takes the rest of the line unquoted, so
// that a folder with spaces needs no quotes.
#pragma once

#include <string>

struct TSfxArgs {
    bool Silent = false;
    bool Help = false;
    bool HasDir = false;
    bool HasPassword = false;
    std::string Dir;
    std::string Password;
    std::string LogFile;
    std::string Language;
};

/// Parses the command line after the program name. Returns an empty string, or why the
/// switches make no sense.
std::string ParseSfxArgs(const std::string& line, TSfxArgs& args);

/// The program's own command line without the program name.
std::string CommandLineTail(const char* full);

/// The text of /?.
std::string SfxUsageText();
