// WizardDriver: drives the installer's wizard the way a user does, for the wizard tests and
// the screenshots. It starts Setup.exe, then works through steps that find the wizard's
// windows and press its buttons through window messages, and ends with the installer's exit
// code, or with 100 and up when the driver itself could not go on (see TDriverExit).
//
//   WizardDriver [-v] [-t SECONDS] [-x SECONDS] [-f SCRIPT] [-s STEP]... -- SETUP.EXE [SWITCHES...]
//
//   -v  print each step with the milliseconds since the start as it is done
//   -t  how long a step waits for what it needs (default 30 s)
//   -x  how long the installer may take to end after the last step (default 120 s)
//   -f  a file of steps (UTF-8, one a line, "#" starts a comment), run before the -s steps
//   -s  one step
//
// Steps; <ctl> is a control's identifier, looked up on the visible page first, then on the
// wizard's frame; 0 is the frame itself (its caption):
//   page <id>                  wait until the page with that dialog identifier is visible
//   set <ctl> <text>           replace an edit's text (WM_SETTEXT)
//   check <ctl>                tick a check box (a click, unless it is ticked already)
//   select <ctl> <text>        choose a combo box's entry that starts with text
//   click <ctl>                click a button once it is enabled (posted: Cancel opens a
//                              modal box)
//   key enter|escape|tab       press a key in the wizard
//   confirm yes|no|retry|cancel|ok  answer the message box that the wizard shows
//   expect-text <ctl> <text>   wait until the control's text contains text
//   expect-no-text <ctl> <text>  wait until it does not
//   expect-disabled <ctl>      wait until the control is disabled
//   expect-enabled <ctl>       wait until the control is enabled
//   shot <file.bmp>            save a picture of the wizard (24-bit BMP)
//   sleep <milliseconds>
#include <windows.h>
// after windows.h, which they need
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "SfxResource.h"

namespace {

enum TDriverExit : int {
    DriverUsage = 100,        // bad switches, or a script that cannot be read
    DriverStartFailed = 101,  // Setup.exe could not be started
    DriverStepFailed = 102,   // a step did not see what it waited for
    DriverSetupHung = 103,    // Setup.exe did not end in time
};

constexpr DWORD PollMs = 25;
constexpr UINT SendMs = 5000;

struct TState {
    PROCESS_INFORMATION Setup{};
    HWND Frame = nullptr;
    DWORD StepMs = 30000;
    DWORD ExitMs = 120000;
    bool Verbose = false;
} State;

struct TStepError {
    std::string What;
};

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string out(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                        nullptr, nullptr);
    return out;
}

std::wstring Wide(const std::string& text) {
    if (text.empty()) return {};
    const int size =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(size, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
    return out;
}

void Fail(const std::string& what) {
    throw TStepError{what};
}

bool SetupRunning() {
    return WaitForSingleObject(State.Setup.hProcess, 0) == WAIT_TIMEOUT;
}

// Polls until done() holds or the step's time is up; gives up early once Setup has ended,
// since nothing will change any more.
bool WaitFor(const std::function<bool()>& done) {
    const ULONGLONG end = GetTickCount64() + State.StepMs;
    for (;;) {
        if (done()) return true;
        if (!SetupRunning() || GetTickCount64() >= end) return done();
        Sleep(PollMs);
    }
}

bool IsDialogOfSetup(HWND window) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    wchar_t name[16] = {};
    GetClassNameW(window, name, 16);
    return pid == State.Setup.dwProcessId && std::wstring(name) == L"#32770" &&
           IsWindowVisible(window);
}

BOOL CALLBACK AddDialogOfSetup(HWND window, LPARAM list) {
    if (IsDialogOfSetup(window)) reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

// The top-level dialogs of Setup that are visible; the frame is the one with a Back button.
std::vector<HWND> SetupDialogs() {
    std::vector<HWND> found;
    EnumWindows(AddDialogOfSetup, reinterpret_cast<LPARAM>(&found));
    return found;
}

HWND Frame() {
    if (State.Frame && IsWindow(State.Frame) && IsWindowVisible(State.Frame)) return State.Frame;
    State.Frame = nullptr;
    for (HWND window : SetupDialogs())
        if (GetDlgItem(window, IDC_BACK)) State.Frame = window;
    return State.Frame;
}

// A message box (or any other dialog) that Setup shows besides the frame.
HWND MessageBoxOfSetup() {
    HWND frame = Frame();
    for (HWND window : SetupDialogs())
        if (window != frame && !GetDlgItem(window, IDC_BACK)) return window;
    return nullptr;
}

int CurrentPage() {
    HWND frame = Frame();
    if (!frame) return 0;
    for (int id = IDD_PAGE_LANGUAGE; id <= IDD_PAGE_FINISH; ++id) {
        HWND page = GetDlgItem(frame, id);
        if (page && IsWindowVisible(page)) return id;
    }
    return 0;
}

HWND Control(int id) {
    HWND frame = Frame();
    if (!frame || id == 0) return frame;
    const int page = CurrentPage();
    if (page) {
        if (HWND control = GetDlgItem(GetDlgItem(frame, page), id)) return control;
    }
    return GetDlgItem(frame, id);
}

// WM_GETTEXT rather than GetWindowText: another process's GetWindowText may not see an
// edit control's own text.
std::string TextOf(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, SendMs, &length))
        return "<no answer>";
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                        SMTO_ABORTIFHUNG, SendMs, &copied);
    text.resize(copied);
    return Utf8(text);
}

