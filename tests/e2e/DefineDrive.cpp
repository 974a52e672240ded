// Gives a running Wine session a drive letter, or takes one away, the way Wine's configuration
// tool does: through the mount manager. Announces a volume's change as Windows does, and reads
// the tray icon's tooltip, where the program names the disk it watches.
//
//   DefineDrive.exe X: /unix/folder     adds X: as a fixed disk on that folder
//   DefineDrive.exe X:                  removes X:
//   DefineDrive.exe --announce X: arrived|removed
//                                       tells every top-level window, as Windows does when a
//                                       volume comes or goes; Wine's mount manager does not
//   DefineDrive.exe --tray-tip          prints the tooltip of the notification area's icons
//                                       (Wine's desktop process keeps one tooltip for each)
//
// Exits 0 when the mount manager took the request, or the broadcast went out.
#include <windows.h>
#include <commctrl.h>
#include <dbt.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// The mount manager's own request, which Wine's headers do not ship with the cross toolchain:
// size, type, file system type, serial, device number, then the letter and the offsets of the
// Unix folder, device and label behind it.
constexpr DWORD DefineUnixDrive = (0x6D << 16) | ((FILE_READ_ACCESS | FILE_WRITE_ACCESS) << 14) | (32 << 2);
constexpr size_t RequestHead = 32;

void Put32(unsigned char* at, DWORD value) {
    std::memcpy(at, &value, sizeof value);
}
void Put16(unsigned char* at, WORD value) {
    std::memcpy(at, &value, sizeof value);
}

int Define(char letter, const char* folder) {
    std::string request(RequestHead, '\0');
    if (folder != nullptr) request.append(folder).append(1, '\0');
    auto* bytes = reinterpret_cast<unsigned char*>(request.data());
    Put32(bytes, static_cast<DWORD>(request.size()));
    Put32(bytes + 4, folder != nullptr ? DRIVE_FIXED : DRIVE_NO_ROOT_DIR);
    Put16(bytes + 24, static_cast<WORD>(letter | 0x20));
    Put16(bytes + 26, folder != nullptr ? static_cast<WORD>(RequestHead) : 0);
    HANDLE manager = CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (manager == INVALID_HANDLE_VALUE) return std::fprintf(stderr, "no mount manager\n"), 1;
    DWORD returned = 0;
    BOOL done = DeviceIoControl(manager, DefineUnixDrive, bytes, static_cast<DWORD>(request.size()), nullptr, 0,
                                &returned, nullptr);
    DWORD error = GetLastError();
    CloseHandle(manager);
    if (!done) return std::fprintf(stderr, "the mount manager refused: %lu\n", error), 1;
    return 0;
}

int Announce(char letter, bool arrived) {
    DEV_BROADCAST_VOLUME volume = {};
    volume.dbcv_size = sizeof volume;
    volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
    volume.dbcv_unitmask = 1u << ((letter | 0x20) - 'a');
    DWORD_PTR answer = 0;
    return SendMessageTimeoutW(HWND_BROADCAST, WM_DEVICECHANGE, arrived ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE,
                               reinterpret_cast<LPARAM>(&volume), SMTO_ABORTIFHUNG, 5000, &answer)
               ? 0
               : 1;
}

// Reads one tooltip control of another process: the record and the text buffer go into that
// process's memory, where the control writes.
BOOL CALLBACK PrintTip(HWND window, LPARAM) {
    wchar_t className[32] = {};
    DWORD process = 0;
    if (!GetClassNameW(window, className, 32) || lstrcmpiW(className, TOOLTIPS_CLASSW) != 0) return TRUE;
    GetWindowThreadProcessId(window, &process);
    HANDLE owner = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, process);
    if (owner == nullptr) return TRUE;
    constexpr SIZE_T textUnits = 256;
    auto* remote = static_cast<unsigned char*>(
        VirtualAllocEx(owner, nullptr, sizeof(TTTOOLINFOW) + textUnits * 2, MEM_COMMIT, PAGE_READWRITE));
    TTTOOLINFOW tool = {};
    tool.cbSize = sizeof tool;
    SIZE_T moved = 0;
    for (int index = 0; remote != nullptr; ++index) {
        WriteProcessMemory(owner, remote, &tool, sizeof tool, &moved);
        if (!SendMessageW(window, TTM_ENUMTOOLSW, index, reinterpret_cast<LPARAM>(remote))) break;
        ReadProcessMemory(owner, remote, &tool, sizeof tool, &moved);
        tool.lpszText = reinterpret_cast<wchar_t*>(remote + sizeof tool);
        WriteProcessMemory(owner, remote, &tool, sizeof tool, &moved);
        SendMessageW(window, TTM_GETTEXTW, textUnits, reinterpret_cast<LPARAM>(remote));
        wchar_t text[textUnits] = {};
        ReadProcessMemory(owner, remote + sizeof tool, text, sizeof text - 2, &moved);
        std::printf("%ls\n", text);
        tool = {};
        tool.cbSize = sizeof tool;
    }
    if (remote != nullptr) VirtualFreeEx(owner, remote, 0, MEM_RELEASE);
    CloseHandle(owner);
    return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--tray-tip") == 0) return EnumWindows(PrintTip, 0) ? 0 : 1;
    if (argc == 4 && std::strcmp(argv[1], "--announce") == 0)
        return Announce(argv[2][0], std::strcmp(argv[3], "arrived") == 0);
    if (argc < 2 || argc > 3 || std::strlen(argv[1]) != 2 || argv[1][1] != ':') {
        std::fprintf(stderr, "usage: DefineDrive X: [/unix/folder] | --announce X: arrived|removed | --tray-tip\n");
        return 2;
    }
    return Define(argv[1][0], argc == 3 ? argv[2] : nullptr);
}
