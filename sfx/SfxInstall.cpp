#include "SfxInstall.h"

#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

#include <map>
#include <memory>
#include <vector>

#include "PeImage.h"
#include "PkgCrc64.h"
#include "PkgDecode.h"
#include "PkgFail.h"
#include "PkgParse.h"
#include "PkgPassword.h"
#include "PkgProbe.h"
#include "PkgStoredName.h"
#include "PkgTrailer.h"
#include "PkgVolumes.h"
#include "SfxExit.h"
#include "SfxFile.h"
#include "PkgIni.h"
#include "SfxJournal.h"
#include "SfxLog.h"
#include "SfxNoExcept.h"
#include "SfxRegister.h"
#include "SfxTexts.h"
#include "SfxUi.h"

namespace {

constexpr size_t WriteBuffer = 1u << 20;
constexpr const char* PartSuffix = ".kest-part";

// What the failure path needs, whichever thread fails.
struct TContext {
    TUi* Ui = nullptr;
    std::string TempDir;
    bool Done = false;
} Context;

std::string Quoted(const std::string& s) {
    return "'" + s + "'";
}

void RemoveTree(const std::string& dir) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(JoinPath(dir, "*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            const std::string path = JoinPath(dir, name);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path);
            } else {
                SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(path.c_str());
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(dir.c_str());
}

void RemoveTempDir() {
    if (!Context.TempDir.empty()) RemoveTree(Context.TempDir);
    Context.TempDir.clear();
}

// A new private folder under the user's temporary folder.
std::string MakeTempDir() {
    char base[MAX_PATH + 1];
    const DWORD n = GetTempPathA(sizeof base, base);
    if (n == 0 || n > MAX_PATH)
        AbortInstall(ExitWriteFailed, "the temporary folder cannot be found");
    const DWORD seed = GetTickCount() ^ (GetCurrentProcessId() << 12);
    for (DWORD i = 0; i < 1000; ++i) {
        char name[32];
        wsprintfA(name, "Kest%05lX.tmp", static_cast<unsigned long>((seed + i * 7919) & 0xFFFFF));
        const std::string dir = JoinPath(base, name);
        if (CreateDirectoryA(dir.c_str(), nullptr)) return dir;
        if (GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    AbortInstall(ExitWriteFailed, "cannot create a temporary folder in " + Quoted(base) + ": " +
                                      SystemMessage(GetLastError()));
}

// Volumes 2, 3, ... beside the executable; a missing one is asked for in interactive mode.
class TInstallVolumes : public TVolumeLocator {
  public:
    TInstallVolumes(const std::string& first, TUi& ui) : First(first), Ui(ui) {}
    std::unique_ptr<TByteSource> Open(uint32_t n, std::string& name) override {
        name = VolumeFileName(First, n);
        for (;;) {
            std::unique_ptr<TWinFileSource> src = TWinFileSource::Open(name);
            if (src) return src;
            if (Ui.Silent()) return nullptr;
            if (!Ui.AskForVolume(name))
                AbortInstall(ExitCancelled,
                             "the installation was cancelled at volume " + std::to_string(n));
        }
    }

  private:
    std::string First;
    TUi& Ui;
};

// A file's decoded bytes: checksum, and the output file when there is one.
class TOutSink : public TByteSink {
  public:
    uint64_t Crc = 0;
    uint64_t Produced = 0;
    HANDLE File = INVALID_HANDLE_VALUE;
    std::string Name;  // for messages
    void Write(const unsigned char* data, size_t size) override {
        Crc = Crc64Update(Crc, data, size);
        Produced += size;
        if (File == INVALID_HANDLE_VALUE) return;
        if (Buffer.size() + size > WriteBuffer) Flush();
        if (size >= WriteBuffer)
            Put(data, size);
        else
            Buffer.insert(Buffer.end(), data, data + size);
    }
    void Flush() {
        if (!Buffer.empty()) Put(Buffer.data(), Buffer.size());
        Buffer.clear();
    }

  private:
    void Put(const unsigned char* data, size_t size) {
        DWORD written = 0;
        if (!WriteFile(File, data, static_cast<DWORD>(size), &written, nullptr) || written != size)
            AbortInstall(ExitWriteFailed,
                         "cannot write " + Quoted(Name) + ": " + SystemMessage(GetLastError()));
    }
    std::vector<unsigned char> Buffer;
};

struct TRecorded {
    uint64_t Size = 0;
    bool HasVersion = false;
    uint64_t Version = 0;
};

bool ParseVersion(const std::string& text, uint64_t& version) {
    uint64_t parts[4] = {};
    size_t part = 0;
    bool digit = false;
    for (char c : text) {
        if (c >= '0' && c <= '9') {
            parts[part] = parts[part] * 10 + static_cast<uint64_t>(c - '0');
            if (parts[part] > 0xFFFF) return false;
            digit = true;
        } else if (c == '.' && digit && part < 3) {
            ++part;
            digit = false;
        } else {
            return false;
        }
    }
    if (part != 3 || !digit) return false;
    version = (parts[0] << 48) | (parts[1] << 32) | (parts[2] << 16) | parts[3];
    return true;
}

std::string VersionText(uint64_t v) {
    return std::to_string(v >> 48) + "." + std::to_string((v >> 32) & 0xFFFF) + "." +
           std::to_string((v >> 16) & 0xFFFF) + "." + std::to_string(v & 0xFFFF);
}

// The version resource of an installed file, read with our own PE reader.
bool InstalledVersion(const std::string& path, uint64_t& version) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool found = false;
    LARGE_INTEGER size;
    if (GetFileSizeEx(file, &size) && size.QuadPart > 0 && size.QuadPart < (1ll << 30)) {
        HANDLE map = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
        if (map) {
            const void* view = MapViewOfFile(map, FILE_MAP_READ, 0, 0, 0);
            uint32_t ms = 0, ls = 0;
            if (view) {
                found = Plat::PeFileVersion(static_cast<const unsigned char*>(view),
                                            static_cast<size_t>(size.QuadPart), ms, ls);
                UnmapViewOfFile(view);
            }
            version = (uint64_t(ms) << 32) | ls;
            CloseHandle(map);
        }
    }
    CloseHandle(file);
    return found;
}

class TInstall {
  public:
    TInstall(const TSfxArgs& args, TUi& ui) : Args(args), Ui(ui) {}
    void Run();
    const std::string& TitleText() const { return Title; }

  private:
    void ExtractPresetup(const TFileEntry& file);
    void Prepare();
    bool DataIsProtected();
    void CheckPassword(const std::string& hash);
    void ReadLicense(TSetupChoice& choice);
    void CheckSpace();
    void InstallData(const TFileEntry& file);
    void Decode(const TFileEntry& file, TOutSink& sink, bool encrypted);
    std::string OpenTemp(const std::string& final, TOutSink& sink);
    void RunElevated(const std::string& params);
    void Finish();
    void InstallUninstaller();

    const TSfxArgs& Args;
    TUi& Ui;
    std::string Self;
    std::unique_ptr<TPackageParser> Parser;
    std::unique_ptr<TPayloadDecoder> Decoder;
    std::unique_ptr<TFileDecryptor> Decryptor;
    std::vector<unsigned char> Block;
    bool Prepared = false;
    TIniText KestIni;
    std::map<std::string, TRecorded> FileInfo;  // by upper-cased key
    std::string Target;
    std::string Title;
    uint64_t Total = 0;
    uint64_t Done = 0;
    struct TPending {
        std::string Temp, Final, Name;
    };
    std::vector<TPending> Pending;
};

// Lines as an edit control shows them: CR LF.
std::string CrLf(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
        out += text[i];
    }
    return out;
}

std::string UpperKey(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return s;
}

void TInstall::Decode(const TFileEntry& file, TOutSink& sink, bool encrypted) {
    if (encrypted) Decryptor->StartFile();
    Decoder->BeginFile(file, sink);
    while (Parser->NextBlock(Block)) {
        if (encrypted) Decryptor->DecryptBlock(Block.data(), Block.size());
        const uint64_t before = sink.Produced;
        Decoder->Feed(Block.data(), Block.size());
        if (Prepared) {
            Done += sink.Produced - before;
            Ui.Progress(Done, Total, file.Name.substr(5));
        }
        if (Ui.CancelRequested()) AbortInstall(ExitCancelled, "the installation was cancelled");
    }
    Decoder->EndFile();
    sink.Flush();
    if (sink.Crc != Parser->FileCrc())
        FailPackage("checksum mismatch in " + Quoted(file.Name) + ": the data is corrupt" +
                    (encrypted ? " or the password is wrong" : ""));
}

// A new file beside final that nothing else uses, open for writing.
std::string TInstall::OpenTemp(const std::string& final, TOutSink& sink) {
    for (unsigned n = 0;; ++n) {
        const std::string temp = final + PartSuffix + (n ? std::to_string(n) : std::string());
        HANDLE h = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            Journal().BeginTemp(temp, h);
            sink.File = h;
            sink.Name = final;
            return temp;
        }
        if (GetLastError() != ERROR_FILE_EXISTS || n > 100)
            AbortInstall(ExitWriteFailed,
                         "cannot create " + Quoted(temp) + ": " + SystemMessage(GetLastError()));
    }
}

void TInstall::ExtractPresetup(const TFileEntry& file) {
    std::vector<std::string> parts;
    const std::string why = CheckStoredName(file.Name, parts, true);
    if (!why.empty()) FailPackage("the stored name " + Quoted(file.Name) + " " + why);
    std::string path = Context.TempDir;
    for (size_t i = 1; i < parts.size(); ++i) {
        path = JoinPath(path, parts[i]);
        if (i + 1 < parts.size()) CreateDirectoryA(path.c_str(), nullptr);
    }
    TOutSink sink;
    sink.File = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
    if (sink.File == INVALID_HANDLE_VALUE)
        AbortInstall(ExitWriteFailed,
                     "cannot create " + Quoted(path) + ": " + SystemMessage(GetLastError()));
    sink.Name = path;
    Journal().BeginTemp(path, sink.File);  // closed on failure; the folder goes anyway
    Decode(file, sink, false);
    CloseHandle(sink.File);
    Journal().EndTemp(path);
}

// Silent mode: the password comes from /PASSWORD= alone.
void TInstall::CheckPassword(const std::string& hash) {
    if (!Args.HasPassword)
        AbortInstall(ExitWrongPassword, "the package is protected: give /PASSWORD=");
    if (!PasswordMatches(Args.Password, hash)) AbortInstall(ExitWrongPassword, "wrong password");
    Decryptor = std::make_unique<TFileDecryptor>(Args.Password);
    LogLine("password accepted");
}

// The license text that Kest.ini names among the presetup files, for the wizard.
void TInstall::ReadLicense(TSetupChoice& choice) {
    const std::string name = KestIni.Get("Config", "License");
    if (name.empty()) return;
    std::vector<std::string> parts;
    std::string path = Context.TempDir, text;
    if (!CheckStoredName(name, parts, true).empty())
        AbortInstall(ExitDamaged, "Kest.ini names the license file " + Quoted(name) +
                                      ", which is not a presetup file");
    for (const std::string& part : parts) path = JoinPath(path, part);
    if (!ReadWholeFile(path, text))
        AbortInstall(ExitDamaged, "the license file " + Quoted(name) + " is not in the package");
    text = CrLf(ToUtf8(text, 0));
    choice.License = text.empty() ? " " : text;
}

void TInstall::CheckSpace() {
    uint64_t free = 0;
    if (!FreeBytes(Target, free)) return;
    if (free >= Total) return;
    AbortInstall(ExitWriteFailed, "not enough space on the drive of " + Quoted(Target) + ": " +
                                      SizeText(Total) + " needed, " + SizeText(free) + " free, " +
                                      SizeText(Total - free) + " missing");
}

// Reads the package again from its start, as far as its first data file.
bool TInstall::DataIsProtected() {
    std::unique_ptr<TWinFileSource> exe = TWinFileSource::Open(Self);
    if (!exe) AbortInstall(ExitDamaged, "the installer cannot read itself: " + Quoted(Self));
    const TTrailer trailer = LocateTrailer(*exe);
    TInstallVolumes volumes(Self, Ui);
    TPackageStream stream(*exe, FirstVolumeBegin(*exe, trailer.Offset), trailer.Offset, Self,
                          &volumes);
    return DataIsEncrypted(stream);
}

void TInstall::Prepare() {
    Prepared = true;
    std::string text;
    if (!ReadWholeFile(JoinPath(Context.TempDir, "Kest.ini"), text))
        FailPackage("the package holds no Presetup\\Kest.ini");
    KestIni = TIniText(text);
    TSetupChoice choice;
    choice.PresetupDir = Context.TempDir;
    choice.Languages = FindLanguages(Context.TempDir);
    choice.Language = PreferredLanguage(choice.Languages, Args.Language);
    choice.LanguageGiven = !Args.Language.empty() && SameText(choice.Language, Args.Language);
    Texts().Load(Context.TempDir, choice.Language);
    Title = KestIni.Get("Config", "Title", "KestBuild installation");
    choice.Title = Title;
    for (const auto& [key, value] : KestIni.Section("FileInfo")) {
        TRecorded r;
        const size_t comma = value.find(',');
        r.Size = std::strtoull(value.substr(0, comma).c_str(), nullptr, 10);
        if (comma != std::string::npos)
            r.HasVersion = ParseVersion(value.substr(comma + 1), r.Version);
        Total += r.Size;
        FileInfo[UpperKey(key)] = r;
    }
    choice.Required = Total;
    std::string hash = KestIni.Get("Config", "PswCheckHash");
    // A build without a password keeps the check hash of the project's Kest.ini: the data
    // itself tells whether it is protected.
    if (!hash.empty() && !DataIsProtected()) {
        LogLine("the data files are not protected: Kest.ini's password check is not used");
        hash.clear();
    }
    std::string dir = Args.HasDir ? Args.Dir : KestIni.Get("Config", "DefaultDir");
    char expanded[MAX_PATH * 2];
    const DWORD n = ExpandEnvironmentStringsA(dir.c_str(), expanded, sizeof expanded);
    if (n > 0 && n <= sizeof expanded) dir = expanded;
    if (Ui.Silent()) {
        if (!hash.empty()) CheckPassword(hash);
    } else {
        choice.PasswordHash = hash;
        choice.Password = Args.Password;
        choice.PasswordKnown =
            !hash.empty() && Args.HasPassword && PasswordMatches(Args.Password, hash);
        choice.Folder = dir.empty() ? dir : FullPath(dir);
        ReadLicense(choice);
        if (!Ui.Choose(choice)) AbortInstall(ExitCancelled, "the installation was cancelled");
        if (!hash.empty()) {
            Decryptor = std::make_unique<TFileDecryptor>(choice.Password);
            LogLine("password accepted");
        }
        dir = choice.Folder;
        if (choice.Elevate)
            RunElevated((Args.LogFile.empty() ? std::string() : "\"/LOG=" + Args.LogFile + "\" ") +
                        "/LANG=" + Texts().Code() + " /D=" + dir);
    }
    if (dir.empty()) AbortInstall(ExitBadSwitches, "no target folder: give /D=");
    Target = FullPath(dir);
    LogLine("language " + Texts().Code());
    LogLine("target " + Target);
    CheckSpace();
    if (!Journal().ForceDirs(Target)) {
        const DWORD error = GetLastError();
        if (error == ERROR_ACCESS_DENIED && !Ui.Silent() && !IsElevated())
            RunElevated(CommandLineTail(GetCommandLineA()));
        AbortInstall(ExitWriteFailed,
                     "cannot create the folder " + Quoted(Target) + ": " + SystemMessage(error));
    }
}

// A folder only an administrator may write: the same installer again, elevated, and its
// exit code as ours.
void TInstall::RunElevated(const std::string& params) {
    SHELLEXECUTEINFOA run{};
    run.cbSize = sizeof run;
    run.fMask = SEE_MASK_NOCLOSEPROCESS;
    run.lpVerb = "runas";
    run.lpFile = Self.c_str();
    run.lpParameters = params.c_str();
    run.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExA(&run) || !run.hProcess) return;
    Journal().Rollback();
    RemoveTempDir();
    WaitForSingleObject(run.hProcess, INFINITE);
    DWORD code = ExitWriteFailed;
    GetExitCodeProcess(run.hProcess, &code);
    CloseLog();
    ExitProcess(code);
}

