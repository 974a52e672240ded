// The ANSI code page.
#pragma once

#include "platform/substitute/Win32Subset.h"

namespace substitute {

// 1252 (the default): one byte per character, Windows' Western European table.
// 1251: Cyrillic, of which only ASCII and the letters are modelled: U+0410..U+044F are
// 0xC0..0xFF, U+0401 is 0xA8 and U+0451 is 0xB8.
// 932: a double-byte page. Lead bytes are 0x81-0x9F and 0xE0-0xFC, trail bytes 0x40-0xFC
// without 0x7F, and ASCII and 0xA1-0xDF (U+FF61-U+FF9F) are single bytes as on that page. Its
// double-byte table is the substitute's own: U+4E00 + k is lead k / 188, trail k % 188 in the
// orders above, so every character of that range round-trips; anything else becomes '?'.
// 65001: UTF-8, as Windows 10 and later can set the ANSI page. WideCharToMultiByte there takes
// only the flags 0 and WC_ERR_INVALID_CHARS (else ERROR_INVALID_FLAGS) and no default-character
// arguments (else ERROR_INVALID_PARAMETER); a lone surrogate becomes U+FFFD, or fails with
// ERROR_NO_UNICODE_TRANSLATION under WC_ERR_INVALID_CHARS. Bad UTF-8 reads as U+FFFD.
void UseCodePage(UINT codePage);

}  // namespace substitute
