// Prints the text of one control of an open top-level window, as any other program would read
// it, so that the end-to-end tests can compare what a dialog shows. Runs under Wine beside the
// program under test:
//
//   ReadWindowText.exe CAPTION CONTROL-ID           the control's text
//   ReadWindowText.exe CAPTION CONTROL-ID --items   a combo box's items, one a line
//   ReadWindowText.exe --foreground CAPTION         exits 0 if the foreground window has it
//   ReadWindowText.exe --shell-restarts N           sends Lumenhop N "TaskbarCreated" messages;
//                                                   prints its GDI object count before and after
//   ReadWindowText.exe --remove-icon                takes Lumenhop's tray icon away behind its back
//
// Exits 0 when the text was printed (possibly empty), 1 on bad arguments, 2 when not exactly one
// visible window has that caption, the window has no such control, or it did not answer.
#include <windows.h>
#include <winternl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct WindowSearch {
    const char* caption;
    std::vector<HWND> found;
};

// Collects the visible top-level windows whose caption is exactly the one searched for.
BOOL CALLBACK CollectWindow(HWND window, LPARAM lParam) {
    auto* search = reinterpret_cast<WindowSearch*>(lParam);
    char caption[256] = {};
    if (IsWindowVisible(window) && GetWindowTextA(window, caption, sizeof caption) > 0 &&
        std::strcmp(caption, search->caption) == 0) {
        search->found.push_back(window);
    }
    return TRUE;
}

// The control lives in another process, so both requests are bounded: a hung program must not
// hang the test.
bool ReadControlText(HWND control, std::string& text) {
    const UINT waitMs = 5000;
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(control, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, waitMs, &length)) return false;
    std::vector<char> buffer(length + 1, '\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutA(control, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                             SMTO_ABORTIFHUNG, waitMs, &copied)) {
        return false;
    }
    text.assign(buffer.data(), copied < buffer.size() ? copied : buffer.size() - 1);
    return true;
}

// Wine passes an item's text across processes only for combo boxes with the has-strings style,
// but always the selection's text: each item is selected in turn, and the selection put back.
bool ReadComboItems(HWND combo, std::string& text) {
    DWORD_PTR count = 0;
    DWORD_PTR selected = 0;
    if (!SendMessageTimeoutA(combo, CB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, 5000, &count) ||
        !SendMessageTimeoutA(combo, CB_GETCURSEL, 0, 0, SMTO_ABORTIFHUNG, 5000, &selected)) {
        return false;
    }
    bool read = true;
    for (DWORD_PTR i = 0; i < count && read; ++i) {
        std::string item;
        DWORD_PTR ignored = 0;
        read = SendMessageTimeoutA(combo, CB_SETCURSEL, i, 0, SMTO_ABORTIFHUNG, 5000, &ignored) &&
               ReadControlText(combo, item);
        text.append(item).append("\n");
    }
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(combo, CB_SETCURSEL, selected, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
    return read;
}

// The live entries of the GDI handle table that the process's PEB points to (offset 0x94 on
// 32-bit), which Wine keeps per process with 24-byte entries; an icon holds bitmaps there.
// GetGuiResources would say less: Wine 8's answers 0.
void PrintObjectCount(HANDLE process) {
    PROCESS_BASIC_INFORMATION basic = {};
    DWORD table = 0;
    long live = -1;
    struct Entry {
        UINT64 object;
        ULONG owner;
        USHORT unique;
        UCHAR type, flags;
        UINT64 user;
    };
    std::vector<Entry> entries(0x10000);
    if (NtQueryInformationProcess(process, ProcessBasicInformation, &basic, sizeof basic, nullptr) == 0 &&
        ReadProcessMemory(process, reinterpret_cast<BYTE*>(basic.PebBaseAddress) + 0x94, &table, sizeof table,
                          nullptr) &&
        table != 0 &&
        ReadProcessMemory(process, reinterpret_cast<void*>(static_cast<UINT_PTR>(table)), entries.data(),
                          entries.size() * sizeof(Entry), nullptr)) {
        live = 0;
        for (const Entry& entry : entries) live += entry.type != 0;
    }
    std::printf("%ld\n", live);
}

int SendShellRestarts(int count) {
    HWND window = FindWindowA("Lumenhop", "Lumenhop");
    DWORD id = 0;
    if (window == nullptr || GetWindowThreadProcessId(window, &id) == 0) return 2;
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, id);
    if (process == nullptr) return 2;
    const UINT restart = RegisterWindowMessageA("TaskbarCreated");
    PrintObjectCount(process);
    DWORD_PTR ignored = 0;
    for (int i = 0; i < count; ++i) {
        if (!SendMessageTimeoutA(window, restart, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored)) return 4;
    }
    PrintObjectCount(process);
    return 0;
}

// What a shell that lost the icon does: the program's window and icon 0 are all the shell needs.
int RemoveIcon() {
    NOTIFYICONDATAA record = {};
    record.cbSize = NOTIFYICONDATAA_V1_SIZE;
    record.hWnd = FindWindowA("Lumenhop", "Lumenhop");
    return record.hWnd != nullptr && Shell_NotifyIconA(NIM_DELETE, &record) ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--shell-restarts") == 0) return SendShellRestarts(std::atoi(argv[2]));
    if (argc == 2 && std::strcmp(argv[1], "--remove-icon") == 0) return RemoveIcon();
    if (argc == 3 && std::strcmp(argv[1], "--foreground") == 0) {
        char caption[256] = {};
        return GetWindowTextA(GetForegroundWindow(), caption, sizeof caption) > 0 && std::strcmp(caption, argv[2]) == 0
                   ? 0
                   : 2;
    }
    const bool items = argc == 4 && std::strcmp(argv[3], "--items") == 0;
    if (argc != 3 && !items) {
        std::fputs(
            "usage: ReadWindowText CAPTION CONTROL-ID [--items] | --foreground CAPTION | --shell-restarts N | "
            "--remove-icon\n",
            stderr);
        return 1;
    }
    WindowSearch search{argv[1], {}};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
    if (search.found.size() != 1) return 2;

    HWND control = GetDlgItem(search.found.front(), std::atoi(argv[2]));
    std::string text;
    if (control == nullptr || !(items ? ReadComboItems(control, text) : ReadControlText(control, text))) return 2;
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}
