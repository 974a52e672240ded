// Little-endian fields of byte-packed layouts: device requests and answers, registry numbers.
#pragma once

#include "platform/Win32.h"

#include <cstdint>

inline WORD GetLe16(const BYTE* at) {
    return static_cast<WORD>(at[0] | (at[1] << 8));
}

inline uint32_t GetLe32(const BYTE* at) {
    return uint32_t{at[0]} | (uint32_t{at[1]} << 8) | (uint32_t{at[2]} << 16) | (uint32_t{at[3]} << 24);
}

inline int64_t GetLe64(const BYTE* at) {
    return static_cast<int64_t>(uint64_t{GetLe32(at)} | (uint64_t{GetLe32(at + 4)} << 32));
}

inline void PutLe32(BYTE* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<BYTE>(value >> (8 * i));
}
