// Kest.sfx: the installer that a build puts in front of the package. Double-clicked it shows
// the wizard; with /S it installs silently and tells the outcome by its exit code.
#include <windows.h>

#include "SfxArgs.h"
#include "SfxExit.h"
#include "SfxInstall.h"
#include "SfxLog.h"
#include "SfxUi.h"
#include "SfxWizard.h"

namespace {

TSfxArgs Args;

int Work(TUi& ui) {
    return RunInstall(Args, ui);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    const std::string line = CommandLineTail(GetCommandLineA());
    const std::string error = ParseSfxArgs(line, Args);
    if (!error.empty() || Args.Help) {
        const std::string text =
            error.empty() ? SfxUsageText() : "Setup: " + error + "\n\n" + SfxUsageText();
        WriteStdErr(text);
        if (!Args.Silent)
            MessageBoxA(nullptr, text.c_str(), "Setup",
                        error.empty() ? MB_OK : MB_OK | MB_ICONERROR);
        return error.empty() ? ExitInstalled : ExitBadSwitches;
    }
    if (!Args.LogFile.empty() && !OpenLog(Args.LogFile)) {
        const std::string text = "Setup: cannot create the log file '" + Args.LogFile + "'\n";
        WriteStdErr(text);
        if (!Args.Silent) MessageBoxA(nullptr, text.c_str(), "Setup", MB_OK | MB_ICONERROR);
        return ExitBadSwitches;
    }
    if (Args.Silent) return Work(*MakeSilentUi());
    return RunWizard(Work);
}
