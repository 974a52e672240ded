#include "tests/unit/Machine.h"

#include "monitor/ActivitySampler.h"
#include "settings/SettingsStore.h"

#include <chrono>
#include <thread>

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

std::string AsciiText(const WideString& text) {
    std::string out;
    for (WCHAR unit : text) out.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
    return out;
}

void Store(const char* name, DWORD type, std::vector<BYTE> data) {
    substitute::SetRegistryValue(SettingsKeyPath, name, type, std::move(data));
}

std::optional<substitute::RegistryValue> Stored(const char* name) {
    return substitute::GetRegistryValue(SettingsKeyPath, name);
}

void StoreIcon(int role, const std::string& file, DWORD index) {
    Store(role ? ActiveIconFileValue : InactiveIconFileValue, REG_SZ, substitute::TextBytes(file));
    Store(role ? ActiveIconIndexValue : InactiveIconIndexValue, REG_DWORD, substitute::DwordBytes(index));
}

std::string Describe(HICON icon) {
    auto info = substitute::DescribeIcon(icon);
    if (!info) return icon == nullptr ? "null" : "not an icon";
    if (info->shared) return "shared " + std::to_string(info->resourceId);
    return info->file + "#" + std::to_string(info->index);
}

bool Eventually(const std::function<bool()>& done) {
    for (int i = 0; i < 2000 && !done(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return done();
}

std::vector<std::string> MachineTest::TakeProblems() {
    auto problems = substitute::Problems();
    substitute::Reset();
    return problems;
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
