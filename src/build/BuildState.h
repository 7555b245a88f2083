// The driver state of one build, the path settings derived from the project, the
// extension rule and the console line writer through which all output of the build goes.
#pragma once

#include <cstdint>
#include <string>

class TStringList;
class TPacker;

struct TBuildState {
    std::string ProgramDir;   // with trailing "\"
    std::string ProjectFile;  // full path
    std::string ImageDir;     // full path with trailing "\", or empty
    std::string ExeFile;
    std::string PackageFile;
    // The executable while it is written; renamed to ExeFile when complete, so that nobody
    // ever sees a partial ExeFile.
    std::string ExePartFile;
    std::string PackagePassword;
    int32_t PackLevel = 7;
    std::string BuildDir;  // with trailing "\"
    std::string RuntimeIni;
    TStringList* LinkList = nullptr;  // owned by the build's outer clean-up scope
    TPacker* Packer = nullptr;        // owned by the inner clean-up scope
    int32_t ShownNameSkip = 0;
    std::string LastShownFile;
    // Kept wide so that a sum of large files never wraps; it must fit 32 bits before it
    // becomes PresetupSize.
    int64_t SizeTotal = 0;
    int32_t PresetupSize = 0;
};

/// The one driver state of the process.
TBuildState& BuildState();
/// Empties the driver state (for a fresh run in tests).
void ResetBuildState();

/// The text from the last "." after the last "\", "/" or ":" to the end; empty when none.
std::string ExtractExt(const std::string& name);
/// Replaces the extension, or appends ext when there is none.
std::string ChangeExt(const std::string& name, const std::string& ext);
/// The directory part of a path up to and including its last "\", "/" or ":".
std::string ExtractDir(const std::string& path);

/// The project file named by the command-line argument: extension ".kst", full path.
std::string ProjectFileFor(const std::string& argument);
/// The image directory for a project's ImagePath: full path with trailing "\"; empty
/// stays empty.
std::string ImageDirFor(const std::string& imagePath);
/// The executable for a project's ExeName: "Setup" when empty, ".exe" unless it has that
/// extension in any letter case, full path.
std::string ExeFileFor(const std::string& exeName);
/// The package file (volume 1) of an executable: its extension replaced by ".1".
std::string PackageFileFor(const std::string& exeFile);

/// True when a link line's stored name lies under prefix ("Presetup\" or "Data\"), in
/// any letter case.
bool LinkIsUnder(const std::string& linkLine, const std::string& prefix);
/// True for the links that the build packs: those whose stored names lie under Data\ or
/// Presetup\ (others are ignored).
bool LinkIsPacked(const std::string& linkLine);

/// Writes text and a line break to standard output; raises EInOutError on an output error.
void WriteLine(const std::string& text);
