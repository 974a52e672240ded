#include "monitor/CounterCatalogue.h"
#include "tray/TrayPresenter.h"
#include "tests/unit/Machine.h"

#include <cstring>
#include <tuple>

namespace {

class TrayPresenterTest : public MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        InitTrayRecord(FakeMainWindow());
    }
};

const std::string Lead = "\x88\x9F";  // one double-byte character of page 932

std::string Repeat(const std::string& text, size_t times) {
    std::string out;
    while (times--) out += text;
    return out;
}

TEST_F(TrayPresenterTest, EveryCallSendsTheFirstVersionRecordWithTheTooltip) {
    TooltipText = "LogicalDisk(_Total)";
    TrayNotify(NIM_ADD, substitute::SharedIcon(114));
    const NOTIFYICONDATAA record = substitute::NotifyLog().back().record;
    EXPECT_EQ(std::tie(record.cbSize, record.hWnd, record.uID, record.uFlags, record.uCallbackMessage, record.hIcon),
              std::make_tuple(88u, FakeMainWindow(), 0u, 7u, 0x0409u, substitute::SharedIcon(114)));
    EXPECT_STREQ(record.szTip, "LogicalDisk(_Total)");
}

// The tip the shell receives: at most 63 bytes, never half a character, zeros after it.
TEST_F(TrayPresenterTest, TheTipIsCutAtWholeCharactersWithinSixtyThreeBytes) {
    const struct {
        UINT codePage;
        std::string tooltip;
        std::string tip;
    } cases[] = {
        {1252, std::string(63, 'a'), std::string(63, 'a')},
        {1252, std::string(64, 'a'), std::string(63, 'a')},
        {1252, std::string(62, 'a') + Lead, std::string(62, 'a') + Lead[0]},  // no lead bytes on this page
        {932, std::string(62, 'a') + Lead, std::string(62, 'a')},
        {932, std::string(61, 'a') + Lead + "b", std::string(61, 'a') + Lead},
        {932, "ab\x88", "ab"},  // a lead byte without its trail byte
        {932, std::string(70, '\xB1'), std::string(63, '\xB1')},
    };
    for (auto& c : cases) {
        substitute::UseCodePage(c.codePage);
        std::memset(TrayRecord.szTip, 0xCC, sizeof TrayRecord.szTip);
        TooltipText = c.tooltip;
        TrayNotify(NIM_MODIFY, nullptr);
        const NOTIFYICONDATAA record = substitute::NotifyLog().back().record;
        EXPECT_EQ(std::string(record.szTip, 64), c.tip + std::string(64 - c.tip.size(), '\0')) << c.tooltip;
    }
}

// The tooltip a catalogue entry gives: its display name in the ANSI code page, cut at a whole
// character when it does not fit the 200-byte buffer.
TEST_F(TrayPresenterTest, AnEntrysTooltipIsItsNameInTheAnsiCodePage) {
    const struct {
        UINT codePage;
        WideString displayName;
        std::string tooltip;
    } cases[] = {
        {1252, u"Disk(\u00C9t\u00E9 \u263A)", "Disk(\xC9t\xE9 ?)"},
        {932, u"Disk(\u4E00)", "Disk(\x81\x40)"},
        {1252, WideString(199, u'n'), std::string(199, 'n')},
        {1252, WideString(300, u'n'), std::string(199, 'n')},
        {932, WideString(150, u'\u4E00'), Repeat("\x81\x40", 99)},
        {932, WideString(198, u'n') + u"\u4E00", std::string(198, 'n')},
    };
    for (auto& c : cases) {
        substitute::UseCodePage(c.codePage);
        CounterCatalogue = {{0, c.displayName, u"\\x"}};
        SetTooltipFromEntry(0);
        EXPECT_EQ(TooltipText, c.tooltip);
    }
}

TEST_F(TrayPresenterTest, IndexesOutsideTheCatalogueChangeNothing) {
    TooltipText = "kept";
    SelectedCounterPath = u"kept";
    CounterCatalogue = {{0, u"LogicalDisk(C:)", u"\\LogicalDisk(C:)\\x"}};
    for (int index : {-1, 1, 0x7FFFFFFF}) {
        SetTooltipFromEntry(index);
        SelectCounterEntry(index);
    }
    EXPECT_EQ(TooltipText, "kept");
    EXPECT_EQ(SelectedCounterPath, u"kept");
    SelectCounterEntry(0);
    EXPECT_EQ(TooltipText, "LogicalDisk(C:)");
    EXPECT_EQ(SelectedCounterPath, u"\\LogicalDisk(C:)\\x");
}

TEST_F(TrayPresenterTest, AFailedConversionGivesNoBytesButTheNames) {
    CounterCatalogue = {{0, u"LogicalDisk(C:)", u"\\x"}};
    TooltipText = "old";
    for (int i = 0; i < 5; ++i) substitute::FailNext("WideCharToMultiByte", ERROR_NO_UNICODE_TRANSLATION);
    SetTooltipFromEntry(0);
    EXPECT_EQ(TooltipText, std::string("LogicalDisk(C:)").substr(0, TooltipText.size()));
}

}  // namespace