void TInstall::InstallData(const TFileEntry& file) {
    TOutSink sink;
    // A plain file of the group stream was never encrypted.
    const bool encrypted = Decryptor != nullptr && !file.Plain;
    if (file.Name.size() <= 5 || !SameText(file.Name.substr(0, 5), "Data\\")) {
        Decode(file, sink, encrypted);
        LogLine("skipped " + file.Name + ": not below Data\\");
        return;
    }
    const std::string name = file.Name.substr(5);
    std::vector<std::string> parts;
    const std::string why = CheckStoredName(name, parts, true);
    if (!why.empty()) FailPackage("the stored name " + Quoted(file.Name) + " " + why);
    std::string final = Target;
    for (const std::string& part : parts) final = JoinPath(final, part);

    const auto recorded = FileInfo.find(UpperKey(name));
    uint64_t installed = 0;
    if (recorded != FileInfo.end() && recorded->second.HasVersion && FileExists(final) &&
        InstalledVersion(final, installed) && installed > recorded->second.Version) {
        Decode(file, sink, encrypted);
        LogLine("kept " + name + ": the installed version " + VersionText(installed) +
                " is newer than " + VersionText(recorded->second.Version));
        return;
    }
    if (!Journal().ForceDirs(ParentOf(final)))
        AbortInstall(ExitWriteFailed, "cannot create the folder " + Quoted(ParentOf(final)) + ": " +
                                          SystemMessage(GetLastError()));
    const std::string temp = OpenTemp(final, sink);
    Decode(file, sink, encrypted);
    if (!CloseHandle(sink.File)) AbortInstall(ExitWriteFailed, "cannot write " + Quoted(final));
    Journal().EndTemp(temp);
    Pending.push_back({temp, final, name});
}

