#include "HPacker.h"

#include <cstring>
#include <exception>
#include <vector>

#include "CryptoBase.h"
#include "Gost.h"
#include "Haval.h"
#include "kvErrors.h"
#include "kvFileFind.h"
#include "kvFileUtils.h"
#include "kvStrUtils.h"
#include "kvUtils.h"

namespace {

// The library's callbacks carry no context, so what they need lives here: one packer at a
// time.
std::string PackageBaseName;
TDiskSpaceProc DiskSpaceHandler = nullptr;
TProgressProc ProgressHandler = nullptr;
void (*VolumeNotice)(const std::string&) = nullptr;
const uint8_t* ActiveKey = nullptr;
TGostContext CipherContext;
// An exception raised by a handler inside a callback: exceptions must not unwind through
// the library's frames, so it waits here until the export has returned.
std::exception_ptr PendingError;

constexpr size_t VolumeNameMax = 260;
constexpr int32_t PackTrue = -1;
constexpr int32_t PackFalse = 0;

void KeepError() {
    if (!PendingError) PendingError = std::current_exception();
}

void RaisePendingError() {
    if (!PendingError) return;
    std::exception_ptr error = PendingError;
    PendingError = nullptr;
    std::rethrow_exception(error);
}

std::string RemoveExtension(const std::string& fileName) {
    std::string::size_type nameStart = fileName.find_last_of("\\/");
    nameStart = nameStart == std::string::npos ? 0 : nameStart + 1;
    std::string::size_type dot = fileName.rfind('.');
    if (dot == std::string::npos || dot < nameStart) return fileName;
    return fileName.substr(0, dot);
}

void KEST_PACKCALL OnVolumeName(int32_t volume, char* buffer) {
    try {
        buffer[0] = '\0';
        std::string name = PackageBaseName + "." + std::to_string(volume);
        // A cut name is another file, perhaps one of the user's: give none (the library
        // cannot create a volume without a name) and stop the build.
        if (name.size() > VolumeNameMax)
            throw EInOutError("The package file name " + name + " is longer than " +
                              std::to_string(VolumeNameMax) + " characters!");
        if (VolumeNotice) VolumeNotice(name);
        std::memcpy(buffer, name.data(), name.size());
        buffer[name.size()] = '\0';
    } catch (...) {
        KeepError();
        buffer[0] = '\0';
    }
}

void KEST_PACKCALL OnDiskSpace(const char* path, int32_t* answer) {
    bool abort = true;
    if (!PendingError && DiskSpaceHandler) {
        try {
            DiskSpaceHandler(std::string(path), abort);
        } catch (...) {
            KeepError();
            abort = true;
        }
    }
    *answer = abort ? PackTrue : PackFalse;
}

void EncryptBlock(uint8_t* block, int32_t blockSize) {
    std::vector<uint8_t> cipherText(static_cast<size_t>(blockSize));
    GostEncryptCBC(CipherContext, block, cipherText.data(), blockSize);
    std::memcpy(block, cipherText.data(), cipherText.size());
}

int32_t KEST_PACKCALL OnWrite(const char* fileName, int32_t /*reserved*/, int32_t fileSize,
                              int32_t blockSize, int32_t done, void* block) {
    try {
        if (ActiveKey && blockSize > 0) EncryptBlock(static_cast<uint8_t*>(block), blockSize);
        if (PendingError) return PackFalse;
        // Without a handler there is nobody to ask: going on beats a crash.
        if (!ProgressHandler) return PackTrue;
        return ProgressHandler(std::string(fileName), fileSize, blockSize, done) ? PackTrue
                                                                                 : PackFalse;
    } catch (...) {
        KeepError();
        return PackFalse;
    }
}

/// Burns the cipher context when a keyed AddFile ends, on every path.
class TCipherScope {
  public:
    explicit TCipherScope(const uint8_t* key) : Active(key != nullptr) {
        if (Active) GostInit(CipherContext, key, 256, nullptr);
    }
    ~TCipherScope() {
        if (Active) GostBurn(CipherContext);
    }
    TCipherScope(const TCipherScope&) = delete;
    TCipherScope& operator=(const TCipherScope&) = delete;

  private:
    bool Active;
};

/// Unloads a library unless released, so a failed construction leaves nothing loaded.
class TLibraryScope {
  public:
    explicit TLibraryScope(void* library) : Library(library) {}
    ~TLibraryScope() {
        if (Library) FreeDynLibrary(Library);
    }
    TLibraryScope(const TLibraryScope&) = delete;
    TLibraryScope& operator=(const TLibraryScope&) = delete;
    void* Release() {
        void* library = Library;
        Library = nullptr;
        return library;
    }

  private:
    void* Library;
};

}  // namespace

