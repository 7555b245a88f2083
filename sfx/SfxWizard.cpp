#include "SfxWizard.h"

#include <windows.h>
// after windows.h, which they need
#include <commctrl.h>
#include <shlobj.h>

#include <atomic>

#include "SfxExit.h"
#include "SfxFile.h"
#include "SfxInstall.h"
#include "SfxResource.h"

namespace {

enum TPage {
    PageLanguage,
    PageWelcome,
    PageLicense,
    PagePassword,
    PageFolder,
    PageProgress,
    PageFinish,
    PageCount
};

struct TPageInfo {
    int Dialog;
    const char* Heading;
    const char* Subheading;  // with the title for its %s; null: none
};

const TPageInfo Pages[PageCount] = {
    {IDD_PAGE_LANGUAGE, "LanguageHeading", nullptr},
    {IDD_PAGE_WELCOME, "WelcomeHeading", "Welcome"},
    {IDD_PAGE_LICENSE, "LicenseHeading", "LicenseText"},
    {IDD_PAGE_PASSWORD, "PasswordHeading", nullptr},
    {IDD_PAGE_FOLDER, "FolderHeading", nullptr},
    {IDD_PAGE_PROGRESS, "ProgressHeading", "ProgressText"},
    {IDD_PAGE_FINISH, "FinishHeading", nullptr},
};

// The worker's requests to the window's thread.
constexpr UINT WmChoose = WM_APP + 1;
constexpr UINT WmTell = WM_APP + 2;
constexpr UINT WmVolume = WM_APP + 3;
constexpr UINT WmDone = WM_APP + 4;

void SetText(HWND window, int id, const std::string& utf8) {
    SetDlgItemTextW(window, id, Wide(utf8).c_str());
}

std::wstring GetText(HWND window, int id) {
    HWND control = GetDlgItem(window, id);
    const int n = GetWindowTextLengthW(control);
    std::wstring text(static_cast<size_t>(n) + 1, L'\0');
    GetWindowTextW(control, text.data(), n + 1);
    text.resize(static_cast<size_t>(n));
    return text;
}

std::wstring Trimmed(const std::wstring& s) {
    const size_t b = s.find_first_not_of(L' ');
    if (b == std::wstring::npos) return {};
    return s.substr(b, s.find_last_not_of(L' ') - b + 1);
}

// A full folder path that Windows can create: a drive or a share, and no character that a
// name cannot hold.
bool IsFullFolderPath(const std::wstring& path) {
    size_t start = 0;
    if (path.size() >= 3 && ((path[0] | 0x20) >= L'a' && (path[0] | 0x20) <= L'z') &&
        path[1] == L':' && (path[2] == L'\\' || path[2] == L'/'))
        start = 3;
    else if (path.size() > 2 && path[0] == L'\\' && path[1] == L'\\')
        start = 2;
    else
        return false;
    for (size_t i = start; i < path.size(); ++i)
        if (path[i] < 32 || wcschr(L"<>:\"|?*", path[i])) return false;
    return true;
}

// 0 when a new file can be created in dir, else the system's error.
DWORD ProbeWrite(const std::string& dir) {
    const std::string name =
        JoinPath(dir, "kest" + std::to_string(GetCurrentProcessId()) + ".probe");
    HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_FILE_EXISTS ? 0 : GetLastError();
    CloseHandle(file);
    return 0;
}

std::wstring LastComponent(const std::wstring& path) {
    const size_t sep = path.find_last_of(L"\\/");
    return sep == std::wstring::npos ? path : path.substr(sep + 1);
}

class TWizard : public TUi {
  public:
    // What the worker calls.
    bool Silent() const override { return false; }
    bool Choose(TSetupChoice& choice) override {
        if (Cancel.load()) return false;  // cancelled while the files were being unpacked
        Choice = &choice;
        SavedTitle = choice.Title;
        PostMessageW(Frame, WmChoose, 0, 0);
        WaitForSingleObject(Answered, INFINITE);
        Choice = nullptr;
        return Chosen;
    }
    void Progress(uint64_t done, uint64_t total, const std::string& file) override {
        const int permille = total ? static_cast<int>(done * 1000 / total) : 1000;
        if (permille != LastPermille) PostMessageW(Bar, PBM_SETPOS, permille, 0);
        LastPermille = permille;
        if (file != LastFile) {
            LastFile = file;
            SetText(Page[PageProgress], IDC_FILE, Texts()("Installing", AnsiToUtf8(file)));
        }
    }
    bool AskForVolume(const std::string& name) override {
        return SendMessageW(Frame, WmVolume, 0, reinterpret_cast<LPARAM>(&name)) != 0;
    }
    void Tell(const std::string& text, TOutcome outcome) override {
        // Cancelled before anything was written: nothing to tell, the wizard just closes.
        if (outcome == TOutcome::Cancelled && !Installing) return;
        Outcome = text;
        PostMessageW(Frame, WmTell, 0, 0);
        WaitForSingleObject(Answered, INFINITE);
    }
    bool CancelRequested() override { return Cancel.load(); }

