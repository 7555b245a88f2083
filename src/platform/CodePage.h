// What each backend tells the shared code-page conversions (CodePage.cpp): which single-byte
// code page is in use and what its upper half means. Inside the platform layer only.
#pragma once

#include <cstdint>

namespace Plat::Backend {

/// The code page the user or the system chose; 0 when the choice cannot be used.
uint32_t ChosenCodePage();
/// The Unicode code point of each byte 0x80 to 0xFF of a single-byte code page (0 for a
/// byte that the code page leaves undefined); false when the code page is unknown here.
bool ReadCodePage(uint32_t codePage, char32_t (&upperHalf)[128]);

}  // namespace Plat::Backend
