#include "SfxUi.h"

#include <windows.h>
// after windows.h, which it needs
#include <commctrl.h>

#include <atomic>

#include "SfxFile.h"
#include "SfxIni.h"
#include "SfxResource.h"

namespace {

struct TDefault {
    const char* Key;
    const char* Text;
};

// English, for keys a language file lacks and for messages before the files are unpacked.
const TDefault English[] = {
    {"Installing", "Installing %s"},
    {"Preparing", "Preparing the installation..."},
    {"Cancel", "Cancel"},
    {"ConfirmCancel", "Cancel the installation? Nothing will be changed."},
    {"Password", "Enter the installation password:"},
    {"WrongPassword", "The password is wrong."},
    {"InsertVolume", "Insert the disk that holds %s, then choose Retry."},
    {"Done", "Installation is complete."},
    {"Failed", "The installation failed. Nothing was changed."},
    {"Cancelled", "The installation was cancelled. Nothing was changed."},
};

std::string Format(const std::string& pattern, const std::string& value) {
    const size_t at = pattern.find("%s");
    return at == std::string::npos ? pattern
                                   : pattern.substr(0, at) + value + pattern.substr(at + 2);
}

class TSilentUi : public TUi {
  public:
    bool Silent() const override { return true; }
    void SetTitle(const std::string&) override {}
    void Progress(uint64_t, uint64_t, const std::string&) override {}
    bool AskPassword(std::string&, bool) override { return false; }
    bool AskForVolume(const std::string&) override { return false; }
    void Tell(const std::string&, bool) override {}
    bool CancelRequested() override { return false; }
};

constexpr UINT WmDone = WM_APP + 1;
constexpr UINT WmAsk = WM_APP + 2;

struct TPasswordAsk {
    std::string Password;
    bool Again = false;
};

INT_PTR CALLBACK PasswordProc(HWND dialog, UINT message, WPARAM w, LPARAM l) {
    auto* ask = reinterpret_cast<TPasswordAsk*>(GetWindowLongPtrA(dialog, DWLP_USER));
    switch (message) {
        case WM_INITDIALOG: {
            SetWindowLongPtrA(dialog, DWLP_USER, l);
            ask = reinterpret_cast<TPasswordAsk*>(l);
            const std::string prompt = ask->Again
                                           ? Texts()("WrongPassword") + " " + Texts()("Password")
                                           : Texts()("Password");
            SetDlgItemTextA(dialog, IDC_PROMPT, prompt.c_str());
            SetDlgItemTextA(dialog, IDCANCEL, Texts()("Cancel").c_str());
            return TRUE;
        }
        case WM_COMMAND:
            if (LOWORD(w) == IDOK) {
                char text[512];
                GetDlgItemTextA(dialog, IDC_PASSWORD, text, sizeof text);
                ask->Password = text;
                SecureZeroMemory(text, sizeof text);
                EndDialog(dialog, IDOK);
                return TRUE;
            }
            if (LOWORD(w) == IDCANCEL) {
                EndDialog(dialog, IDCANCEL);
                return TRUE;
            }
            break;
    }
    return FALSE;
}

}  // namespace

class TWindowUi : public TUi {
  public:
    bool Silent() const override { return false; }
    void SetTitle(const std::string& title) override {
        Title = title;
        SetWindowTextA(Dialog, title.c_str());
        SetDlgItemTextA(Dialog, IDCANCEL, Texts()("Cancel").c_str());
    }
    void Progress(uint64_t done, uint64_t total, const std::string& file) override {
        const int permille = total ? static_cast<int>(done * 1000 / total) : 1000;
        if (permille != LastPermille) PostMessageA(Bar, PBM_SETPOS, permille, 0);
        LastPermille = permille;
        if (file != LastFile) {
            LastFile = file;
            SetDlgItemTextA(Dialog, IDC_STATUS, Format(Texts()("Installing"), file).c_str());
        }
    }
    // Every window of the installer belongs to the main thread: the worker hands its
    // questions over and waits for the answer.
    bool AskPassword(std::string& password, bool again) override {
        TRequest r{TRequest::Password, {}, again};
        Ask(r);
        password = r.Text;
        return r.Answer;
    }
    bool AskForVolume(const std::string& name) override {
        TRequest r{TRequest::Volume, name};
        Ask(r);
        return r.Answer;
    }
    void Tell(const std::string& text, bool error) override {
        TRequest r{error ? TRequest::Error : TRequest::Info, text};
        Ask(r);
    }
    bool CancelRequested() override { return Cancel.load(); }