void TInstall::InstallUninstaller() {
    const std::string source = JoinPath(Context.TempDir, "UnKest.exe");
    if (KestIni.Get("Config", "Uninstall", "1") == "0" || !FileExists(source)) return;
    const std::string exe = JoinPath(Target, "UnKest.exe");
    const std::string temp = exe + PartSuffix;
    if (!CopyFileA(source.c_str(), temp.c_str(), FALSE) || !Journal().Place(temp, exe))
        AbortInstall(ExitWriteFailed, "cannot install the uninstaller " + Quoted(exe) + ": " +
                                          SystemMessage(GetLastError()));
    // The uninstaller speaks the language chosen now.
    if (!Texts().File().empty()) {
        const std::string texts = JoinPath(Target, UninstallTextsName);
        if (!CopyFileA(Texts().File().c_str(), (texts + PartSuffix).c_str(), FALSE) ||
            !Journal().Place(texts + PartSuffix, texts))
            AbortInstall(ExitWriteFailed,
                         "cannot write " + Quoted(texts) + ": " + SystemMessage(GetLastError()));
    }
    const std::string record = JoinPath(Target, UninstallRecordName);
    TUninstallRecord r;
    r.Title = Title;
    r.Dir = Target;
    r.Language = Texts().Code();
    r.Files = Journal().Installed();
    r.Files.push_back(record);
    r.Dirs = Journal().Dirs();
    r.Size = Total;
    std::string error;
    if (!Register(r, error)) AbortInstall(ExitWriteFailed, error);
    if (!WriteWholeFile(record + PartSuffix, FormatRecord(r)) ||
        !Journal().Place(record + PartSuffix, record)) {
        Unregister(r);
        AbortInstall(ExitWriteFailed,
                     "cannot write " + Quoted(record) + ": " + SystemMessage(GetLastError()));
    }
    LogLine("uninstaller " + exe);
}

