#include "SfxFile.h"

TWinFileSource::~TWinFileSource() {
    CloseHandle(File);
}

std::unique_ptr<TWinFileSource> TWinFileSource::Open(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size)) {
        CloseHandle(file);
        return nullptr;
    }
    return std::unique_ptr<TWinFileSource>(
        new TWinFileSource(file, static_cast<uint64_t>(size.QuadPart)));
}

bool TWinFileSource::ReadAt(uint64_t offset, void* buf, size_t n) {
    if (offset > Length || n > Length - offset) return false;
    auto* out = static_cast<unsigned char*>(buf);
    while (n) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        const DWORD want = n > (1u << 30) ? (1u << 30) : static_cast<DWORD>(n);
        DWORD got = 0;
        if (!ReadFile(File, out, want, &got, &at) || got == 0) return false;
        out += got;
        offset += got;
        n -= got;
    }
    return true;
}

bool ReadWholeFile(const std::string& path, std::string& bytes) {
    std::unique_ptr<TWinFileSource> src = TWinFileSource::Open(path);
    if (!src || src->Size() > (256u << 20)) return false;
    bytes.resize(static_cast<size_t>(src->Size()));
    return src->ReadAt(0, bytes.data(), bytes.size());
}

bool WriteWholeFile(const std::string& path, const std::string& bytes) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok =
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
        written == bytes.size();
    return CloseHandle(file) && ok;
}

std::string SystemMessage(DWORD error) {
    char text[512];
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             error, 0, text, sizeof text, nullptr);
    while (n && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == ' ')) --n;
    if (n == 0) return "system error " + std::to_string(error);
    return std::string(text, n);
}

bool FileExists(const std::string& path) {
    const DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirExists(const std::string& path) {
    const DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

std::string ParentOf(const std::string& path) {
    const size_t sep = path.find_last_of("\\/");
    return sep == std::string::npos ? std::string() : path.substr(0, sep);
}

std::string JoinPath(const std::string& a, const std::string& b) {
    if (a.empty()) return b;
    if (a.back() == '\\' || a.back() == '/') return a + b;
    return a + "\\" + b;
}

std::string FullPath(const std::string& path) {
    char buf[MAX_PATH * 2];
    const DWORD n = GetFullPathNameA(path.c_str(), sizeof buf, buf, nullptr);
    std::string full = (n == 0 || n >= sizeof buf) ? path : std::string(buf, n);
    while (full.size() > 3 && (full.back() == '\\' || full.back() == '/')) full.pop_back();
    return full;
}

bool IsElevated() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    const bool ok = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size);
    CloseHandle(token);
    return ok && elevation.TokenIsElevated;
}

std::string ExistingAncestor(const std::string& path) {
    std::string probe = path;
    while (!probe.empty() && GetFileAttributesA(probe.c_str()) == INVALID_FILE_ATTRIBUTES) {
        const std::string parent = ParentOf(probe);
        if (parent.size() >= probe.size()) return {};
        probe = parent;
    }
    if (probe.size() == 2 && probe[1] == ':') probe += "\\";
    return probe;
}

bool FreeBytes(const std::string& dir, uint64_t& free) {
    const std::string probe = ExistingAncestor(dir);
    ULARGE_INTEGER avail;
    if (probe.empty() || !GetDiskFreeSpaceExA(probe.c_str(), &avail, nullptr, nullptr))
        return false;
    free = avail.QuadPart;
    return true;
}