    static INT_PTR CALLBACK Proc(HWND dialog, UINT message, WPARAM w, LPARAM l) {
        auto* ui = reinterpret_cast<TWindowUi*>(GetWindowLongPtrA(dialog, DWLP_USER));
        switch (message) {
            case WM_INITDIALOG:
                SetWindowLongPtrA(dialog, DWLP_USER, l);
                return TRUE;
            case WM_COMMAND:
                if (LOWORD(w) == IDCANCEL && ui) ui->AskCancel();
                return TRUE;
            case WM_CLOSE:
                if (ui) ui->AskCancel();
                return TRUE;
            case WmDone:
                DestroyWindow(dialog);
                return TRUE;
            case WmAsk:
                if (ui) ui->Answer(*reinterpret_cast<TRequest*>(l));
                return TRUE;
            case WM_DESTROY:
                PostQuitMessage(static_cast<int>(ui ? ui->Code : 0));
                return TRUE;
        }
        return FALSE;
    }

    static DWORD WINAPI Thread(LPVOID p) {
        auto* self = static_cast<TWindowUi*>(p);
        self->Code = self->Work();
        PostMessageA(self->Dialog, WmDone, 0, 0);
        return 0;
    }

    struct TRequest {
        enum { Password, Volume, Error, Info } Kind;
        std::string Text;
        bool Again = false;
        bool Answer = false;
    };

    void Ask(TRequest& r) {
        if (GetWindowThreadProcessId(Dialog, nullptr) == GetCurrentThreadId())
            Answer(r);
        else
            SendMessageA(Dialog, WmAsk, 0, reinterpret_cast<LPARAM>(&r));
    }

    void Answer(TRequest& r) {
        switch (r.Kind) {
            case TRequest::Password: {
                TPasswordAsk ask;
                ask.Again = r.Again;
                r.Answer =
                    DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_PASSWORD),
                                    Dialog, PasswordProc, reinterpret_cast<LPARAM>(&ask)) == IDOK;
                r.Text = ask.Password;
                break;
            }
            case TRequest::Volume:
                r.Answer =
                    MessageBoxA(Dialog, Format(Texts()("InsertVolume"), r.Text).c_str(),
                                Title.c_str(), MB_RETRYCANCEL | MB_ICONEXCLAMATION) == IDRETRY;
                break;
            default:
                MessageBoxA(
                    Dialog, r.Text.c_str(), Title.c_str(),
                    r.Kind == TRequest::Error ? MB_OK | MB_ICONERROR : MB_OK | MB_ICONINFORMATION);
                break;
        }
    }

    void AskCancel() {
        if (Cancel.load()) return;
        if (MessageBoxA(Dialog, Texts()("ConfirmCancel").c_str(), Title.c_str(),
                        MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES)
            Cancel = true;
    }

    HWND Dialog = nullptr;
    HWND Bar = nullptr;
    std::string Title = "Setup";
    std::string LastFile;
    int LastPermille = -1;
    std::atomic<bool> Cancel{false};
    int Code = 0;
    int (*Work)() = nullptr;
};

TTexts& Texts() {
    static TTexts texts;
    return texts;
}

void TTexts::Load(const std::string& dir, const std::string& code) {
    const std::string wanted = code.empty() ? "ENU" : code;
    for (const std::string& c : {wanted, std::string("ENU")}) {
        std::string text;
        if (ReadWholeFile(JoinPath(dir, c + ".lng"), text)) {
            Language = c;
            Ini = TIniText(text);
            return;
        }
    }
}

std::string TTexts::operator()(const char* key) const {
    const std::string text = Ini.Get("Strings", key);
    if (!text.empty()) return text;
    for (const TDefault& d : English)
        if (SameText(d.Key, key)) return d.Text;
    return key;
}

TUi* MakeSilentUi() {
    return new TSilentUi;
}

TWindowUi* MakeWindowUi() {
    return new TWindowUi;
}

TUi* AsUi(TWindowUi* ui) {
    return ui;
}

int RunWithWindow(TWindowUi* ui, int (*work)()) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    ui->Dialog = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_PROGRESS),
                                    nullptr, TWindowUi::Proc, reinterpret_cast<LPARAM>(ui));
    if (!ui->Dialog) return work();
    ui->Bar = GetDlgItem(ui->Dialog, IDC_PROGRESS);
    SendMessageA(ui->Bar, PBM_SETRANGE32, 0, 1000);
    SetDlgItemTextA(ui->Dialog, IDC_STATUS, Texts()("Preparing").c_str());
    ShowWindow(ui->Dialog, SW_SHOW);
    ui->Work = work;
    HANDLE thread = CreateThread(nullptr, 0, TWindowUi::Thread, ui, 0, nullptr);
    if (!thread) return work();
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (!IsDialogMessageA(ui->Dialog, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    return ui->Code;
}

void WriteStdErr(const std::string& text) {
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    if (err == nullptr || err == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(err, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}