BOOL CALLBACK AddChildText(HWND child, LPARAM all) {
    if (!IsWindowVisible(child)) return TRUE;
    const std::string text = TextOf(child);
    // An icon's static holds the resource's number behind U+FFFF, no text.
    if (!text.empty() && text.rfind("\xEF\xBF\xBF", 0) != 0)
        *reinterpret_cast<std::string*>(all) +=
            " [" + std::to_string(GetDlgCtrlID(child)) + "] \"" + text + "\"";
    return TRUE;
}

// Every text of a window's children, for the message of a failed step.
std::string ChildTexts(HWND window) {
    std::string all;
    EnumChildWindows(window, AddChildText, reinterpret_cast<LPARAM>(&all));
    return all;
}

std::string WhatIsShown() {
    if (!SetupRunning()) {
        DWORD code = 0;
        GetExitCodeProcess(State.Setup.hProcess, &code);
        return "Setup has ended with exit code " + std::to_string(code);
    }
    std::string seen;
    if (HWND frame = Frame())
        seen = "wizard \"" + TextOf(frame) + "\" on page " + std::to_string(CurrentPage()) + ":" +
               ChildTexts(frame);
    else
        seen = "no wizard window";
    if (HWND box = MessageBoxOfSetup())
        seen += "; a dialog \"" + TextOf(box) + "\":" + ChildTexts(box);
    return seen;
}

HWND NeedControl(int id) {
    HWND control = nullptr;
    if (!WaitFor([&] { return (control = Control(id)) != nullptr; }))
        Fail("there is no control " + std::to_string(id));
    return control;
}

int NumberOf(const std::string& text) {
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end) Fail("\"" + text + "\" is not a number");
    return static_cast<int>(value);
}

void Send(HWND window, UINT message, WPARAM w, LPARAM l, DWORD_PTR* result = nullptr) {
    DWORD_PTR ignored = 0;
    if (!SendMessageTimeoutW(window, message, w, l, SMTO_ABORTIFHUNG, SendMs,
                             result ? result : &ignored))
        Fail("the wizard does not answer");
}

void StepPage(int id) {
    if (!WaitFor([&] { return CurrentPage() == id; }))
        Fail("page " + std::to_string(id) + " did not appear");
}

void StepSet(int id, const std::string& text) {
    HWND control = NeedControl(id);
    const std::wstring wide = Wide(text);
    Send(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()));
}

void StepCheck(int id) {
    HWND control = NeedControl(id);
    DWORD_PTR state = 0;
    Send(control, BM_GETCHECK, 0, 0, &state);
    if (state != BST_CHECKED) Send(control, BM_CLICK, 0, 0);
    Send(control, BM_GETCHECK, 0, 0, &state);
    if (state != BST_CHECKED) Fail("the check box " + std::to_string(id) + " did not get ticked");
}

void StepSelect(int id, const std::string& text) {
    HWND control = NeedControl(id);
    const std::wstring wide = Wide(text);
    DWORD_PTR index = 0;
    Send(control, CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(wide.c_str()),
         &index);
    if (static_cast<LRESULT>(index) == CB_ERR)
        Fail("the combo box " + std::to_string(id) + " has no entry \"" + text + "\"");
    // A choice by the user also tells the owner; CB_SELECTSTRING alone does not.
    Send(GetParent(control), WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE),
         reinterpret_cast<LPARAM>(control));
}

void StepClick(int id) {
    HWND control = NeedControl(id);
    if (!WaitFor([&] { return IsWindowEnabled(control) && IsWindowVisible(control); }))
        Fail("the button " + std::to_string(id) + " stays disabled or hidden");
    PostMessageW(control, BM_CLICK, 0, 0);
}

