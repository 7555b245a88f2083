// Version numbers of files from their version resources.
#pragma once

#include <cstdint>
#include <string>

bool GetFileVersion(const std::string& fileName, uint32_t& ms, uint32_t& ls);
bool FileVersionStr(const std::string& fileName, std::string& text);
/// "%d.%d.%d.%d" of the four 16-bit numbers, most significant first (e.g. "2.1.0.17").
std::string FormatFileVersion(uint32_t ms, uint32_t ls);
/// The text alone ("" when the file has no version resource).
std::string FileVersionStr(const std::string& fileName);
