/* A pdh.dll that the end-to-end tests plant beside Lumenhop.exe, as a web page could in a
 * downloads folder. It serves nothing; loaded into any process, it leaves a mark: an empty file
 * named after itself with ".loaded" added. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved) {
    char mark[MAX_PATH + 8] = "";
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH && GetModuleFileNameA(self, mark, MAX_PATH) > 0) {
        lstrcatA(mark, ".loaded");
        CloseHandle(CreateFileA(mark, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL));
    }
    return TRUE;
}
