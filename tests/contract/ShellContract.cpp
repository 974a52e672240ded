// The notification-area icon, the icons taken from files for it, and the shell's icon picker.
#include "tests/contract/Contract.h"

static const char Library[] = "C:\\windows\\system32\\shell32.dll";  // holds many icons

// The small icon at `index`: how many were extracted, and the icon (destroyed here) or null.
static std::pair<UINT, bool> ExtractSmall(const char* file, int index) {
    HICON small = nullptr;
    UINT extracted = ExtractIconExA(file, index, nullptr, &small, 1);
    return {extracted, small != nullptr && DestroyIcon(small)};
}

TEST(ShellContract, AnIconIsAddedOnceModifiedWhileShownAndDeletedOnce) {
    NOTIFYICONDATAA record = {};
    record.cbSize = 88;  // the first-version record
    record.hWnd = NotifiedWindow();
    record.uFlags = NIF_ICON | NIF_TIP;
    ASSERT_EQ(ExtractIconExA(Library, 0, nullptr, &record.hIcon, 1), 1u);
    for (auto [message, taken] : {std::pair{NIM_ADD, true},
                                  {NIM_ADD, false},
                                  {NIM_MODIFY, true},
                                  {NIM_DELETE, true},
                                  {NIM_DELETE, false},
                                  {NIM_MODIFY, false}})
        EXPECT_EQ(Shell_NotifyIconA(message, &record), taken) << message;
    EXPECT_TRUE(DestroyIcon(record.hIcon));
}

// A negative index -n is resource ID n. A file of no icons, or an index past the last, yields
// none; a missing file answers UINT_MAX.
TEST(ShellContract, OneSmallIconIsExtractedOrNoneAndAMissingFileAnswersAllBits) {
    const std::pair<UINT, bool> one{1, true}, none{0, false};
    EXPECT_EQ(ExtractSmall(Library, 3), one);
    EXPECT_EQ(ExtractSmall(Library, -3), one);
    EXPECT_EQ(ExtractSmall(Library, 100000), none);
    EXPECT_EQ(ExtractSmall("C:\\windows\\win.ini", 0), none);
    EXPECT_EQ(ExtractSmall("C:\\no such file.ico", 0), std::pair(0xFFFFFFFFu, false));
}

// Variables are expanded whatever their case; the answer counts the terminating zero, also when
// the buffer is too small for the text.
TEST(ShellContract, EnvironmentVariablesInAPathAreExpanded) {
    char path[MAX_PATH] = "unchanged";
    EXPECT_EQ(ExpandEnvironmentStringsA("%systemroot%\\a.ico", path, 6), 17u);
    EXPECT_EQ(ExpandEnvironmentStringsA("%SystemRoot%\\a.ico", path, sizeof path), 17u);
    EXPECT_STREQ(path, "C:\\windows\\a.ico");
}

TEST(ShellContract, TheIconPickerIsOrdinal62OfTheShellLibrary) {
    HMODULE shell = LoadLibraryA("shell32.dll");
    EXPECT_NE(GetProcAddress(shell, MAKEINTRESOURCEA(62)), nullptr);
    EXPECT_TRUE(FreeLibrary(shell));
}
