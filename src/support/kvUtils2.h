// Version numbers of files from their version resources.
#pragma once

#include <cstdint>
#include <string>

bool GetFileVersion(const std::string& fileName, uint32_t& ms, uint32_t& ls);
bool FileVersionStr(const std::string& fileName, std::string& text);
/// The text alone ("" when the file has no version resource).
std::string FileVersionStr(const std::string& fileName);