void TInstall::Finish() {
    for (const TPending& p : Pending) {
        if (!Journal().Place(p.Temp, p.Final)) {
            const std::string why = SystemMessage(GetLastError());
            LogLine("failed " + p.Name + ": " + why);
            AbortInstall(ExitWriteFailed, "cannot replace " + Quoted(p.Final) + ": " + why);
        }
        LogLine("installed " + p.Name);
    }
    InstallUninstaller();
    Journal().Commit();
}

void TInstall::Run() {
    char self[MAX_PATH + 1];
    const DWORD n = GetModuleFileNameA(nullptr, self, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) AbortInstall(ExitDamaged, "the installer cannot find itself");
    Self.assign(self, n);
    std::unique_ptr<TWinFileSource> exe = TWinFileSource::Open(Self);
    if (!exe) AbortInstall(ExitDamaged, "the installer cannot read itself: " + Quoted(Self));
    const TTrailer trailer = LocateTrailer(*exe);
    const uint64_t begin = FirstVolumeBegin(*exe, trailer.Offset);
    TInstallVolumes volumes(Self, Ui);
    TPackageStream stream(*exe, begin, trailer.Offset, Self, &volumes);
    Context.TempDir = MakeTempDir();
    Parser = std::make_unique<TPackageParser>(stream);
    Decoder = std::make_unique<TPayloadDecoder>(Parser->Info());
    TFileEntry file;
    while (Parser->NextFile(file)) {
        if (IsPresetupName(file.Name) && !Prepared) {
            ExtractPresetup(file);
            continue;
        }
        if (!Prepared) Prepare();
        InstallData(file);
    }
    if (!Prepared) Prepare();
    Finish();
}