void StepKey(const std::string& name) {
    const UINT key = name == "enter"    ? VK_RETURN
                     : name == "escape" ? VK_ESCAPE
                     : name == "tab"    ? VK_TAB
                                        : 0;
    if (!key) Fail("unknown key \"" + name + "\"");
    HWND frame = Frame();
    if (!frame) Fail("there is no wizard window");
    // To the frame, not to the control that has the focus now: the dialog manager of the
    // wizard's loop takes the key to wherever the focus is once it gets there, as it does
    // with a key typed while a message box closes.
    const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC)) << 16;
    PostMessageW(frame, WM_KEYDOWN, key, scan | 1);
    PostMessageW(frame, WM_KEYUP, key, scan | 1 | (3u << 30));
}

void StepConfirm(const std::string& answer) {
    const int button = answer == "yes"      ? IDYES
                       : answer == "no"     ? IDNO
                       : answer == "retry"  ? IDRETRY
                       : answer == "cancel" ? IDCANCEL
                       : answer == "ok"     ? IDOK
                                            : 0;
    if (!button) Fail("confirm takes yes, no, retry, cancel or ok");
    HWND box = nullptr;
    if (!WaitFor([&] { return (box = MessageBoxOfSetup()) && GetDlgItem(box, button); }))
        Fail("no message box with that button appeared");
    std::fprintf(stderr, "WizardDriver: answering \"%s\" to:%s\n", answer.c_str(),
                 ChildTexts(box).c_str());
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
    if (!WaitFor([&] { return !IsWindow(box) || !IsWindowVisible(box); }))
        Fail("the message box stays open");
}

void StepExpectText(int id, const std::string& text, bool shown) {
    std::string seen;
    if (!WaitFor([&] {
            HWND control = Control(id);
            seen = control ? TextOf(control) : "<no such control>";
            return (seen.find(text) != std::string::npos) == shown;
        }))
        Fail("control " + std::to_string(id) + " shows \"" + seen + "\", which " +
             (shown ? "lacks" : "still has") + " \"" + text + "\"");
}

void StepExpectEnabled(int id, bool enabled) {
    HWND control = NeedControl(id);
    if (!WaitFor([&] { return (IsWindowEnabled(control) != FALSE) == enabled; }))
        Fail("control " + std::to_string(id) + (enabled ? " is disabled" : " is enabled"));
}

bool WriteBmp(const std::wstring& file, int width, int height, const std::vector<char>& rows) {
    BITMAPFILEHEADER head{};
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    head.bfType = 0x4D42;
    head.bfOffBits = sizeof head + sizeof info;
    head.bfSize = static_cast<DWORD>(head.bfOffBits + rows.size());
    FILE* out = _wfopen(file.c_str(), L"wb");
    if (!out) return false;
    bool ok = std::fwrite(&head, sizeof head, 1, out) == 1 &&
              std::fwrite(&info, sizeof info, 1, out) == 1 &&
              std::fwrite(rows.data(), rows.size(), 1, out) == 1;
    return std::fclose(out) == 0 && ok;
}

void StepShot(const std::string& file) {
    HWND frame = Frame();
    if (!frame) Fail("there is no wizard window");
    // Let the wizard paint what the previous steps changed.
    RedrawWindow(frame, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_ERASE);
    Sleep(500);
    Send(frame, WM_NULL, 0, 0);
    RECT r;
    GetWindowRect(frame, &r);
    const int width = r.right - r.left, height = r.bottom - r.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY | CAPTUREBLT);
    SelectObject(memory, old);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    std::vector<char> rows(static_cast<size_t>((width * 3 + 3) & ~3) * height);
    const int got = GetDIBits(memory, bitmap, 0, height, rows.data(), &info, DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    if (got != height) Fail("the picture of the wizard could not be taken");
    if (!WriteBmp(Wide(file), width, height, rows)) Fail("cannot write " + file);
}

// "verb rest": rest is the text after the blanks that follow the verb.
void SplitFirst(const std::string& line, std::string& first, std::string& rest) {
    const size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos) {
        first.clear();
        rest.clear();
        return;
    }
    const size_t end = line.find_first_of(" \t", start);
    first = line.substr(start, end == std::string::npos ? std::string::npos : end - start);
    const size_t next = end == std::string::npos ? end : line.find_first_not_of(" \t", end);
    rest = next == std::string::npos ? std::string() : line.substr(next);
    while (!rest.empty() && (rest.back() == '\r' || rest.back() == ' ' || rest.back() == '\t'))
        rest.pop_back();
}

