#include "tray/TrayPresenter.h"
#include "monitor/CounterCatalogue.h"
#include "tests/unit/Machine.h"

#include <cstring>

using ::testing::ElementsAre;

namespace {

class TrayPresenterTest : public MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        InitTrayRecord(FakeMainWindow());
    }
};

std::string Tip(const NOTIFYICONDATAA& record) { return std::string(record.szTip, strnlen(record.szTip, 64)); }

TEST_F(TrayPresenterTest, EveryCallSendsTheFixedFieldsOfTheFirstVersionRecord) {
    HICON active = LoadDefaultIcon(113);
    HICON inactive = LoadDefaultIcon(114);
    TooltipText = "LogicalDisk(_Total)";
    TrayNotify(NIM_ADD, inactive);
    TrayNotify(NIM_MODIFY, active);
    TrayNotify(NIM_DELETE, nullptr);

    auto log = substitute::NotifyLog();
    ASSERT_EQ(log.size(), 3u);
    const DWORD messages[] = {NIM_ADD, NIM_MODIFY, NIM_DELETE};
    const HICON icons[] = {inactive, active, nullptr};
    for (size_t i = 0; i < log.size(); ++i) {
        SCOPED_TRACE(i);
        const NOTIFYICONDATAA& record = log[i].record;
        EXPECT_EQ(log[i].message, messages[i]);
        EXPECT_EQ(record.cbSize, 88u);
        EXPECT_EQ(record.hWnd, FakeMainWindow());
        EXPECT_EQ(record.uID, 0u);
        EXPECT_EQ(record.uFlags, 7u);
        EXPECT_EQ(record.uCallbackMessage, 0x0409u);
        EXPECT_EQ(record.hIcon, icons[i]);
        EXPECT_EQ(Tip(record), "LogicalDisk(_Total)");
        EXPECT_TRUE(log[i].result);
    }
    EXPECT_FALSE(substitute::TrayIcon());
}

TEST_F(TrayPresenterTest, BeforeAnyNotifyTheRecordHasNoIconAndNoTip) {
    EXPECT_EQ(TrayRecord.hIcon, nullptr);
    EXPECT_EQ(std::string(64, '\0'), std::string(TrayRecord.szTip, 64));
}

TEST_F(TrayPresenterTest, TheShellKeepsItsIconStateWhateverTheCallOrder) {
    HICON icon = LoadDefaultIcon(114);
    TrayNotify(NIM_MODIFY, icon);  // never added: a modify does not add it
    EXPECT_FALSE(substitute::TrayIcon());
    TrayNotify(NIM_DELETE, nullptr);  // never added: nothing to delete
    EXPECT_FALSE(substitute::TrayIcon());

    substitute::FailNext("Shell_NotifyIconA", 0);
    TrayNotify(NIM_ADD, icon);  // refused: stays absent, and nothing retries it
    TrayNotify(NIM_MODIFY, icon);
    EXPECT_FALSE(substitute::TrayIcon());
    EXPECT_EQ(TrayRecord.hIcon, icon);  // the record is updated all the same

    TrayNotify(NIM_ADD, icon);
    ASSERT_TRUE(substitute::TrayIcon());
    EXPECT_EQ(substitute::TrayIcon()->icon, icon);
    EXPECT_EQ(substitute::NotifyLog().size(), 5u);
}

TEST_F(TrayPresenterTest, ANullIconFromAFailedLoadIsPassedOn) {
    substitute::FailNext("LoadImageA", ERROR_FILE_NOT_FOUND);
    HICON icon = LoadDefaultIcon(114);
    EXPECT_EQ(icon, nullptr);
    TrayNotify(NIM_ADD, icon);
    EXPECT_EQ(substitute::NotifyLog().back().record.hIcon, nullptr);
}

TEST_F(TrayPresenterTest, DefaultIconsAreTheModulesSharedIcons) {
    EXPECT_EQ(LoadDefaultIcon(113), substitute::SharedIcon(113));
    EXPECT_EQ(LoadDefaultIcon(114), substitute::SharedIcon(114));
    EXPECT_NE(LoadDefaultIcon(113), LoadDefaultIcon(114));
    auto described = substitute::DescribeIcon(LoadDefaultIcon(113));
    ASSERT_TRUE(described);
    EXPECT_TRUE(described->shared);
}

// The tip the shell receives for a tooltip: at most 63 bytes, never half a character.
struct TipCase {
    const char* name;
    UINT codePage;
    std::string tooltip;
    std::string tip;
};
void PrintTo(const TipCase& row, std::ostream* out) { *out << row.name; }


class TipCutTest : public TrayPresenterTest, public ::testing::WithParamInterface<TipCase> {};

TEST_P(TipCutTest, CutsAtWholeCharactersWithinSixtyThreeBytes) {
    const TipCase& c = GetParam();
    substitute::UseCodePage(c.codePage);
    std::memset(TrayRecord.szTip, 0xCC, sizeof TrayRecord.szTip);
    TooltipText = c.tooltip;
    TrayNotify(NIM_ADD, LoadDefaultIcon(114));

    const NOTIFYICONDATAA record = substitute::NotifyLog().back().record;
    EXPECT_EQ(std::string(record.szTip, c.tip.size()), c.tip);
    // Everything after the text is zero, through byte 64.
    EXPECT_EQ(std::string(record.szTip + c.tip.size(), 64 - c.tip.size()), std::string(64 - c.tip.size(), '\0'));
    EXPECT_EQ(substitute::TrayIcon()->tip, c.tip);
}

const std::string Lead = "\x88\x9F";  // one double-byte character of page 932

