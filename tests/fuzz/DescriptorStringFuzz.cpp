// Any descriptor answer and any string offset: decoding reads nothing outside the 512 answer
// bytes, writes a terminated text inside its area, and gives only printable characters, trimmed
// unless they are all whitespace.
#include "driveinfo/DriveProbes.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "broken: %s\n", what);
        std::abort();
    }
}

bool IsSpace(char c) { return c == ' ' || (c >= 0x09 && c <= 0x0D); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    FuzzedDataProvider data(bytes, size);
    // Offsets mostly inside the answer, sometimes anything at all.
    DWORD offset = data.ConsumeBool() ? data.ConsumeIntegralInRange<DWORD>(0, 520) : data.ConsumeIntegral<DWORD>();
    bool swap = data.ConsumeBool();
    // Exactly the answer's size on the heap, so that a read past it is caught.
    auto answer = std::make_unique<BYTE[]>(DescriptorAnswerSize);
    std::vector<uint8_t> content = data.ConsumeRemainingBytes<uint8_t>();
    if (!content.empty()) std::memcpy(answer.get(), content.data(), std::min(content.size(), DescriptorAnswerSize));

    char out[DescriptorTextAreaSize];
    std::memset(out, 'x', sizeof out);
    Check(DecodeDescriptorString(answer.get(), offset, swap, out) == out, "returns its area");

    size_t length = strnlen(out, sizeof out);
    Check(length < DescriptorTextAreaSize, "the text is terminated inside its area");
    bool allSpace = true;
    for (size_t i = 0; i < length; ++i) {
        Check(out[i] >= 0x20 && out[i] <= 0x7E, "only printable characters");
        allSpace = allSpace && IsSpace(out[i]);
    }
    if (length > 0 && !allSpace)
        Check(!IsSpace(out[0]) && !IsSpace(out[length - 1]), "trimmed at both ends");
    int32_t start = static_cast<int32_t>(offset);
    if (start <= 0 || start >= static_cast<int32_t>(DescriptorAnswerSize)) Check(length == 0, "outside: empty");
    return 0;
}
