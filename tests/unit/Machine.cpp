#include "tests/unit/Machine.h"

#include "monitor/ActivitySampler.h"

WideString Wide(const std::string& text) {
    WideString out;
    for (size_t i = 0; i < text.size();) {
        unsigned char lead = static_cast<unsigned char>(text[i]);
        char32_t point;
        size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        point = length == 1 ? lead : lead & (0x3F >> (length - 1));
        for (size_t k = 1; k < length; ++k) point = (point << 6) | (text[i + k] & 0x3F);
        if (point >= 0x10000) {
            point -= 0x10000;
            out.push_back(static_cast<WCHAR>(0xD800 + (point >> 10)));
            out.push_back(static_cast<WCHAR>(0xDC00 + (point & 0x3FF)));
        } else {
            out.push_back(static_cast<WCHAR>(point));
        }
        i += length;
    }
    return out;
}

void MachineTest::SetUp() {
    substitute::Reset();
    ResetProgramState();
}

void MachineTest::TearDown() {
    StopSampler();
    ASSERT_TRUE(substitute::JoinThreads()) << "a sampler thread never ended";
    EXPECT_THAT(substitute::Problems(), ::testing::IsEmpty());
}
