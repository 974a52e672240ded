// A drive's ATA IDENTIFY data as report text: descriptor block, position line, geometry block.
#pragma once

#include "platform/Win32.h"

#include <array>
#include <cstddef>

// Cell k holds IDENTIFY word k, zero-extended.
using IdentifyBlock = std::array<DWORD, 256>;

// Tab, line feed, vertical tab, form feed, carriage return and space; never a byte of 0x80 or more.
inline bool IsReportWhitespace(BYTE c) {
    return c == 0x20 || (c >= 0x09 && c <= 0x0D);
}

inline bool IsReportPrintable(BYTE c) {
    return c >= 0x20 && c <= 0x7E;
}

// The area each extracted string is built in.
constexpr size_t AtaTextAreaSize = 512;

// Cell k := the little-endian word at data + 2k; reads exactly 512 bytes.
void ReadIdentifyBlock(const BYTE* data, IdentifyBlock& block);

// Appends the drive's descriptor block, position line and geometry block to the report.
void FormatIdentifyBlock(int driveNumber, const IdentifyBlock& block);
