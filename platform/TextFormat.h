// Text formatted into a fixed area. On Windows through the system C runtime's printf, which
// does all the program needs, so the executable carries no printf of its own; elsewhere through
// the host's. The conversions are the ones both understand (%d, %i, %u, %s, %X with widths), and
// 64-bit numbers are spelled "%" FORMAT_I64D and "%" FORMAT_I64U, which the two read alike.
#pragma once

#include <cstdarg>
#include <cstddef>

#ifdef _WIN32
#include <stdio.h>

#define FORMAT_I64D "I64d"
#define FORMAT_I64U "I64u"
#define FORMAT_TEXT_CHECK __attribute__((format(ms_printf, 3, 4)))
#else
#include <cinttypes>
#include <cstdio>

#define FORMAT_I64D PRId64
#define FORMAT_I64U PRIu64
#define FORMAT_TEXT_CHECK __attribute__((format(printf, 3, 4)))
#endif

// Formats into `out`, cut to its `size` bytes (at least 1) and always ended with a zero; returns
// the length of the text in the area. The system's _vsnprintf leaves a text that fills or
// overflows its count unterminated, so it is given one byte less and the last byte is set here.
FORMAT_TEXT_CHECK inline int FormatText(char* out, size_t size, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
#ifdef _WIN32
    int length = _vsnprintf(out, size - 1, format, arguments);
#else
    int length = std::vsnprintf(out, size, format, arguments);
#endif
    va_end(arguments);
    if (length < 0 || static_cast<size_t>(length) >= size) length = static_cast<int>(size - 1);
    out[length] = 0;
    return length;
}
