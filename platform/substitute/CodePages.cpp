// The ANSI code page: Windows-1252 by default, or a double-byte page for tests of cut text.
#include "platform/substitute/Internal.h"
#include "platform/substitute/Substitute.h"

#include <atomic>
#include <cstring>

namespace substitute::detail {
namespace {

std::atomic<UINT> ActivePage{1252};

// 0x80..0x9F of Windows-1252; the five unassigned bytes map to the C1 controls of the same value.
const char16_t Cp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

constexpr char16_t DbcsFirst = 0x4E00;
constexpr int TrailCount = 188;  // 0x40..0xFC without 0x7F
constexpr int LeadCount = 60;    // 0x81..0x9F and 0xE0..0xFC

bool IsLead932(BYTE byte) { return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC); }
int LeadIndex(BYTE byte) { return byte <= 0x9F ? byte - 0x81 : byte - 0xE0 + 31; }
BYTE LeadByte(int index) { return static_cast<BYTE>(index < 31 ? 0x81 + index : 0xE0 + index - 31); }
int TrailIndex(BYTE byte) {
    if (byte < 0x40 || byte > 0xFC || byte == 0x7F) return -1;
    return byte < 0x7F ? byte - 0x40 : byte - 0x41;
}
BYTE TrailByte(int index) { return static_cast<BYTE>(index < 0x3F ? 0x40 + index : 0x41 + index); }

UINT Resolve(UINT codePage) { return codePage == CP_ACP ? ActivePage.load() : codePage; }

// A scripted failure, or arguments Windows rejects: the last error says which.
bool Refused(const char* function, DWORD flags, const void* source, int sourceLength, const void* target,
             int targetLength) {
    DWORD error = 0;
    if (auto failure = TakeFailure(function))
        error = *failure;
    else if (flags & ~DWORD{WC_NO_BEST_FIT_CHARS | WC_ERR_INVALID_CHARS})  // the flags the program may pass
        error = ERROR_INVALID_FLAGS;
    else if (!source || sourceLength == 0 || targetLength < 0 || (targetLength > 0 && !target))
        error = ERROR_INVALID_PARAMETER;
    if (error == 0) return false;
    SetLastError(error);
    return true;
}

// UTF-8 of one code point; a lone surrogate is U+FFFD.
int EncodeUtf8(char32_t point, BYTE* out) {
    if (point >= 0xD800 && point <= 0xDFFF) point = 0xFFFD;
    if (point < 0x80) return out[0] = static_cast<BYTE>(point), 1;
    int length = point < 0x800 ? 2 : point < 0x10000 ? 3 : 4;
    for (int k = length - 1; k > 0; --k, point >>= 6) out[k] = static_cast<BYTE>(0x80 | (point & 0x3F));
    out[0] = static_cast<BYTE>((0xF00 >> length) | point);
    return length;
}

// Decodes one UTF-8 character at bytes[i]; a malformed one counts one byte and reads U+FFFD.
char32_t DecodeUtf8(const BYTE* bytes, size_t length, size_t& i) {
    BYTE lead = bytes[i];
    if (lead < 0x80) return ++i, lead;
    int extra = lead >= 0xC2 && lead <= 0xDF ? 1 : lead >= 0xE0 && lead <= 0xEF ? 2 : lead >= 0xF0 && lead <= 0xF4 ? 3 : 0;
    if (extra == 0 || i + static_cast<size_t>(extra) >= length) return ++i, 0xFFFD;
    char32_t point = lead & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
        if ((bytes[i + k] & 0xC0) != 0x80) return ++i, 0xFFFD;
        point = (point << 6) | (bytes[i + k] & 0x3F);
    }
    const char32_t least[] = {0, 0x80, 0x800, 0x10000};
    if (point < least[extra] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) return ++i, 0xFFFD;
    i += static_cast<size_t>(extra) + 1;
    return point;
}

// Encodes one code point (or an unpaired surrogate) into at most four bytes; false when the page
// has no such character.
bool Encode(UINT page, char32_t point, BYTE* out, int& length) {
    length = 1;
    if (page == CP_UTF8) {
        length = EncodeUtf8(point, out);
        return true;
    }
    if (point < 0x80) {
        out[0] = static_cast<BYTE>(point);
        return true;
    }
    if (page == 1251) {
        BYTE byte = point >= 0x410 && point <= 0x44F ? static_cast<BYTE>(point - 0x410 + 0xC0)
                    : point == 0x401                 ? 0xA8
                    : point == 0x451                 ? 0xB8
                                                     : 0;
        out[0] = byte;
        return byte != 0;
    }
    if (page == 932) {
        if (point >= 0xFF61 && point <= 0xFF9F) {
            out[0] = static_cast<BYTE>(point - 0xFF61 + 0xA1);
            return true;
        }
        if (point >= DbcsFirst && point < DbcsFirst + LeadCount * TrailCount) {
            int k = static_cast<int>(point - DbcsFirst);
            out[0] = LeadByte(k / TrailCount);
            out[1] = TrailByte(k % TrailCount);
            length = 2;
            return true;
        }
        return false;
    }
    if (point >= 0xA0 && point <= 0xFF) {
        out[0] = static_cast<BYTE>(point);
        return true;
    }
    for (int i = 0; i < 32; ++i) {
        if (Cp1252High[i] == point) {
            out[0] = static_cast<BYTE>(0x80 + i);
            return true;
        }
    }
    return false;
}

}  // namespace
}  // namespace substitute::detail

using namespace substitute::detail;