void RunStep(const std::string& line) {
    std::string verb, rest, id, text;
    SplitFirst(line, verb, rest);
    SplitFirst(rest, id, text);
    if (verb == "page") return StepPage(NumberOf(rest));
    if (verb == "set") return StepSet(NumberOf(id), text);
    if (verb == "check") return StepCheck(NumberOf(rest));
    if (verb == "select") return StepSelect(NumberOf(id), text);
    if (verb == "click") return StepClick(NumberOf(rest));
    if (verb == "key") return StepKey(rest);
    if (verb == "confirm") return StepConfirm(rest);
    if (verb == "expect-text") return StepExpectText(NumberOf(id), text, true);
    if (verb == "expect-no-text") return StepExpectText(NumberOf(id), text, false);
    if (verb == "expect-disabled") return StepExpectEnabled(NumberOf(rest), false);
    if (verb == "expect-enabled") return StepExpectEnabled(NumberOf(rest), true);
    if (verb == "shot") return StepShot(rest);
    if (verb == "sleep") return Sleep(NumberOf(rest));
    Fail("unknown step \"" + verb + "\"");
}

bool ReadSteps(const std::wstring& file, std::vector<std::string>& steps) {
    FILE* in = _wfopen(file.c_str(), L"rb");
    if (!in) return false;
    std::string text;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, in)) > 0;) text.append(buffer, n);
    std::fclose(in);
    if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        std::string first, rest;
        SplitFirst(line, first, rest);
        if (!first.empty() && first[0] != '#') steps.push_back(line);
    }
    return true;
}

// One argument as the receiving program's command line parser reads it back.
std::wstring Quote(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
    std::wstring out = L"\"";
    size_t slashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++slashes;
        } else if (c == L'"') {
            out.append(slashes + 1, L'\\');
            slashes = 0;
        } else {
            slashes = 0;
        }
        out += c;
    }
    out.append(slashes, L'\\');
    return out + L"\"";
}

int Usage(const std::string& why) {
    std::fprintf(stderr,
                 "WizardDriver: %s\nusage: WizardDriver [-v] [-t SECONDS] [-x SECONDS] [-f SCRIPT] "
                 "[-s STEP]... -- SETUP.EXE [SWITCHES...]\n",
                 why.c_str());
    return DriverUsage;
}

int Run(int argc, wchar_t** argv) {
    std::vector<std::string> steps, extra;
    int at = 1;
    for (; at < argc && std::wstring(argv[at]) != L"--"; at += 2) {
        const std::wstring option = argv[at];
        if (option == L"-v") {
            State.Verbose = true;
            --at;
            continue;
        }
        if (at + 1 >= argc) return Usage("the option " + Utf8(option) + " needs a value");
        const std::wstring value = argv[at + 1];
        if (option == L"-t" || option == L"-x") {
            const long seconds = std::wcstol(value.c_str(), nullptr, 10);
            if (seconds <= 0) return Usage("bad number of seconds: " + Utf8(value));
            (option == L"-t" ? State.StepMs : State.ExitMs) = static_cast<DWORD>(seconds) * 1000;
        } else if (option == L"-f") {
            if (!ReadSteps(value, steps)) return Usage("cannot read the steps in " + Utf8(value));
        } else if (option == L"-s") {
            extra.push_back(Utf8(value));
        } else {
            return Usage("unknown option " + Utf8(option));
        }
    }
    if (at + 1 >= argc) return Usage("no program to run after --");
    steps.insert(steps.end(), extra.begin(), extra.end());
    std::wstring line;
    for (int i = at + 1; i < argc; ++i) line += (line.empty() ? L"" : L" ") + Quote(argv[i]);

    STARTUPINFOW start{};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    start.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    start.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    if (!CreateProcessW(argv[at + 1], line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &start, &State.Setup)) {
        std::fprintf(stderr, "WizardDriver: cannot start %s (error %lu)\n",
                     Utf8(argv[at + 1]).c_str(), GetLastError());
        return DriverStartFailed;
    }
    const ULONGLONG started = GetTickCount64();
    for (size_t i = 0; i < steps.size(); ++i) {
        try {
            RunStep(steps[i]);
            if (State.Verbose)
                std::fprintf(stderr, "WizardDriver: %6llu ms  %s\n", GetTickCount64() - started,
                             steps[i].c_str());
        } catch (const TStepError& e) {
            std::fprintf(stderr, "WizardDriver: step %zu \"%s\" failed: %s\n  seen: %s\n", i + 1,
                         steps[i].c_str(), e.What.c_str(), WhatIsShown().c_str());
            TerminateProcess(State.Setup.hProcess, DriverStepFailed);
            return DriverStepFailed;
        }
    }
    if (WaitForSingleObject(State.Setup.hProcess, State.ExitMs) != WAIT_OBJECT_0) {
        std::fprintf(stderr, "WizardDriver: Setup did not end after the last step\n  seen: %s\n",
                     WhatIsShown().c_str());
        TerminateProcess(State.Setup.hProcess, DriverSetupHung);
        return DriverSetupHung;
    }
    DWORD code = 0;
    GetExitCodeProcess(State.Setup.hProcess, &code);
    return static_cast<int>(code);
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv) return Usage("cannot read the command line");
    return Run(argc, argv);
}