TPacker::TPacker(const std::string& packageFileName, TDiskSpaceProc diskSpace,
                 TProgressProc progress, int32_t level) {
    PackageBaseName = RemoveExtension(packageFileName);
    DiskSpaceHandler = diskSpace;
    ProgressHandler = progress;

    void* library = LoadDynLibrary(ProgramDir() + "Pack.dll");
    if (!library) throw EKestError("Can't load pack library");
    TLibraryScope scope(library);
    PackCreate = reinterpret_cast<TPackCreate>(GetDynProc(library, "Create"));
    PackAddFile = reinterpret_cast<TPackAddFile>(GetDynProc(library, "AddFile"));
    PackClose = reinterpret_cast<TPackClose>(GetDynProc(library, "Close"));
    if (!PackCreate || !PackAddFile || !PackClose)
        throw EKestError("Important functions was not found in the pack library");
    // Optional: a library without it keeps every file's bytes inside its own call.
    PackSetPlain = reinterpret_cast<TPackSetPlain>(GetDynProc(library, "SetPlain"));

    PendingError = nullptr;
    PackCreate(OnVolumeName, OnDiskSpace, OnWrite, level);
    RaisePendingError();
    Library = scope.Release();
}

TPacker::~TPacker() {
    if (Library) FreeDynLibrary(Library);
    SetPassword("");
}

bool TPacker::AddFile(const std::string& sourceName, const std::string& storedName) {
    ActiveKey = Key ? Key->data() : nullptr;
    // Only a file that will not be encrypted may have its bytes written after its call.
    if (PackSetPlain) PackSetPlain(ActiveKey ? 0 : 1);
    int32_t added;
    {
        TCipherScope cipher(ActiveKey);
        added = PackAddFile(sourceName.c_str(), storedName.c_str());
    }
    RaisePendingError();
    return added != 0;
}

bool TPacker::AddTree(const std::string& mask, bool recursive, int32_t skipCount) {
    TVisitedDirs visited;
    return AddTreeOnce(mask, recursive, skipCount, visited);
}

bool TPacker::AddTreeOnce(const std::string& mask, bool recursive, int32_t skipCount,
                          TVisitedDirs& visited) {
    std::string::size_type split = mask.find_last_of("\\/");
    std::string dir = split == std::string::npos ? "" : mask.substr(0, split + 1);
    std::string pattern = mask.substr(dir.size());
    size_t skip = skipCount > 0 ? static_cast<size_t>(skipCount) : 0;
    if (!visited.FirstVisit(dir.empty() ? "." : dir)) return true;

    // Each search is closed before the descent, so a deep tree holds one per level, not two.
    const bool added = ForEachEntry(mask, 0, 24, [&](const TSearchRecEx& file) {
        std::string fullName = dir + file.Name;
        return AddFile(fullName, skip < fullName.size() ? fullName.substr(skip) : "");
    });
    if (!added) return false;
    if (!recursive) return true;

    std::vector<std::string> subdirs;
    ForEachEntry(mask, 16, 0, [&](const TSearchRecEx& found) {
        subdirs.push_back(found.Name);
        return true;
    });
    for (const std::string& name : subdirs)
        if (!AddTreeOnce(dir + name + "\\" + pattern, recursive, skipCount, visited)) return false;
    return true;
}

bool TPacker::AddTreeFrom(const std::string& mask, const std::string& baseDir, bool recursive) {
    return AddTree(mask, recursive, static_cast<int32_t>(AddBackslash(baseDir).size()));
}

bool TPacker::Close() {
    int32_t closed = PackClose();
    RaisePendingError();
    return closed != 0;
}

void TPacker::SetPassword(const std::string& password) {
    // The callbacks must never see a key that is gone.
    if (Key) {
        if (ActiveKey == Key->data()) ActiveKey = nullptr;
        BurnBytes(Key->data(), 0, static_cast<int32_t>(Key->size()));
        Key.reset();
    }
    if (password.empty()) return;
    Key = std::make_unique<TKey>();
    HashString(password, Key->data());
}

void TPacker::SetVolumeNotice(void (*notice)(const std::string&)) {
    VolumeNotice = notice;
}

void TPacker::HashString(const std::string& text, uint8_t* digest) {
    THavalContext context;
    HavalInit(context);
    // Counts are 32-bit: feed a huge text in pieces.
    constexpr size_t Piece = 1u << 30;
    for (size_t pos = 0; pos < text.size(); pos += Piece) {
        size_t count = text.size() - pos < Piece ? text.size() - pos : Piece;
        HavalUpdate(context, text.data() + pos, static_cast<int32_t>(count));
    }
    HavalFinal(context, digest);
}

std::string TPacker::HashStringHex(const std::string& text) {
    TKey digest;
    HashString(text, digest.data());
    std::string hex;
    for (uint8_t b : digest) hex += HexStr(b, 2);
    BurnBytes(digest.data(), 0, static_cast<int32_t>(digest.size()));
    return hex;
}
