// The native side: every contract starts on a fresh substitute machine and fails on any misuse
// or leak the substitute saw.
#include "platform/substitute/Substitute.h"
#include "tests/contract/Contract.h"

bool UnderWine() { return false; }

namespace {

class FreshMachine : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override { substitute::Reset(); }
    void OnTestEnd(const ::testing::TestInfo&) override {
        for (const std::string& problem : substitute::Problems()) ADD_FAILURE() << problem;
    }
};

const bool Installed = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new FreshMachine);
    return true;
}();

}  // namespace
