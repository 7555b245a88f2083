// UnKest.exe: removes an installation. It reads the record that the installer wrote beside
// it, removes exactly the files installed (files the user added stay), the registration,
// and then, from a copy of itself in the temporary folder (a running program cannot delete
// its own file), itself, the record and the folders the installer created when empty.
#include <windows.h>
// after windows.h, which it needs
#include <commctrl.h>

#include <string>

#include "SfxArgs.h"
#include "SfxFile.h"
#include "PkgIni.h"
#include "SfxNoExcept.h"
#include "SfxRegister.h"
#include "SfxResource.h"
#include "SfxTexts.h"

namespace {

enum TUnExit : int { UnRemoved = 0, UnCancelled = 1, UnBadRecord = 2, UnIncomplete = 5 };

bool Silent = false;

// text and title in UTF-8.
void Tell(const std::string& title, const std::string& text, bool error) {
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    if (error && err && err != INVALID_HANDLE_VALUE) {
        const std::string line = "UnKest: " + text + "\n";
        DWORD written = 0;
        WriteFile(err, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    }
    if (!Silent)
        MessageBoxW(nullptr, Wide(text).c_str(), Wide(title).c_str(),
                    error ? MB_OK | MB_ICONERROR : MB_OK | MB_ICONINFORMATION);
}

// The progress window while files are removed; none in silent mode.
class TProgress {
  public:
    TProgress(const std::string& title, size_t total) : Total(total) {
        if (Silent) return;
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&controls);
        Window = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_PROGRESS),
                                    nullptr, Proc, 0);
        if (!Window) return;
        SetWindowTextW(Window, Wide(title).c_str());
        SendDlgItemMessageW(Window, IDC_PROGRESS, PBM_SETRANGE32, 0, 1000);
        ShowWindow(Window, SW_SHOW);
        Pump();
    }
    ~TProgress() {
        if (Window) DestroyWindow(Window);
    }
    void Step(const std::string& file) {
        if (!Window) return;
        ++Done;
        SetDlgItemTextW(Window, IDC_STATUS, Wide(Texts()("Removing", AnsiToUtf8(file))).c_str());
        SendDlgItemMessageW(Window, IDC_PROGRESS, PBM_SETPOS,
                            Total ? static_cast<WPARAM>(Done * 1000 / Total) : 1000, 0);
        Pump();
    }

  private:
    static INT_PTR CALLBACK Proc(HWND, UINT message, WPARAM, LPARAM) {
        return message == WM_INITDIALOG;
    }
    void Pump() {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    HWND Window = nullptr;
    size_t Total;
    size_t Done = 0;
};

std::string SelfPath() {
    char self[MAX_PATH + 1];
    const DWORD n = GetModuleFileNameA(nullptr, self, MAX_PATH);
    return n == 0 || n >= MAX_PATH ? std::string() : std::string(self, n);
}

bool IsSelfOrRecord(const std::string& path, const std::string& dir) {
    return SameText(path, JoinPath(dir, "UnKest.exe")) ||
           SameText(path, JoinPath(dir, UninstallRecordName));
}

// Removes the installed files but the uninstaller and its record; the names that could not
// be removed are returned.
std::string RemoveFiles(const TUninstallRecord& r, TProgress& progress) {
    std::string failed;
    for (const std::string& file : r.Files) {
        if (IsSelfOrRecord(file, r.Dir)) continue;
        progress.Step(file);
        SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!DeleteFileA(file.c_str()) &&
            GetFileAttributesA(file.c_str()) != INVALID_FILE_ATTRIBUTES)
            failed += "\r\n" + AnsiToUtf8(file + ": " + SystemMessage(GetLastError()));
    }
    return failed;
}

void RemoveDirs(const TUninstallRecord& r) {
    for (auto it = r.Dirs.rbegin(); it != r.Dirs.rend(); ++it) RemoveDirectoryA(it->c_str());
}

