// Runs a program the way a user does from a shell (current directory, environment,
// standard input not a console) and collects what it wrote and its exit code. The same
// code drives the native program and, in the Windows test run under Wine, KestBuild.exe.
#pragma once

#include <string>
#include <utility>
#include <vector>

struct TRunResult {
    int ExitCode = -1;
    std::string Out;  // standard output, "\r" removed
    std::string Err;
    std::string RawOut = {}, RawErr = {};  // the two streams as written
    std::vector<std::string> OutLines() const;
};

using TEnvList = std::vector<std::pair<std::string, std::string>>;

/// True in the Windows build (commands go through cmd.exe there).
bool IsWindowsHost();
/// An absolute path in the host's own form (for command lines).
std::string HostPath(const std::string& path);
/// Runs program with arguments in directory cwd with extra environment variables;
/// standard input comes from the null device. Natively a run that lasts longer than two
/// minutes is killed (exit code 124 or 137).
TRunResult RunProgram(const std::string& cwd, const std::string& program,
                      const std::vector<std::string>& arguments, const TEnvList& env = {});
/// The same, started in the background and without the time limit (the caller signals and
/// waits for it); returns at once. POSIX only: the process id.
int StartProgram(const std::string& cwd, const std::string& program,
                 const std::vector<std::string>& arguments, const TEnvList& env,
                 const std::string& outFile);

/// A PE file with version information: one of Wine's DLLs where the test runs (under
/// Wine its system folder, natively Wine's library folder); empty when there is none.
std::string VersionedDll();
