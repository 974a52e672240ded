// The ANSI code page: Windows-1252 by default; a double-byte page or UTF-8 for tests. Only the
// characters the tests turn on are modelled (see UseCodePage).
#include "platform/substitute/Internal.h"

#include <atomic>
#include <cstring>

namespace substitute::detail {
namespace {

std::atomic<UINT> ActivePage;

const bool Registered = RegisterModel(Model{[] {
    ActivePage = 1252;
}});

// Page 932's double bytes: U+4E00 + k is lead k / 188, trail k % 188, in the orders below.
constexpr char32_t DbcsFirst = 0x4E00;
constexpr int TrailCount = 188;  // 0x40..0xFC without 0x7F
constexpr int LeadCount = 60;    // 0x81..0x9F and 0xE0..0xFC

// Arguments that Windows refuses with ERROR_INVALID_PARAMETER: an empty source, say.
bool Invalid(const void* source, int sourceLength, const void* target, int targetLength) {
    return source == nullptr || sourceLength == 0 || targetLength < 0 || (targetLength > 0 && target == nullptr);
}

// Encodes one code point (or an unpaired surrogate, which UTF-8 takes as U+FFFD) into at most four
// bytes; 0 bytes when the page has no such character.
int Encode(UINT page, char32_t point, BYTE* out) {
    out[0] = static_cast<BYTE>(point);
    if (point < 0x80 || (page == 1252 && point >= 0xA0 && point <= 0xFF)) return 1;
    if (page == 932 && point >= DbcsFirst && point < DbcsFirst + LeadCount * TrailCount) {
        int lead = (point - DbcsFirst) / TrailCount, trail = (point - DbcsFirst) % TrailCount;
        out[0] = static_cast<BYTE>(lead < 31 ? 0x81 + lead : 0xE0 + lead - 31);
        out[1] = static_cast<BYTE>(trail < 0x3F ? 0x40 + trail : 0x41 + trail);
        return 2;
    }
    if (page != CP_UTF8) return 0;
    if (point >= 0xD800 && point <= 0xDFFF) point = 0xFFFD;
    int length = point < 0x800 ? 2 : point < 0x10000 ? 3 : 4;
    for (int k = length - 1; k > 0; --k, point >>= 6) out[k] = static_cast<BYTE>(0x80 | (point & 0x3F));
    out[0] = static_cast<BYTE>((0xF00 >> length) | point);
    return length;
}

}  // namespace
}  // namespace substitute::detail

using namespace substitute::detail;

UINT WINAPI GetACP() {
    return ActivePage.load();
}

BOOL WINAPI IsDBCSLeadByte(BYTE testChar) {
    return ActivePage == 932 && ((testChar >= 0x81 && testChar <= 0x9F) || (testChar >= 0xE0 && testChar <= 0xFC));
}

// Each byte becomes the code unit of the same value: ASCII, and page 1252's bytes from 0xA0 on.
// The program converts to UTF-16 only the icon chooser's start path, which the tests keep to
// ASCII. Only the program calls it, so arguments Windows refuses are the program's fault.
int WINAPI MultiByteToWideChar(UINT, DWORD, LPCSTR source, int sourceLength, LPWSTR target, int targetLength) {
    if (Invalid(source, sourceLength, target, targetLength)) {
        Problem("MultiByteToWideChar: arguments that Windows refuses");
        return Failed(ERROR_INVALID_PARAMETER, 0);
    }
    int length = sourceLength < 0 ? static_cast<int>(std::strlen(source)) + 1 : sourceLength;
    if (targetLength > 0 && length > targetLength) return Failed(ERROR_INSUFFICIENT_BUFFER, 0);
    for (int i = 0; i < length && targetLength > 0; ++i) target[i] = static_cast<BYTE>(source[i]);
    return length;
}

int WINAPI WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR source, int sourceLength, LPSTR target,
                               int targetLength, LPCSTR defaultChar, LPBOOL usedDefaultChar) {
    if (Invalid(source, sourceLength, target, targetLength)) return Failed(ERROR_INVALID_PARAMETER, 0);
    if (Fails("WideCharToMultiByte")) return 0;
    UINT page = codePage == CP_ACP ? ActivePage.load() : codePage;
    // The flags the program may pass; UTF-8 takes only the second, and no default character.
    if (flags & ~DWORD{WC_NO_BEST_FIT_CHARS | WC_ERR_INVALID_CHARS}) return Failed(ERROR_INVALID_FLAGS, 0);
    if (page == CP_UTF8 && (flags & ~DWORD{WC_ERR_INVALID_CHARS})) return Failed(ERROR_INVALID_FLAGS, 0);
    if (page == CP_UTF8 && (defaultChar || usedDefaultChar)) return Failed(ERROR_INVALID_PARAMETER, 0);
    size_t length = sourceLength >= 0 ? static_cast<size_t>(sourceLength) : std::char_traits<WCHAR>::length(source) + 1;
    if (usedDefaultChar) *usedDefaultChar = FALSE;
    int written = 0;
    for (size_t i = 0; i < length; ++i) {
        char32_t point = source[i];
        if (point >= 0xD800 && point <= 0xDBFF && i + 1 < length && source[i + 1] >= 0xDC00 && source[i + 1] <= 0xDFFF)
            point = 0x10000 + ((point - 0xD800) << 10) + (source[++i] - 0xDC00);
        if (page == CP_UTF8 && (flags & WC_ERR_INVALID_CHARS) && point >= 0xD800 && point <= 0xDFFF)
            return Failed(ERROR_NO_UNICODE_TRANSLATION, 0);
        BYTE encoded[4];
        int encodedLength = Encode(page, point, encoded);
        if (encodedLength == 0) {
            encoded[0] = static_cast<BYTE>(defaultChar ? *defaultChar : '?');
            encodedLength = 1;
            if (usedDefaultChar) *usedDefaultChar = TRUE;
        }
        // Whole characters only; what fitted stays written, as on Windows.
        if (targetLength > 0 && written + encodedLength > targetLength) return Failed(ERROR_INSUFFICIENT_BUFFER, 0);
        if (targetLength > 0) std::memcpy(target + written, encoded, static_cast<size_t>(encodedLength));
        written += encodedLength;
    }
    return written;
}

void substitute::UseCodePage(UINT codePage) {
    if (codePage != 1252 && codePage != 932 && codePage != CP_UTF8)
        return Problem("UseCodePage: only 1252, 932 and 65001 are modelled");
    ActivePage = codePage;
}