// Starts a copy of this program in the temporary folder that waits for this process to end
// and then removes the uninstaller, its record and the empty folders.
bool StartCleanup(const std::string& self, const std::string& record) {
    char temp[MAX_PATH + 1];
    const DWORD n = GetTempPathA(sizeof temp, temp);
    if (n == 0 || n > MAX_PATH) return false;
    const std::string copy =
        JoinPath(temp, "UnKest-" + std::to_string(GetCurrentProcessId()) + ".exe");
    if (!CopyFileA(self.c_str(), copy.c_str(), FALSE)) return false;
    HANDLE me = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &me,
                         SYNCHRONIZE, TRUE, 0))
        return false;
    std::string line = "\"" + copy +
                       "\" /_CLEANUP=" + std::to_string(reinterpret_cast<uintptr_t>(me)) + " " +
                       record;
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    const BOOL ok = CreateProcessA(copy.c_str(), line.data(), nullptr, nullptr, TRUE,
                                   DETACHED_PROCESS, nullptr, temp, &si, &pi);
    CloseHandle(me);
    if (!ok) return false;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
}

int Cleanup(const std::string& args) {
    const size_t space = args.find(' ');
    if (space == std::string::npos) return UnBadRecord;
    const auto parent =
        reinterpret_cast<HANDLE>(static_cast<uintptr_t>(std::strtoull(args.c_str(), nullptr, 10)));
    const std::string record = args.substr(space + 1);
    WaitForSingleObject(parent, 60000);
    CloseHandle(parent);
    std::string text;
    TUninstallRecord r;
    if (ReadWholeFile(record, text) && ParseRecord(text, r)) {
        const std::string exe = JoinPath(r.Dir, "UnKest.exe");
        for (int tries = 0; tries < 50 && !DeleteFileA(exe.c_str()) && FileExists(exe); ++tries)
            Sleep(100);
        DeleteFileA(record.c_str());
        RemoveDirs(r);
    }
    // This copy goes when the system restarts.
    const std::string self = SelfPath();
    MoveFileExA(self.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    return UnRemoved;
}

}  // namespace

void OutOfMemory() {
    ExitProcess(UnIncomplete);
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    std::string args = CommandLineTail(GetCommandLineA());
    args.erase(0, args.find_first_not_of(' '));
    if (args.compare(0, 10, "/_CLEANUP=") == 0) return Cleanup(args.substr(10));
    if (SameText(args, "/S"))
        Silent = true;
    else if (!args.empty()) {
        Tell("UnKest", "Usage: UnKest.exe [/S]", true);
        return UnBadRecord;
    }
    const std::string self = SelfPath();
    const std::string record = JoinPath(ParentOf(self), UninstallRecordName);
    std::string text;
    TUninstallRecord r;
    const bool readable = ReadWholeFile(record, text) && ParseRecord(text, r);
    // The language chosen at install time, saved beside the uninstaller.
    Texts().LoadFile(JoinPath(ParentOf(self), UninstallTextsName), r.Language);
    if (!readable) {
        Tell("UnKest", Texts()("UnreadableRecord", AnsiToUtf8(record)), true);
        return UnBadRecord;
    }
    const std::string product = AnsiToUtf8(r.Title.empty() ? r.Dir : r.Title);
    const std::string title = Texts()("UninstallCaption", product);
    if (!Silent && MessageBoxW(nullptr, Wide(Texts()("ConfirmUninstall", product)).c_str(),
                               Wide(title).c_str(), MB_YESNO | MB_ICONQUESTION) != IDYES)
        return UnCancelled;
    std::string failed;
    {
        size_t count = 0;
        for (const std::string& file : r.Files) count += !IsSelfOrRecord(file, r.Dir);
        TProgress progress(title, count);
        failed = RemoveFiles(r, progress);
    }
    if (!failed.empty()) {
        Tell(title, Texts()("NotRemoved") + failed, true);
        return UnIncomplete;
    }
    if (!Unregister(r)) {
        Tell(title, Texts()("NotUnregistered", product), true);
        return UnIncomplete;
    }
    if (!StartCleanup(self, record)) RemoveDirs(r);
    Tell(title, Texts()("Uninstalled", product), false);
    return UnRemoved;
}
