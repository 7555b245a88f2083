// The profile access layer: INI values by file name, through a process-wide cache that
// holds one TkvIniFile per file, loads each file once and writes changes back on flush.
#pragma once

#include <cstdint>
#include <string>

#include "kvStringList.h"

class TkvIniFile;

TkvIniFile* ProfileGetIni(const std::string& fileName, bool readOnly);
void ProfileDropIni(const std::string& fileName);
void ProfileFlushAll();
std::string ProfileReadString(const std::string& fileName, const std::string& section,
                              const std::string& key, const std::string& def);
int32_t ProfileReadInteger(const std::string& fileName, const std::string& section,
                           const std::string& key, int32_t def);
bool ProfileReadBool(const std::string& fileName, const std::string& section,
                     const std::string& key, bool def);
void ProfileReadSectionKeys(const std::string& fileName, const std::string& section,
                            TStringList& target);
void ProfileReadSectionValues(const std::string& fileName, const std::string& section,
                              TStringList& target);
bool ProfileWriteString(const std::string& fileName, const std::string& section,
                        const std::string& key, const std::string& value);
