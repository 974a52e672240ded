// What Settings opens with and what its OK applies, without the dialog.

#include "tests/unit/Machine.h"

namespace {

class SettingsChoicesTest : public MachineTest {};

// What the substitute saw go wrong, once the sampler is stopped and its thread has ended: the
// handle of a sampler that runs is open, not leaked.
std::vector<std::string> ProblemsOnceStopped() {
    StopSampler();
    EXPECT_TRUE(substitute::JoinThreads()) << "a sampler thread never ended";
    return substitute::Problems();
}

// What the program runs with: the period, the watched path, each role's icon (file#index).
std::string Running() {
    std::string out =
        std::to_string(BlinkDuration) + " " + std::string(SelectedCounterPath.begin(), SelectedCounterPath.end());
    for (TrayIconRole role : {Active, Inactive})
        out += " " + substitute::DescribeIcon(RoleIcon(role).Icon) + " (" + RoleIcon(role).File + "#" +
               std::to_string(RoleIcon(role).Index) + ")";
    return out;
}

// OK without a change keeps watching the disk being watched, even one the set-up found by part of
// its stored name, and keeps that name as stored; it keeps the icons and stores the period in
// range, after the sampler stopped, waiting twice the period in force before.
TEST_F(SettingsChoicesTest, OkWithoutAChangeKeepsWhatRuns) {
    Store(SelectedDiskCounterValue, REG_BINARY, substitute::WideTextBytes(u"(0 C"));
    StoreIcon(Active, DiskIcons, 2);
    Store(BlinkDurationValue, REG_DWORD, substitute::DwordBytes(3000));
    RunMonitorSetup();
    const std::string running = Running();
    SettingsChoices choices = CurrentSettingsChoices();
    EXPECT_EQ(choices.Disk, u"PhysicalDisk(0 C:)");
    ApplySettingsChoices(choices);
    EXPECT_EQ(Running(), "2000" + running.substr(4));
    EXPECT_EQ(Stored(SelectedDiskCounterValue)->data, substitute::WideTextBytes(u"(0 C"));
    EXPECT_EQ(substitute::WaitLog().back().timeout, 6000u);
    // Every rebuild selects again, so only a test can leave a watched path that no entry holds.
    StopSampler();
    SelectedCounterPath = u"\\LogicalDisk(E:)\\Avg. Disk Bytes/Transfer";
    EXPECT_FALSE(CurrentSettingsChoices().Disk);
    substitute::SeedDiskObjects({}, {});
    RunMonitorSetup();
    EXPECT_FALSE(CurrentSettingsChoices().Disk);
}

// When the key can be neither opened nor created, nothing is applied either, so that memory and
// store agree; only the auto-start entry follows the box, and the sampler starts again.
TEST_F(SettingsChoicesTest, OkWhenTheKeyCanNeitherBeOpenedNorCreatedChangesOnlyAutoStart) {
    substitute::CreateRegistryKey(RunKeyPath);
    RunMonitorSetup();
    const std::string running = Running();
    substitute::FailNext("RegOpenKeyExA", ERROR_ACCESS_DENIED);
    substitute::FailNext("RegCreateKeyExA", ERROR_ACCESS_DENIED);
    ApplySettingsChoices({true, 500, u"PhysicalDisk(0 C:)", {{DiskIcons, 1}, {DiskIcons, 2}}});
    EXPECT_EQ(Running(), running);
    EXPECT_FALSE(substitute::RegistryKeyExists(SettingsKeyPath));
    EXPECT_EQ(substitute::NotifyLog().size(), 1u);  // the set-up's add only
    EXPECT_TRUE(CurrentSettingsChoices().AutoStart);
    EXPECT_EQ(substitute::ThreadsStarted(), 2u);
}

// The catalogue may be rebuilt by a shell restart while Settings is open: OK finds the chosen disk
// by its name in the catalogue of that moment, and changes no selection for a name it lost.
TEST_F(SettingsChoicesTest, OkAppliesTheDiskByItsNameInTheCatalogueOfTheMoment) {
    RunMonitorSetup();
    SettingsChoices choices = CurrentSettingsChoices();
    for (auto disk : {std::optional<WideString>(u"LogicalDisk(C:)"), {u"PhysicalDisk(0 C:)"}, {}}) {
        SCOPED_TRACE(disk ? std::string(disk->begin(), disk->end()) : "no disk");
        choices.Disk = disk;
        substitute::SeedDiskObjects({u"D:", u"C:", u"_Total"}, {});
        RunMonitorSetup();
        ApplySettingsChoices(choices);
        EXPECT_EQ(SelectedCounterPath, u"\\LogicalDisk(C:)\\Avg. Disk Bytes/Transfer");
        EXPECT_EQ(Stored(SelectedDiskCounterValue)->data, substitute::WideTextBytes(u"LogicalDisk(C:)"));
        EXPECT_THAT(ProblemsOnceStopped(), ::testing::IsEmpty());
    }
}

// Disks come and go: each rebuild lists the disks of its moment and restarts the sampler. While
// the stored disk is away the default is watched and OK without a pick keeps the stored name;
// the disk is watched, and named in the tooltip, once it is back.
TEST_F(SettingsChoicesTest, RebuildsListTheDisksOfTheMomentAndTheStoredDiskOutlivesItsAbsence) {
    Store(SelectedDiskCounterValue, REG_BINARY, substitute::WideTextBytes(u"LogicalDisk(E:)"));
    RunMonitorSetup();
    ApplySettingsChoices(CurrentSettingsChoices());
    EXPECT_EQ(Stored(SelectedDiskCounterValue)->data, substitute::WideTextBytes(u"LogicalDisk(E:)"));
    // The disks of the moment; the tooltip.
    const std::pair<std::vector<WideString>, std::string> moments[] = {{{u"C:", u"E:", u"_Total"}, "LogicalDisk(E:)"},
                                                                       {{u"_Total"}, "LogicalDisk(_Total)"}};
    for (auto& [logical, tip] : moments) {
        SCOPED_TRACE(tip);
        substitute::SeedDiskObjects(logical, {});
        RebuildDiskCatalogue();
        EXPECT_EQ(CounterCatalogue.size(), logical.size());
        EXPECT_EQ(substitute::TrayIcon()->tip, tip);
        EXPECT_TRUE(SamplerRecorded());
        EXPECT_THAT(ProblemsOnceStopped(), ::testing::IsEmpty());
    }
    EXPECT_EQ(Stored(SelectedDiskCounterValue)->data, substitute::WideTextBytes(u"LogicalDisk(E:)"));
}

// OKs with new file icons, with the built-in ones, and shell restarts: every replaced file icon
// is destroyed once, after the shell shows its successor, and no shared icon ever is (the
// substitute reports either misuse).
TEST_F(SettingsChoicesTest, ReplacedFileIconsAreDestroyedOnceTheShellShowsTheirSuccessors) {
    RunMonitorSetup();
    for (int round = 0; round < 100; ++round) {
        SettingsChoices choices = CurrentSettingsChoices();
        choices.Icons[round % 2] = round % 4 == 3 ? IconChoice{} : IconChoice{DiskIcons, round % 3};
        if (round % 5 == 0) {
            substitute::RestartShell();
            RunMonitorSetup();
        }
        ApplySettingsChoices(choices);
        ASSERT_LE(substitute::LiveFileIcons(), 2u) << "after round " << round;
        ASSERT_THAT(ProblemsOnceStopped(), ::testing::IsEmpty()) << "after round " << round;
    }
}

// On a localized system the object names are translated, so the watched disk's name, its stored
// bytes and its tooltip carry the code page's text (here the substitute's own double-byte
// ideographs) through a choice, a restart and the reselection.
TEST_F(SettingsChoicesTest, TranslatedDiskNamesSurviveAChoiceAndARestart) {
    substitute::UseCodePage(932);
    const WideString first = u"\u4E0A\u4F4D", second = u"\u4E0B\u4F4D", counter = u"\u5E73 \u00DC";
    const WideString chosen = second + u"(0 C:)";
    for (auto [index, name] : {std::pair{236, first}, {234, second}, {224, counter}})
        substitute::SetPerfName(index, name);
    substitute::AddPerfObject(first, {u"C:", u"_Total"}, {counter});
    substitute::AddPerfObject(second, {u"0 C:"}, {counter});
    RunMonitorSetup();
    SettingsChoices choices = CurrentSettingsChoices();
    EXPECT_EQ(choices.Disk, first + u"(_Total)");
    choices.Disk = chosen;
    ApplySettingsChoices(choices);
    EXPECT_EQ(Stored(SelectedDiskCounterValue)->data, substitute::WideTextBytes(chosen));
    substitute::RestartShell();
    RunMonitorSetup();
    EXPECT_EQ(SelectedCounterPath, u"\\" + chosen + u"\\" + counter);
    EXPECT_EQ(CurrentSettingsChoices().Disk, chosen);
    EXPECT_EQ(substitute::TrayIcon()->tip, "\x81\x4B\x82\xD2(0 C:)");
}

// The edit box's text is read as a number (as the C library's atol would, but never wrapped
// round) and held within 100..2000.
TEST(BlinkDurationFromTextTest, IsReadAsANumberAndHeldWithinTheRange) {
    const std::pair<const char*, DWORD> table[] = {
        {"150ms", 150}, {" 300", 300},        {"\t+1999x", 1999},   {"\r500", 500}, {"", 100},
        {"fast", 100},  {"50", 100},          {"2500", 2000},       {"-5", 2000},   {"-0", 100},
        {"- 5", 100},   {"4294967396", 2000}, {"-4294967295", 2000}};
    for (auto [text, period] : table) EXPECT_EQ(BlinkDurationFromText(text), period) << '"' << text << '"';
}

}  // namespace