// The failure in the user's language, then the details: which file, and the system's reason.
std::string FailureText(TExitCode code, const std::string& why) {
    std::string text = Texts()("Failed") + "\r\n\r\n";
    if (code == ExitDamaged) text += Texts()("FailedDamaged") + "\r\n\r\n";
    if (code == ExitWriteFailed) text += Texts()("FailedWrite") + "\r\n\r\n";
    std::string detail = AnsiToUtf8(why);
    if (!detail.empty() && detail[0] >= 'a' && detail[0] <= 'z') detail[0] = char(detail[0] - 32);
    if (!detail.empty() && detail.back() != '.') detail += '.';
    return text + detail;
}

}  // namespace

bool PasswordMatches(const std::string& password, const std::string& hash) {
    return SameText(PasswordCheckHash(password), hash);
}

void FailPackage(const std::string& why) {
    AbortInstall(ExitDamaged, "the package is damaged or incomplete: " + why);
}

void AbortInstall(TExitCode code, const std::string& why) {
    Journal().Rollback();
    RemoveTempDir();
    LogLine(code == ExitCancelled ? "cancelled: " + why : "error: " + why);
    CloseLog();
    WriteStdErr("Setup: " + why + "\n");
    if (Context.Ui) {
        if (code == ExitCancelled)
            Context.Ui->Tell(Texts()("Cancelled"), TOutcome::Cancelled);
        else
            Context.Ui->Tell(FailureText(code, why), TOutcome::Failed);
    }
    ExitProcess(static_cast<UINT>(code));
}

int RunInstall(const TSfxArgs& args, TUi& ui) {
    Context.Ui = &ui;
    TInstall install(args, ui);
    install.Run();
    RemoveTempDir();
    LogLine("done");
    CloseLog();
    Context.Done = true;
    ui.Tell(Texts()("Done", AnsiToUtf8(install.TitleText())), TOutcome::Installed);
    return ExitInstalled;
}

void OutOfMemory() {
    AbortInstall(ExitWriteFailed, "out of memory");
}
