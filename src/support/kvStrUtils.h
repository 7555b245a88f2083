// Small text operations shared by the whole system. Positions are 1-based; 0 means
// "not found". Nothing here fails: bad input gives an empty or unchanged result.
#pragma once

#include <bitset>
#include <cstdint>
#include <string>

#include "kvStringList.h"

/// A set of byte values used as token delimiters.
using TCharSet = std::bitset<256>;
/// The set that holds only the given characters.
TCharSet CharSetOf(const std::string& chars);

std::string StrToOem(const std::string& text);
std::string DeleteChars(const std::string& text, char c);
std::string PadLeft(char fill, const std::string& text, int width);
std::string PadRight(char fill, const std::string& text, int width);
std::string CopyBefore(const std::string& text, char c);
std::string HexStr(int64_t value, uint8_t digits);
std::string RadixStr(int64_t value, uint8_t width, uint8_t base);
int WildPos(const std::string& pattern, const std::string& text);
int CutAtStar(std::string& text);
bool WildMatch(const std::string& text, const std::string& mask, bool ignoreCase);
std::string NamePart(const std::string& text, char separator);
std::string ValuePart(const std::string& text, char separator);
std::string NameOf(const std::string& text);
std::string ValueOf(const std::string& text);
int TokenCount(const std::string& text, const TCharSet& delimiters);
int TokenPosition(int n, const std::string& text, const TCharSet& delimiters);
std::string GetToken(int n, const std::string& text, const TCharSet& delimiters);
void SplitToList(const std::string& text, TStringList& list, const TCharSet& delimiters);
void SetNameValue(TStringList& list, const std::string& name, const std::string& value);

/// The 32-bit integer conversion of the INI readers: optional leading spaces, then "$" and
/// hexadecimal digits (a 32-bit pattern, "$FFFFFFFF" is -1) or an optional sign and decimal
/// digits from -2147483647 to 2147483647, with nothing after the digits. False otherwise.
bool TryStrToInt32(const std::string& text, int32_t& value);
