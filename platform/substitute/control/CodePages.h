// The ANSI code page.
#pragma once

namespace substitute {

// 1252 (the default): Windows' Western European table. 1251: Cyrillic, only ASCII and the
// letters (U+0410..U+044F as 0xC0..0xFF, U+0401 as 0xA8, U+0451 as 0xB8). 932: a double-byte
// page with that page's lead bytes (0x81-0x9F, 0xE0-0xFC), trail bytes (0x40-0xFC without 0x7F)
// and single bytes (ASCII, 0xA1-0xDF for U+FF61-U+FF9F); its double-byte table is the
// substitute's own: U+4E00 + k is lead k / 188, trail k % 188, anything else becomes '?'.
// 65001: UTF-8, which Windows 10 and later can make the ANSI page; there WideCharToMultiByte
// takes only the flags 0 and WC_ERR_INVALID_CHARS (else ERROR_INVALID_FLAGS) and no
// default-character arguments (else ERROR_INVALID_PARAMETER); a lone surrogate becomes U+FFFD,
// or fails with ERROR_NO_UNICODE_TRANSLATION under WC_ERR_INVALID_CHARS. Bad UTF-8 reads as U+FFFD.
void UseCodePage(UINT codePage);

}  // namespace substitute
