#include "kvUtils2.h"

#include <cstdio>

#include "Platform.h"

bool GetFileVersion(const std::string& fileName, uint32_t& ms, uint32_t& ls) {
    return Plat::FileVersion(fileName, ms, ls);
}

bool FileVersionStr(const std::string& fileName, std::string& text) {
    text.clear();
    uint32_t ms = 0;
    uint32_t ls = 0;
    if (!GetFileVersion(fileName, ms, ls)) return false;
    text = FormatFileVersion(ms, ls);
    return true;
}

std::string FormatFileVersion(uint32_t ms, uint32_t ls) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%u.%u.%u.%u", ms >> 16, ms & 0xFFFFu, ls >> 16, ls & 0xFFFFu);
    return buf;
}

std::string FileVersionStr(const std::string& fileName) {
    std::string text;
    FileVersionStr(fileName, text);
    return text;
}
