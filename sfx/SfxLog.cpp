#include "SfxLog.h"

#include <windows.h>

namespace {

HANDLE Log = INVALID_HANDLE_VALUE;

}  // namespace

bool OpenLog(const std::string& path) {
    Log = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                      FILE_ATTRIBUTE_NORMAL, nullptr);
    return Log != INVALID_HANDLE_VALUE;
}

void LogLine(const std::string& line) {
    if (Log == INVALID_HANDLE_VALUE) return;
    const std::string text = line + "\r\n";
    DWORD written = 0;
    WriteFile(Log, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

void CloseLog() {
    if (Log != INVALID_HANDLE_VALUE) CloseHandle(Log);
    Log = INVALID_HANDLE_VALUE;
}