    bool Create();
    int Run(int (*work)(TUi&));

  private:
    static INT_PTR CALLBACK FrameProc(HWND dialog, UINT message, WPARAM w, LPARAM l);
    static INT_PTR CALLBACK PageProc(HWND dialog, UINT message, WPARAM w, LPARAM l);
    static DWORD WINAPI Thread(LPVOID self);

    bool Shown(TPage page) const;
    void Show(TPage page);
    void ApplyTexts();
    void ShowHeading();
    void UpdateButtons();
    void UpdateSpace();
    void Next();
    void Back();
    void AskCancel();
    bool CheckPassword();
    bool CheckFolder(std::string& folder);
    void Refuse(TPage page, int focus, const std::string& why);
    void Browse();
    void BeginChoice();
    void ShowOutcome();
    std::string Title() const { return AnsiToUtf8(SavedTitle); }
    std::wstring Caption() const;

    HWND Frame = nullptr;
    HWND Page[PageCount] = {};
    HWND Bar = nullptr;
    HFONT Bold = nullptr;
    TPage Current = PageProgress;
    // The engine's choice, valid only while Choose waits; the title outlives it.
    TSetupChoice* Choice = nullptr;
    std::string SavedTitle;
    std::wstring DefaultFolder;
    bool Choosing = false;
    bool Chosen = false;
    std::atomic<bool> Installing{false};
    std::atomic<bool> Cancel{false};
    HANDLE Answered = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    std::string LastFile;
    int LastPermille = -1;
    std::string Outcome;
    int Code = ExitCancelled;
    int (*Work)(TUi&) = nullptr;
};

bool TWizard::Create() {
    HINSTANCE self = GetModuleHandleW(nullptr);
    Frame = CreateDialogParamW(self, MAKEINTRESOURCEW(IDD_WIZARD), nullptr, FrameProc,
                               reinterpret_cast<LPARAM>(this));
    if (!Frame) return false;
    RECT area;
    GetWindowRect(GetDlgItem(Frame, IDC_PAGE_AREA), &area);
    MapWindowPoints(nullptr, Frame, reinterpret_cast<POINT*>(&area), 2);
    for (int i = 0; i < PageCount; ++i) {
        Page[i] = CreateDialogParamW(self, MAKEINTRESOURCEW(Pages[i].Dialog), Frame, PageProc,
                                     reinterpret_cast<LPARAM>(this));
        if (!Page[i]) return false;
        SetWindowLongPtrW(Page[i], GWLP_ID, Pages[i].Dialog);
        SetWindowPos(Page[i], GetDlgItem(Frame, IDC_PAGE_AREA), area.left, area.top,
                     area.right - area.left, area.bottom - area.top, SWP_NOACTIVATE);
    }
    Bar = GetDlgItem(Page[PageProgress], IDC_PROGRESS);
    SendMessageW(Bar, PBM_SETRANGE32, 0, 1000);
    LOGFONTW font;
    if (GetObjectW(reinterpret_cast<HFONT>(SendMessageW(Frame, WM_GETFONT, 0, 0)), sizeof font,
                   &font)) {
        font.lfWeight = FW_BOLD;
        Bold = CreateFontIndirectW(&font);
        SendDlgItemMessageW(Frame, IDC_HEADING, WM_SETFONT, reinterpret_cast<WPARAM>(Bold), 0);
    }
    ApplyTexts();
    Show(PageProgress);
    return true;
}

int TWizard::Run(int (*work)(TUi&)) {
    Work = work;
    ShowWindow(Frame, SW_SHOW);
    SetForegroundWindow(Frame);
    HANDLE thread = CreateThread(nullptr, 0, Thread, this, 0, nullptr);
    if (!thread) {
        DestroyWindow(Frame);
        return Work(*this);
    }
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (!IsDialogMessageW(Frame, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    return Code;
}

DWORD WINAPI TWizard::Thread(LPVOID p) {
    auto* self = static_cast<TWizard*>(p);
    self->Code = self->Work(*self);
    PostMessageW(self->Frame, WmDone, 0, 0);
    return 0;
}

std::wstring TWizard::Caption() const {
    return Wide(!SavedTitle.empty() ? Texts()("Caption", Title())
                                    : Texts()("Caption", "Marvo Installer"));
}

bool TWizard::Shown(TPage page) const {
    switch (page) {
        case PageLanguage:
            return Choice->Languages.size() > 1 && !Choice->LanguageGiven;
        case PageLicense:
            return !Choice->License.empty();
        case PagePassword:
            return !Choice->PasswordHash.empty() && !Choice->PasswordKnown;
        case PageWelcome:
        case PageFolder:
            return true;
        default:
            return false;  // progress and finish come from the installation, not from Next
    }
}

void TWizard::Show(TPage page) {
    Current = page;
    for (int i = 0; i < PageCount; ++i) ShowWindow(Page[i], i == page ? SW_SHOW : SW_HIDE);
    ShowHeading();
    UpdateButtons();
    HWND first = GetNextDlgTabItem(Page[page], nullptr, FALSE);
    if (!first || !IsWindowVisible(first) || GetParent(first) != Page[page])
        first = GetDlgItem(Frame, IDOK);
    if (!IsWindowEnabled(first)) first = GetDlgItem(Frame, IDCANCEL);
    SendMessageW(Frame, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(first), TRUE);
    // Focus selects an edit's text; the license is to be read, not replaced.
    if (page == PageLicense) SendDlgItemMessageW(Page[page], IDC_LICENSE, EM_SETSEL, 0, 0);
}

void TWizard::ApplyTexts() {
    SetWindowTextW(Frame, Caption().c_str());
    SetText(Frame, IDC_BACK, Texts()("Back"));
    SetText(Frame, IDCANCEL, Texts()("Cancel"));
    const std::string title = Title();
    SetText(Page[PageLanguage], IDC_TEXT, Texts()("LanguageText"));
    SetText(Page[PageWelcome], IDC_TEXT, Texts()("WelcomeText", title));
    SetText(Page[PageLicense], IDC_ACCEPT, Texts()("Accept"));
    SetText(Page[PagePassword], IDC_PROMPT, Texts()("Password"));
    SetText(Page[PageFolder], IDC_TEXT, Texts()("ChooseDir", title));
    SetText(Page[PageFolder], IDC_BROWSE, Texts()("Browse"));
    SetText(Page[PageProgress], IDC_FILE, Texts()("Preparing"));
    if (Choice) UpdateSpace();
    ShowHeading();
    UpdateButtons();
}

// The band above the pages: the current page's heading and, where it has one, its line.
void TWizard::ShowHeading() {
    const TPageInfo& page = Pages[Current];
    SetText(Frame, IDC_HEADING, Texts()(page.Heading));
    SetText(Frame, IDC_SUBHEADING,
            page.Subheading ? Texts()(page.Subheading, Title()) : std::string());
}

void TWizard::UpdateButtons() {
    const bool choosing = Current < PageProgress;
    bool back = false;
    for (int p = PageLanguage; choosing && p < Current; ++p) back = back || Shown(TPage(p));
    ShowWindow(GetDlgItem(Frame, IDC_BACK), choosing ? SW_SHOW : SW_HIDE);
    EnableWindow(GetDlgItem(Frame, IDC_BACK), back);
    const char* next = Current == PageFolder   ? "Install"
                       : Current == PageFinish ? "Finish"
                                               : "Next";
    SetText(Frame, IDOK, Texts()(next));
    bool enabled = Current != PageProgress;
    if (Current == PageLicense)
        enabled = IsDlgButtonChecked(Page[PageLicense], IDC_ACCEPT) == BST_CHECKED;
    EnableWindow(GetDlgItem(Frame, IDOK), enabled);
    EnableWindow(GetDlgItem(Frame, IDCANCEL), Current != PageFinish);
}

void TWizard::UpdateSpace() {
    HWND page = Page[PageFolder];
    SetText(page, IDC_SPACE_NEEDED, Texts()("SpaceNeeded", SizeText(Choice->Required)));
    const std::wstring typed = Trimmed(GetText(page, IDC_FOLDER));
    std::string folder;
    uint64_t free = 0;
    if (IsFullFolderPath(typed) && WideToAnsi(typed, folder) && FreeBytes(folder, free))
        SetText(page, IDC_SPACE_FREE, Texts()("SpaceFree", SizeText(free)));
    else
        SetText(page, IDC_SPACE_FREE, Texts()("SpaceUnknown"));
}

void TWizard::Refuse(TPage page, int focus, const std::string& why) {
    SetText(Page[page], IDC_ERROR, why);
    HWND control = GetDlgItem(Page[page], focus);
    SendMessageW(Frame, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
    SendMessageW(control, EM_SETSEL, 0, -1);
}

bool TWizard::CheckPassword() {
    std::wstring typed = GetText(Page[PagePassword], IDC_PASSWORD);
    std::string password;
    const bool ok = WideToAnsi(typed, password) && PasswordMatches(password, Choice->PasswordHash);
    SecureZeroMemory(typed.data(), typed.size() * sizeof(wchar_t));
    if (!ok) {
        Refuse(PagePassword, IDC_PASSWORD, Texts()("WrongPassword"));
        return false;
    }
    Choice->Password = password;
    SetText(Page[PagePassword], IDC_ERROR, {});
    return true;
}

bool TWizard::CheckFolder(std::string& folder) {
    const std::wstring typed = Trimmed(GetText(Page[PageFolder], IDC_FOLDER));
    if (!IsFullFolderPath(typed) || !WideToAnsi(typed, folder)) {
        Refuse(PageFolder, IDC_FOLDER,
               Texts()("FolderInvalid", Utf8(LastComponent(DefaultFolder))));
        return false;
    }
    folder = FullPath(folder);
    const std::string shown = AnsiToUtf8(folder);
    uint64_t free = 0;
    if (FreeBytes(folder, free) && free < Choice->Required) {
        Refuse(PageFolder, IDC_FOLDER,
               Texts()("NotEnoughSpace", SizeText(Choice->Required - free)));
        return false;
    }
    const std::string existing = ExistingAncestor(folder);
    const DWORD error =
        existing.empty() || !DirExists(existing) ? ERROR_DIRECTORY : ProbeWrite(existing);
    if (error == ERROR_ACCESS_DENIED && !IsElevated()) {
        if (MessageBoxW(Frame, Wide(Texts()("NeedAdmin", shown)).c_str(), Caption().c_str(),
                        MB_YESNO | MB_ICONQUESTION) == IDYES) {
            Choice->Elevate = true;
            return true;
        }
    }
    if (error) {
        Refuse(PageFolder, IDC_FOLDER, Texts()("FolderNotWritable", shown));
        return false;
    }
    SetText(Page[PageFolder], IDC_ERROR, {});
    return true;
}

void TWizard::Browse() {
    const std::wstring title = Wide(Texts()("BrowseTitle"));
    BROWSEINFOW info{};
    info.hwndOwner = Frame;
    info.lpszTitle = title.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&info);
    if (!chosen) return;
    wchar_t path[MAX_PATH];
    if (SHGetPathFromIDListW(chosen, path)) {
        // The product's own folder below the one chosen, as the default has it.
        std::wstring folder = path;
        const std::wstring leaf = LastComponent(DefaultFolder);
        if (!leaf.empty() && lstrcmpiW(LastComponent(folder).c_str(), leaf.c_str()) != 0)
            folder += (folder.back() == L'\\' ? L"" : L"\\") + leaf;
        SetDlgItemTextW(Page[PageFolder], IDC_FOLDER, folder.c_str());
    }
    CoTaskMemFree(chosen);
}

void TWizard::BeginChoice() {
    Choosing = true;
    HWND list = GetDlgItem(Page[PageLanguage], IDC_LANGUAGE);
    SendMessageW(list, CB_RESETCONTENT, 0, 0);
    for (size_t i = 0; i < Choice->Languages.size(); ++i) {
        SendMessageW(list, CB_ADDSTRING, 0,
                     reinterpret_cast<LPARAM>(Wide(Choice->Languages[i].Name).c_str()));
        if (SameText(Choice->Languages[i].Code, Choice->Language))
            SendMessageW(list, CB_SETCURSEL, i, 0);
    }
    SetText(Page[PageLicense], IDC_LICENSE, Choice->License);
    DefaultFolder = Wide(AnsiToUtf8(Choice->Folder));
    SetDlgItemTextW(Page[PageFolder], IDC_FOLDER, DefaultFolder.c_str());
    if (!Choice->Password.empty() && !Choice->PasswordKnown)
        SetText(Page[PagePassword], IDC_ERROR, Texts()("WrongPassword"));
    ApplyTexts();
    for (int p = PageLanguage; p <= PageFolder; ++p)
        if (Shown(TPage(p))) return Show(TPage(p));
}

void TWizard::Next() {
    switch (Current) {
        case PageLanguage: {
            const LRESULT i =
                SendDlgItemMessageW(Page[PageLanguage], IDC_LANGUAGE, CB_GETCURSEL, 0, 0);
            if (i >= 0 && static_cast<size_t>(i) < Choice->Languages.size() &&
                !SameText(Choice->Languages[i].Code, Texts().Code())) {
                Texts().Load(Choice->PresetupDir, Choice->Languages[i].Code);
                ApplyTexts();
            }
            Choice->Language = Texts().Code();
            break;
        }
        case PagePassword:
            if (!CheckPassword()) return;
            break;
        case PageFolder: {
            std::string folder;
            if (!CheckFolder(folder)) return;
            Choice->Folder = folder;
            Choosing = false;
            Chosen = true;
            Installing = true;
            Show(PageProgress);
            SetEvent(Answered);
            return;
        }
        case PageFinish:
            EnableWindow(GetDlgItem(Frame, IDOK), FALSE);
            SetEvent(Answered);
            return;
        case PageProgress:
            return;
        default:
            break;
    }
    for (int p = Current + 1; p <= PageFolder; ++p)
        if (Shown(TPage(p))) return Show(TPage(p));
}

void TWizard::Back() {
    for (int p = Current - 1; Current <= PageFolder && p >= PageLanguage; --p)
        if (Shown(TPage(p))) return Show(TPage(p));
}

void TWizard::AskCancel() {
    if (Current == PageFinish) return Next();
    if (Cancel.load()) return;
    if (MessageBoxW(Frame, Wide(Texts()("ConfirmCancel")).c_str(), Caption().c_str(),
                    MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES)
        return;
    Cancel = true;
    if (Choosing) {
        Choosing = false;
        Chosen = false;
        SetEvent(Answered);
    }
}

void TWizard::ShowOutcome() {
    SetText(Page[PageFinish], IDC_TEXT, Outcome);
    Show(PageFinish);
}

INT_PTR CALLBACK TWizard::FrameProc(HWND dialog, UINT message, WPARAM w, LPARAM l) {
    auto* self = reinterpret_cast<TWizard*>(GetWindowLongPtrW(dialog, DWLP_USER));
    switch (message) {
        case WM_INITDIALOG:
            SetWindowLongPtrW(dialog, DWLP_USER, l);
            return FALSE;
        case WM_COMMAND:
            if (!self) return FALSE;
            if (LOWORD(w) == IDOK) self->Next();
            if (LOWORD(w) == IDC_BACK) self->Back();
            if (LOWORD(w) == IDCANCEL) self->AskCancel();
            return TRUE;
        case WM_CLOSE:
            if (self) self->AskCancel();
            return TRUE;
        case WM_ERASEBKGND: {
            // The band behind the heading in the window's colour, the rest as dialogs are.
            HDC dc = reinterpret_cast<HDC>(w);
            RECT all, band{0, 0, 0, 36};
            GetClientRect(dialog, &all);
            MapDialogRect(dialog, &band);
            band.left = all.left;
            band.right = all.right;
            FillRect(dc, &all, GetSysColorBrush(COLOR_BTNFACE));
            FillRect(dc, &band, GetSysColorBrush(COLOR_WINDOW));
            SetWindowLongPtrW(dialog, DWLP_MSGRESULT, 1);
            return TRUE;
        }
        case WM_CTLCOLORSTATIC: {
            const int id = GetDlgCtrlID(reinterpret_cast<HWND>(l));
            if (id != IDC_HEADING && id != IDC_SUBHEADING && id != IDC_BANNER) return FALSE;
            SetBkMode(reinterpret_cast<HDC>(w), TRANSPARENT);
            SetTextColor(reinterpret_cast<HDC>(w), GetSysColor(COLOR_WINDOWTEXT));
            return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_WINDOW));
        }
        case WmChoose:
            self->BeginChoice();
            return TRUE;
        case WmTell:
            self->ShowOutcome();
            return TRUE;
        case WmVolume: {
            const auto* name = reinterpret_cast<const std::string*>(l);
            const int answer =
                MessageBoxW(dialog, Wide(Texts()("InsertVolume", AnsiToUtf8(*name))).c_str(),
                            self->Caption().c_str(), MB_RETRYCANCEL | MB_ICONEXCLAMATION);
            SetWindowLongPtrW(dialog, DWLP_MSGRESULT, answer == IDRETRY);
            return TRUE;
        }
        case WmDone:
            DestroyWindow(dialog);
            return TRUE;
        case WM_DESTROY:
            if (self && self->Bold) DeleteObject(self->Bold);
            PostQuitMessage(0);
            return TRUE;
    }
    return FALSE;
}

INT_PTR CALLBACK TWizard::PageProc(HWND dialog, UINT message, WPARAM w, LPARAM l) {
    auto* self = reinterpret_cast<TWizard*>(GetWindowLongPtrW(dialog, DWLP_USER));
    switch (message) {
        case WM_INITDIALOG:
            SetWindowLongPtrW(dialog, DWLP_USER, l);
            return FALSE;
        case WM_COMMAND:
            if (!self) return FALSE;
            if (LOWORD(w) == IDC_ACCEPT && HIWORD(w) == BN_CLICKED) self->UpdateButtons();
            if (LOWORD(w) == IDC_FOLDER && HIWORD(w) == EN_CHANGE && self->Choice)
                self->UpdateSpace();
            if (LOWORD(w) == IDC_BROWSE && HIWORD(w) == BN_CLICKED) self->Browse();
            return TRUE;
        case WM_CTLCOLORSTATIC:
            if (GetDlgCtrlID(reinterpret_cast<HWND>(l)) != IDC_ERROR) return FALSE;
            SetBkMode(reinterpret_cast<HDC>(w), TRANSPARENT);
            SetTextColor(reinterpret_cast<HDC>(w), RGB(192, 0, 0));
            return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
    }
    return FALSE;
}

}  // namespace

int RunWizard(int (*work)(TUi& ui)) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    auto* wizard = new TWizard;
    if (!wizard->Create()) {
        WriteStdErr("Setup: cannot show the installation's window; /S installs silently\n");
        return ExitCancelled;
    }
    return wizard->Run(work);
}
