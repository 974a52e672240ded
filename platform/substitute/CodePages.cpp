// The ANSI code page: Windows-1252 by default; Cyrillic, a double-byte page or UTF-8 for tests.
#include "platform/substitute/Internal.h"
#include "platform/substitute/Substitute.h"

#include <atomic>
#include <cstring>

namespace substitute::detail {
namespace {

std::atomic<UINT> ActivePage;

const bool Registered = RegisterModel(Model{[] {
    ActivePage = 1252;
}});

// 0x80..0x9F of Windows-1252; the five unassigned bytes map to the C1 controls of the same value.
const char16_t Cp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// Page 932's double bytes: U+4E00 + k is lead k / 188, trail k % 188, in the orders below.
constexpr char32_t DbcsFirst = 0x4E00;
constexpr int TrailCount = 188;  // 0x40..0xFC without 0x7F
constexpr int LeadCount = 60;    // 0x81..0x9F and 0xE0..0xFC

bool IsLead932(BYTE byte) {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// The character a single byte of 0x80 or more stands for on a page other than UTF-8; 0 for none.
char16_t HighByte(UINT page, BYTE byte) {
    if (page == 1251) return byte >= 0xC0 ? byte - 0xC0 + 0x410 : byte == 0xA8 ? 0x401 : byte == 0xB8 ? 0x451 : 0;
    if (page == 932) return byte >= 0xA1 && byte <= 0xDF ? byte - 0xA1 + 0xFF61 : 0;
    return byte >= 0xA0 ? byte : Cp1252High[byte - 0x80];
}

// A scripted failure, or arguments Windows rejects: the last error says which.
bool Refused(const char* function, DWORD flags, const void* source, int sourceLength, const void* target,
             int targetLength) {
    // The flags the program may pass.
    if (flags & ~DWORD{WC_NO_BEST_FIT_CHARS | WC_ERR_INVALID_CHARS}) return SetLastError(ERROR_INVALID_FLAGS), true;
    if (!source || sourceLength == 0 || targetLength < 0 || (targetLength > 0 && !target))
        return SetLastError(ERROR_INVALID_PARAMETER), true;
    return Fails(function);
}

// Decodes the character at bytes[i] and steps past it; a malformed one is one byte of U+FFFD on
// UTF-8, '?' or U+30FB (page 932) elsewhere.
char32_t Decode(UINT page, const BYTE* bytes, size_t length, size_t& i) {
    BYTE lead = bytes[i++];
    if (lead < 0x80) return lead;
    if (page == 932 && IsLead932(lead)) {
        BYTE trail = i < length ? bytes[i] : 0;
        if (trail < 0x40 || trail > 0xFC || trail == 0x7F) return 0x30FB;
        ++i;
        return DbcsFirst + (lead <= 0x9F ? lead - 0x81 : lead - 0xE0 + 31) * TrailCount + trail - 0x40 - (trail > 0x7F);
    }
    if (page != CP_UTF8) return HighByte(page, lead) ? HighByte(page, lead) : page == 932 ? 0x30FB : u'?';
    int extra = lead >= 0xC2 && lead <= 0xDF   ? 1
                : lead >= 0xE0 && lead <= 0xEF ? 2
                : lead >= 0xF0 && lead <= 0xF4 ? 3
                                               : 0;
    if (extra == 0 || i + static_cast<size_t>(extra) > length) return 0xFFFD;
    char32_t point = lead & (0x3F >> extra);
    for (int k = 0; k < extra; ++k) {
        if ((bytes[i + k] & 0xC0) != 0x80) return 0xFFFD;
        point = (point << 6) | (bytes[i + k] & 0x3F);
    }
    const char32_t least[] = {0, 0x80, 0x800, 0x10000};
    if (point < least[extra] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) return 0xFFFD;
    i += static_cast<size_t>(extra);
    return point;
}

// Encodes one code point (or an unpaired surrogate, which UTF-8 takes as U+FFFD) into at most four
// bytes; 0 bytes when the page has no such character.
int Encode(UINT page, char32_t point, BYTE* out) {
    if (point < 0x80) return out[0] = static_cast<BYTE>(point), 1;
    if (page == CP_UTF8) {
        if (point >= 0xD800 && point <= 0xDFFF) point = 0xFFFD;
        int length = point < 0x800 ? 2 : point < 0x10000 ? 3 : 4;
        for (int k = length - 1; k > 0; --k, point >>= 6) out[k] = static_cast<BYTE>(0x80 | (point & 0x3F));
        out[0] = static_cast<BYTE>((0xF00 >> length) | point);
        return length;
    }
    if (page == 932 && point >= DbcsFirst && point < DbcsFirst + LeadCount * TrailCount) {
        int lead = (point - DbcsFirst) / TrailCount, trail = (point - DbcsFirst) % TrailCount;
        out[0] = static_cast<BYTE>(lead < 31 ? 0x81 + lead : 0xE0 + lead - 31);
        out[1] = static_cast<BYTE>(trail < 0x3F ? 0x40 + trail : 0x41 + trail);
        return 2;
    }
    for (int byte = 0x80; byte <= 0xFF; ++byte)
        if (HighByte(page, static_cast<BYTE>(byte)) == point) return out[0] = static_cast<BYTE>(byte), 1;
    return 0;
}

}  // namespace
}  // namespace substitute::detail

using namespace substitute::detail;

UINT WINAPI GetACP() {
    return ActivePage.load();
}

BOOL WINAPI IsDBCSLeadByte(BYTE testChar) {
    return ActivePage == 932 && IsLead932(testChar);
}

int WINAPI MultiByteToWideChar(UINT codePage, DWORD, LPCSTR source, int sourceLength, LPWSTR target, int targetLength) {
    if (Refused("MultiByteToWideChar", 0, source, sourceLength, target, targetLength)) return 0;
    UINT page = codePage == CP_ACP ? ActivePage.load() : codePage;
    size_t length = sourceLength < 0 ? std::strlen(source) + 1 : static_cast<size_t>(sourceLength);
    int written = 0;
    for (size_t i = 0; i < length;) {
        char32_t point = Decode(page, reinterpret_cast<const BYTE*>(source), length, i);
        // Past the first plane: a surrogate pair.
        const char16_t units[2] = {static_cast<char16_t>(0xD800 + ((point - 0x10000) >> 10)),
                                   static_cast<char16_t>(point < 0x10000 ? point : 0xDC00 + (point & 0x3FF))};
        for (int k = point < 0x10000 ? 1 : 0; k < 2; ++k, ++written) {
            if (targetLength > 0 && written == targetLength) return SetLastError(ERROR_INSUFFICIENT_BUFFER), 0;
            if (targetLength > 0) target[written] = units[k];
        }
    }
    return written;
}

int WINAPI WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR source, int sourceLength, LPSTR target,
                               int targetLength, LPCSTR defaultChar, LPBOOL usedDefaultChar) {
    if (Refused("WideCharToMultiByte", flags, source, sourceLength, target, targetLength)) return 0;
    UINT page = codePage == CP_ACP ? ActivePage.load() : codePage;
    if (page == CP_UTF8 && (flags & ~DWORD{WC_ERR_INVALID_CHARS})) return SetLastError(ERROR_INVALID_FLAGS), 0;
    if (page == CP_UTF8 && (defaultChar || usedDefaultChar)) return SetLastError(ERROR_INVALID_PARAMETER), 0;
    size_t length = sourceLength >= 0 ? static_cast<size_t>(sourceLength) : std::char_traits<WCHAR>::length(source) + 1;
    if (usedDefaultChar) *usedDefaultChar = FALSE;
    int written = 0;
    for (size_t i = 0; i < length; ++i) {
        char32_t point = source[i];
        if (point >= 0xD800 && point <= 0xDBFF && i + 1 < length && source[i + 1] >= 0xDC00 && source[i + 1] <= 0xDFFF)
            point = 0x10000 + ((point - 0xD800) << 10) + (source[++i] - 0xDC00);
        if (page == CP_UTF8 && (flags & WC_ERR_INVALID_CHARS) && point >= 0xD800 && point <= 0xDFFF)
            return SetLastError(ERROR_NO_UNICODE_TRANSLATION), 0;
        BYTE encoded[4];
        int encodedLength = Encode(page, point, encoded);
        if (encodedLength == 0) {
            encoded[0] = static_cast<BYTE>(defaultChar ? *defaultChar : '?');
            encodedLength = 1;
            if (usedDefaultChar) *usedDefaultChar = TRUE;
        }
        // Whole characters only; what fitted stays written, as on Windows.
        if (targetLength > 0 && written + encodedLength > targetLength)
            return SetLastError(ERROR_INSUFFICIENT_BUFFER), 0;
        if (targetLength > 0) std::memcpy(target + written, encoded, static_cast<size_t>(encodedLength));
        written += encodedLength;
    }
    return written;
}

void substitute::UseCodePage(UINT codePage) {
    if (codePage != 1252 && codePage != 1251 && codePage != 932 && codePage != CP_UTF8)
        return Problem("UseCodePage: only 1252, 1251, 932 and 65001 are modelled");
    ActivePage = codePage;
}
