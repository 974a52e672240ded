// The notification-area icon, the icons taken from files for it, and the shell's icon picker.
#include "tests/contract/Contract.h"

static const char Library[] = "C:\\windows\\system32\\shell32.dll";  // holds many icons

static uintptr_t Extract(const char* file, UINT index) {
    return reinterpret_cast<uintptr_t>(ExtractIconA(GetModuleHandleA(nullptr), file, index));
}

TEST(ShellContract, AnIconIsAddedOnceModifiedWhileShownAndDeletedOnce) {
    NOTIFYICONDATAA record = {};
    record.cbSize = 88;  // the first-version record
    record.hWnd = NotifiedWindow();
    record.uFlags = NIF_ICON | NIF_TIP;
    record.hIcon = reinterpret_cast<HICON>(Extract(Library, 0));
    for (auto [message, taken] : {std::pair{NIM_ADD, true}, {NIM_ADD, false}, {NIM_MODIFY, true}, {NIM_DELETE, true},
                                  {NIM_DELETE, false}, {NIM_MODIFY, false}})
        EXPECT_EQ(Shell_NotifyIconA(message, &record), taken) << message;
    EXPECT_TRUE(DestroyIcon(record.hIcon));
}

// -1 counts the icons instead of extracting one. Windows documents 1 for a file that is no
// executable, library or icon file; Wine 8 answers null, and is held to its own answer here.
TEST(ShellContract, ExtractingCountsWithMinusOneAndAFileOfNoIconsAnswersOne) {
    EXPECT_GE(Extract(Library, static_cast<UINT>(-1)), 2u);
    EXPECT_LT(Extract(Library, static_cast<UINT>(-1)), 10000u);
    EXPECT_EQ(Extract("C:\\windows\\win.ini", 0), UnderWine() ? 0u : 1u);
    EXPECT_EQ(Extract(Library, 100000) + Extract("C:\\no such file.ico", 0), 0u);
}

TEST(ShellContract, TheIconPickerIsOrdinal62OfTheShellLibrary) {
    HMODULE shell = LoadLibraryA("shell32.dll");
    EXPECT_NE(GetProcAddress(shell, MAKEINTRESOURCEA(62)), nullptr);
    EXPECT_TRUE(FreeLibrary(shell));
}
