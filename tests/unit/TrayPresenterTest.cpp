#include "tests/unit/Machine.h"

#include <cstring>
#include <tuple>

namespace {

class TrayPresenterTest : public MachineTest {};

// Every call sends the first-version record; the tip the shell receives is at most 63 bytes of
// the tooltip, never half a character, zeros after it.
TEST_F(TrayPresenterTest, EveryCallSendsTheFirstVersionRecordWithTheTipCutAtAWholeCharacter) {
    const std::string a60(60, 'a'), lead = "\x88\x9F";  // one double-byte character of page 932
    const std::tuple<UINT, std::string, size_t> cases[] = {
        {1252, std::string(64, 'a'), 63},
        {1252, a60 + "aa" + lead, 63},  // no lead bytes on this page
        {932, a60 + "aa" + lead, 62},
        {932, a60 + "a" + lead + "b", 63},
        {932, std::string(70, '\xB1'), 63},
        {932, "ab\x88", 2},  // a lead byte without its trail byte
        {CP_UTF8, a60 + "a\xD0\x96z", 63},
        {CP_UTF8, a60 + "aa\xD0\x96", 62},
        {CP_UTF8, a60 + "a\xE2\x82\xAC", 61},
        {CP_UTF8, a60 + "\xE2\x82\xAC", 63},
        {CP_UTF8, a60 + "\xF0\x9F\x98\x80", 60},
        {CP_UTF8, a60.substr(1) + "\xF0\x9F\x98\x80)", 63},
    };
    for (auto& [codePage, tooltip, kept] : cases) {
        substitute::UseCodePage(codePage);
        std::memset(TrayRecord.szTip, 0xCC, sizeof TrayRecord.szTip);
        TooltipText = tooltip;
        TrayNotify(NIM_MODIFY, substitute::SharedIcon(114));
        const NOTIFYICONDATAA record = substitute::NotifyLog().back().record;
        EXPECT_EQ(std::string(record.szTip, 64), tooltip.substr(0, kept) + std::string(64 - kept, '\0'))
            << codePage << " " << tooltip.size();
        EXPECT_EQ(
            std::tie(record.cbSize, record.hWnd, record.uID, record.uFlags, record.uCallbackMessage, record.hIcon),
            std::make_tuple(88u, FakeMainWindow(), 0u, 7u, 0x0409u, substitute::SharedIcon(114)));
    }
}

// An entry's tooltip is its display name in the ANSI code page, cut at a whole character when it
// does not fit the 200-byte buffer. (An index outside the catalogue: CounterCatalogueTest.)
TEST_F(TrayPresenterTest, AnEntrysTooltipIsItsNameInTheAnsiCodePage) {
    std::string ideographs;
    for (int i = 0; i < 99; ++i) ideographs += "\x81\x40";
    const std::tuple<UINT, WideString, std::string> cases[] = {
        {1252, u"Disk(\u00C9t\u00E9 \u263A)", "Disk(\xC9t\xE9 ?)"},
        {1252, WideString(199, u'n'), std::string(199, 'n')},
        {1252, WideString(300, u'n'), std::string(199, 'n')},
        {932, WideString(150, u'\u4E00'), ideographs},
        {932, WideString(198, u'n') + u"\u4E00", std::string(198, 'n')},
        {CP_UTF8, WideString(196, u'n') + u"\U0001F600", std::string(196, 'n')},  // no half of the pair
    };
    for (auto& [codePage, name, tooltip] : cases) {
        substitute::UseCodePage(codePage);
        CounterCatalogue = {{0, name, u"\\x"}};
        SelectCounterEntry(0);
        EXPECT_EQ(TooltipText, tooltip) << codePage << " " << tooltip.size();
    }
}

// A shell that refuses every call, from the start to the exit: the add is retried at every tick
// while the sampler's changes and Settings' modify are refused too, the icons Settings and a
// restart replace are destroyed at once (none was ever on show) and only once, and the delete at
// exit ends the retries.
TEST_F(TrayPresenterTest, AShellThatRefusesEveryCallFromStartToExitLeavesNothingBehind) {
    substitute::SetShellRunning(false);
    StoreIcon(Active, DiskIcons, 1);
    StoreIcon(Inactive, DiskIcons, 2);
    substitute::ScriptCounter(u"\\LogicalDisk(_Total)\\Avg. Disk Bytes/Transfer",
                              {substitute::Sample{0}, substitute::Sample{150}});
    RunMonitorSetup();
    ASSERT_TRUE(substitute::WaitForCollects(5));
    ApplySettingsChoices({false, 100, std::nullopt, {{DiskIcons, 2}, {DiskIcons, 0}}});
    for (int tick = 0; tick < 3; ++tick) RetryActivityIconAdd();
    EXPECT_EQ(substitute::TimerPeriod(MainWindow, TrayAddRetryTimer), 1000u) << "the retries stopped";
    RunMonitorSetup();                // the shell's restart broadcast
    TrayNotify(NIM_DELETE, nullptr);  // the main window's end
    StopSampler();
    EXPECT_EQ(substitute::TimerPeriod(MainWindow, TrayAddRetryTimer), std::nullopt) << "a retry after the exit";
    EXPECT_EQ(substitute::LiveFileIcons(), 2u) << "only the running pair's two icons live";
    for (const substitute::NotifyCall& call : substitute::NotifyLog()) EXPECT_FALSE(call.result) << call.message;
}

}  // namespace