UINT WINAPI GetACP() { return ActivePage.load(); }

BOOL WINAPI IsDBCSLeadByte(BYTE testChar) { return ActivePage == 932 && IsLead932(testChar); }

int WINAPI MultiByteToWideChar(UINT codePage, DWORD, LPCSTR source, int sourceLength,
                               LPWSTR target, int targetLength) {
    if (Refused("MultiByteToWideChar", 0, source, sourceLength, target, targetLength)) return 0;
    UINT page = Resolve(codePage);
    size_t length = sourceLength < 0 ? std::strlen(source) + 1 : static_cast<size_t>(sourceLength);
    const auto* bytes = reinterpret_cast<const BYTE*>(source);
    int written = 0;
    for (size_t i = 0; i < length;) {
        char16_t unit;
        BYTE byte = bytes[i];
        if (byte < 0x80) {
            unit = byte;
            i += 1;
        } else if (page == CP_UTF8) {
            char32_t point = DecodeUtf8(bytes, length, i);
            if (point >= 0x10000) {
                // The high surrogate here, the low one through the shared store below.
                if (targetLength > 0) {
                    if (written == targetLength) {
                        SetLastError(ERROR_INSUFFICIENT_BUFFER);
                        return 0;
                    }
                    target[written] = static_cast<char16_t>(0xD800 + ((point - 0x10000) >> 10));
                }
                ++written;
                point = 0xDC00 + ((point - 0x10000) & 0x3FF);
            }
            unit = static_cast<char16_t>(point);
        } else if (page == 932 && IsLead932(byte)) {
            int trail = i + 1 < length ? TrailIndex(bytes[i + 1]) : -1;
            unit = trail < 0 ? u'\x30FB' : static_cast<char16_t>(DbcsFirst + LeadIndex(byte) * TrailCount + trail);
            i += trail < 0 ? 1 : 2;
        } else if (page == 1251) {
            unit = byte >= 0xC0 ? static_cast<char16_t>(byte - 0xC0 + 0x410) : byte == 0xA8 ? u'\x401'
                   : byte == 0xB8 ? u'\x451' : u'?';
            i += 1;
        } else if (page == 932) {
            unit = byte >= 0xA1 && byte <= 0xDF ? static_cast<char16_t>(0xFF61 + byte - 0xA1) : u'\x30FB';
            i += 1;
        } else {
            unit = byte >= 0xA0 ? byte : Cp1252High[byte - 0x80];
            i += 1;
        }
        if (targetLength > 0) {
            if (written == targetLength) {
                SetLastError(ERROR_INSUFFICIENT_BUFFER);
                return 0;
            }
            target[written] = unit;
        }
        ++written;
    }
    return written;
}

int WINAPI WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR source, int sourceLength,
                               LPSTR target, int targetLength, LPCSTR defaultChar,
                               LPBOOL usedDefaultChar) {
    if (Refused("WideCharToMultiByte", flags, source, sourceLength, target, targetLength)) return 0;
    UINT page = Resolve(codePage);
    if (page == CP_UTF8 && (flags & ~DWORD{WC_ERR_INVALID_CHARS}) != 0) {
        SetLastError(ERROR_INVALID_FLAGS);
        return 0;
    }
    if (page == CP_UTF8 && (defaultChar != nullptr || usedDefaultChar != nullptr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t length = 0;
    if (sourceLength < 0) {
        while (source[length] != 0) ++length;
        ++length;
    } else {
        length = static_cast<size_t>(sourceLength);
    }
    if (usedDefaultChar) *usedDefaultChar = FALSE;
    int written = 0;
    for (size_t i = 0; i < length;) {
        char32_t point = source[i];
        size_t units = 1;
        if (point >= 0xD800 && point <= 0xDBFF && i + 1 < length && source[i + 1] >= 0xDC00 &&
            source[i + 1] <= 0xDFFF) {
            point = 0x10000 + ((point - 0xD800) << 10) + (source[i + 1] - 0xDC00);
            units = 2;
        }
        if (page == CP_UTF8 && (flags & WC_ERR_INVALID_CHARS) && point >= 0xD800 && point <= 0xDFFF) {
            SetLastError(ERROR_NO_UNICODE_TRANSLATION);
            return 0;
        }
        BYTE encoded[4];
        int encodedLength;
        if (!Encode(page, point, encoded, encodedLength)) {
            encoded[0] = static_cast<BYTE>(defaultChar ? *defaultChar : '?');
            encodedLength = 1;
            if (usedDefaultChar) *usedDefaultChar = TRUE;
        }
        if (targetLength > 0) {
            // Whole characters only; what fitted stays written, as on Windows.
            if (written + encodedLength > targetLength) {
                SetLastError(ERROR_INSUFFICIENT_BUFFER);
                return 0;
            }
            std::memcpy(target + written, encoded, static_cast<size_t>(encodedLength));
        }
        written += encodedLength;
        i += units;
    }
    return written;
}

namespace substitute {

void UseCodePage(UINT codePage) {
    if (codePage != 1252 && codePage != 1251 && codePage != 932 && codePage != CP_UTF8) {
        detail::Problem("UseCodePage: only 1252, 1251, 932 and 65001 are modelled");
        return;
    }
    ActivePage = codePage;
}

namespace detail {
namespace {
const bool CodePagesRegistered = RegisterModel(Model{
    [] { ActivePage = 1252; },
    [](std::vector<std::string>&) {},
});
}  // namespace
}  // namespace detail

}  // namespace substitute
