// The small Windows program that the end-to-end scenarios run beside Lumenhop, in its Wine
// session, to do what a person, the shell or the system would, and to read what another program
// shows:
//
//   SessionTool.exe text CAPTION CONTROL-ID   the control's text
//   SessionTool.exe items CAPTION CONTROL-ID  a combo box's items, one a line
//   SessionTool.exe foreground CAPTION        exits 0 if the foreground window has that caption
//   SessionTool.exe remove-icon               takes Lumenhop's tray icon away behind its back
//   SessionTool.exe define X: [/unix/folder]  adds X: as a fixed disk on that folder, or removes
//                                             it, the way Wine's configuration tool does: through
//                                             the mount manager
//   SessionTool.exe announce X: arrived|removed
//                                             tells every top-level window, as Windows does when
//                                             a volume comes or goes; Wine's mount manager does not
//
// Exits 0 when done, 1 on bad arguments or a failed request, 2 when
// no window has the caption, it has no such control, or it did not answer.
#include <windows.h>
#include <dbt.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Every request to another process's window is bounded: a hung program must not hang the test.
bool Ask(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD_PTR* answer) {
    return SendMessageTimeoutA(window, message, wParam, lParam, SMTO_ABORTIFHUNG, 5000, answer) != 0;
}

bool ReadControlText(HWND control, std::string& text) {
    std::vector<char> buffer(65536, '\0');
    DWORD_PTR copied = 0;
    if (!Ask(control, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()), &copied)) return false;
    text.assign(buffer.data(), copied < buffer.size() ? copied : buffer.size() - 1);
    return true;
}

// Wine passes an item's text across processes only for combo boxes with the has-strings style,
// but always the selection's text: each item is selected in turn, and the selection put back.
bool ReadComboItems(HWND combo, std::string& text) {
    DWORD_PTR count = 0, selected = 0, ignored = 0;
    if (!Ask(combo, CB_GETCOUNT, 0, 0, &count) || !Ask(combo, CB_GETCURSEL, 0, 0, &selected)) return false;
    bool read = true;
    for (DWORD_PTR i = 0; i < count && read; ++i) {
        std::string item;
        read = Ask(combo, CB_SETCURSEL, i, 0, &ignored) && ReadControlText(combo, item);
        text.append(item).append("\n");
    }
    Ask(combo, CB_SETCURSEL, selected, 0, &ignored);
    return read;
}

// What a shell that lost the icon does: the program's window and icon 0 are all the shell needs.
int RemoveIcon() {
    NOTIFYICONDATAA record = {};
    record.cbSize = NOTIFYICONDATAA_V1_SIZE;
    record.hWnd = FindWindowA("Lumenhop", "Lumenhop");
    return record.hWnd != nullptr && Shell_NotifyIconA(NIM_DELETE, &record) ? 0 : 2;
}

// Prints the text of one control of the window with this caption, or a combo box's items.
int PrintControl(const char* caption, int id, bool items) {
    HWND control = GetDlgItem(FindWindowA(nullptr, caption), id);
    std::string text;
    if (control == nullptr || !(items ? ReadComboItems(control, text) : ReadControlText(control, text))) return 2;
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}

bool IsForeground(const char* caption) {
    char text[256] = {};
    return GetWindowTextA(GetForegroundWindow(), text, sizeof text) > 0 && std::strcmp(text, caption) == 0;
}

// The mount manager's own request, which Wine's headers do not ship with the cross toolchain:
// size, type, file system type, serial, device number, then the letter and the offsets of the
// Unix folder, device and label behind it.
constexpr DWORD DefineUnixDrive = (0x6D << 16) | ((FILE_READ_ACCESS | FILE_WRITE_ACCESS) << 14) | (32 << 2);
constexpr size_t RequestHead = 32;

template <typename Field>
void Put(unsigned char* at, Field value) {
    std::memcpy(at, &value, sizeof value);
}

int Define(char letter, const char* folder) {
    std::string request(RequestHead, '\0');
    if (folder != nullptr) request.append(folder).append(1, '\0');
    auto* bytes = reinterpret_cast<unsigned char*>(request.data());
    Put(bytes, static_cast<DWORD>(request.size()));
    Put<DWORD>(bytes + 4, folder != nullptr ? DRIVE_FIXED : DRIVE_NO_ROOT_DIR);
    Put(bytes + 24, static_cast<WORD>(letter | 0x20));
    Put<WORD>(bytes + 26, folder != nullptr ? static_cast<WORD>(RequestHead) : 0);
    HANDLE manager = CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (manager == INVALID_HANDLE_VALUE) return std::fprintf(stderr, "no mount manager\n"), 1;
    DWORD returned = 0;
    BOOL done = DeviceIoControl(manager, DefineUnixDrive, bytes, static_cast<DWORD>(request.size()), nullptr, 0,
                                &returned, nullptr);
    if (!done) std::fprintf(stderr, "the mount manager refused: %lu\n", GetLastError());
    CloseHandle(manager);
    return done ? 0 : 1;
}

int Announce(char letter, bool arrived) {
    DEV_BROADCAST_VOLUME volume = {};
    volume.dbcv_size = sizeof volume;
    volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
    volume.dbcv_unitmask = 1u << ((letter | 0x20) - 'a');
    DWORD_PTR answer = 0;
    WPARAM event = arrived ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE;
    LRESULT sent = SendMessageTimeoutW(HWND_BROADCAST, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(&volume),
                                       SMTO_ABORTIFHUNG, 5000, &answer);
    return sent != 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (argc == 4 && (mode == "text" || mode == "items"))
        return PrintControl(argv[2], std::atoi(argv[3]), mode == "items");
    if (argc == 3 && mode == "foreground") return IsForeground(argv[2]) ? 0 : 2;
    if (argc == 2 && mode == "remove-icon") return RemoveIcon();
    if ((argc == 3 || argc == 4) && mode == "define") return Define(argv[2][0], argc == 4 ? argv[3] : nullptr);
    if (argc == 4 && mode == "announce") return Announce(argv[2][0], std::strcmp(argv[3], "arrived") == 0);
    std::fputs("usage: see tests/e2e/SessionTool.cpp\n", stderr);
    return 1;
}