std::string Repeat(const std::string& text, size_t times) {
    std::string out;
    while (times--) out += text;
    return out;
}

INSTANTIATE_TEST_SUITE_P(
    Table, TipCutTest,
    ::testing::Values(
        TipCase{"Empty", 1252, "", ""},
        TipCase{"ExactlySixtyThree", 1252, std::string(63, 'a'), std::string(63, 'a')},
        TipCase{"SixtyFourLosesTheLast", 1252, std::string(64, 'a'), std::string(63, 'a')},
        TipCase{"LongCutToSixtyThree", 1252, std::string(199, 'b'), std::string(199, 'b').substr(0, 63)},
        TipCase{"LeadBytesMeanNothingOnASingleBytePage", 1252, std::string(62, 'a') + Lead,
                std::string(62, 'a') + Lead[0]},
        TipCase{"DoubleByteCharacterAtSixtyThreeIsLeftOut", 932, std::string(62, 'a') + Lead,
                std::string(62, 'a')},
        TipCase{"DoubleByteCharacterEndingAtSixtyThreeStays", 932, std::string(61, 'a') + Lead + "b",
                std::string(61, 'a') + Lead},
        TipCase{"AllDoubleByte", 932, Repeat(Lead, 40), Repeat(Lead, 31)},
        TipCase{"LeadByteWithoutTrailAtTheEnd", 932, "ab\x88", "ab"},
        TipCase{"SingleByteKatakanaCountsOnce", 932, std::string(70, '\xB1'), std::string(63, '\xB1')}),
    [](const auto& info) { return std::string(info.param.name); });

// The tooltip that a catalogue entry gives.
struct TooltipCase {
    const char* name;
    UINT codePage;
    WideString displayName;
    std::string tooltip;
};
void PrintTo(const TooltipCase& row, std::ostream* out) { *out << row.name; }


class TooltipFromEntryTest : public TrayPresenterTest, public ::testing::WithParamInterface<TooltipCase> {};

TEST_P(TooltipFromEntryTest, ConvertsTheDisplayNameToTheAnsiPage) {
    const TooltipCase& c = GetParam();
    substitute::UseCodePage(c.codePage);
    CounterCatalogue.push_back({0, u"LogicalDisk(C:)", u"\\LogicalDisk(C:)\\x"});
    CounterCatalogue.push_back({1, c.displayName, u"\\x"});
    SetTooltipFromEntry(1);
    EXPECT_EQ(TooltipText, c.tooltip);
}

INSTANTIATE_TEST_SUITE_P(
    Table, TooltipFromEntryTest,
    ::testing::Values(
        TooltipCase{"Plain", 1252, u"PhysicalDisk(0 C:)", "PhysicalDisk(0 C:)"},
        TooltipCase{"EmptyName", 1252, u"", ""},
        TooltipCase{"WesternCharacters", 1252, u"LogicalDisk(\u00C9t\u00E9 \u20AC)", "LogicalDisk(\xC9t\xE9 \x80)"},
        TooltipCase{"UnrepresentableBecomesDefaultCharacter", 1252, u"Disk(\u263A)", "Disk(?)"},
        TooltipCase{"DoubleByteName", 932, u"Disk(\u4E00\u4E01)", "Disk(\x81\x40\x81\x41)"},
        TooltipCase{"OneNinetyNineBytesFit", 1252, WideString(199, u'n'), std::string(199, 'n')},
        TooltipCase{"TooLongKeepsTheWholeCharactersThatFit", 1252, WideString(300, u'n'), std::string(199, 'n')},
        TooltipCase{"TooLongDoubleByteKeepsWholeCharacters", 932, WideString(150, u'\u4E00'),
                    Repeat("\x81\x40", 99)},
        TooltipCase{"DoubleByteCharacterPastTheBufferIsLeftOut", 932, WideString(198, u'n') + u"\u4E00",
                    std::string(198, 'n')}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TrayPresenterTest, IndexesOutsideTheCatalogueLeaveTheTooltipAlone) {
    TooltipText = "kept";
    for (int index : {-1, 0, 1, 1000}) SetTooltipFromEntry(index);
    EXPECT_EQ(TooltipText, "kept");

    CounterCatalogue.push_back({0, u"LogicalDisk(C:)", u"\\LogicalDisk(C:)\\x"});
    for (int index : {-1, 1, 0x7FFFFFFF}) SetTooltipFromEntry(index);
    EXPECT_EQ(TooltipText, "kept");
    SetTooltipFromEntry(0);
    EXPECT_EQ(TooltipText, "LogicalDisk(C:)");
}

TEST_F(TrayPresenterTest, AFailedConversionGivesAnEmptyTooltipNotGarbage) {
    CounterCatalogue.push_back({0, u"LogicalDisk(C:)", u"\\x"});
    TooltipText = "old";
    substitute::FailNext("WideCharToMultiByte", ERROR_NO_UNICODE_TRANSLATION);
    substitute::FailNext("WideCharToMultiByte", ERROR_NO_UNICODE_TRANSLATION);
    substitute::FailNext("WideCharToMultiByte", ERROR_NO_UNICODE_TRANSLATION);
    substitute::FailNext("WideCharToMultiByte", ERROR_NO_UNICODE_TRANSLATION);
    substitute::FailNext("WideCharToMultiByte", ERROR_NO_UNICODE_TRANSLATION);
    SetTooltipFromEntry(0);
    // Whatever part of the name could still be converted, the tooltip holds only its bytes.
    EXPECT_EQ(TooltipText, std::string("LogicalDisk(C:)").substr(0, TooltipText.size()));
}

}  // namespace
