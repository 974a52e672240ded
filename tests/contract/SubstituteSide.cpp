// The native side: every contract starts on a fresh substitute machine and fails on any misuse
// or leak the substitute saw.
#include "platform/substitute/Substitute.h"
#include "tests/contract/Contract.h"

bool UnderWine() {
    return false;
}

HWND NotifiedWindow() {
    return reinterpret_cast<HWND>(uintptr_t{0x10010});
}

namespace {

// What a real machine has from the start: two disks under both disk objects.
class FreshMachine : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override {
        substitute::Reset();
        substitute::SeedDiskObjects({u"C:", u"D:", u"_Total"}, {u"0 C:", u"1 D:", u"_Total"});
    }
    void OnTestEnd(const ::testing::TestInfo&) override {
        for (const std::string& problem : substitute::Problems()) ADD_FAILURE() << problem;
    }
};

const bool Installed = (::testing::UnitTest::GetInstance()->listeners().Append(new FreshMachine), true);

}  // namespace
