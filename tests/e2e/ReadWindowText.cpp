// Prints the text of one control of an open top-level window, as any other program would read
// it, so that the end-to-end tests can compare what a dialog shows. Runs under Wine beside the
// program under test:
//
//   ReadWindowText.exe CAPTION CONTROL-ID
//
// Exit codes: 0 the text was printed (possibly empty); 1 bad arguments; 2 no visible window has
// that caption; 3 more than one has; 4 the window has no such control, or it did not answer.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

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

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: ReadWindowText CAPTION CONTROL-ID\n", stderr);
        return 1;
    }
    WindowSearch search{argv[1], {}};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
    if (search.found.empty()) return 2;
    if (search.found.size() > 1) return 3;

    HWND control = GetDlgItem(search.found.front(), std::atoi(argv[2]));
    std::string text;
    if (control == nullptr || !ReadControlText(control, text)) return 4;

    // Byte for byte: the test checks the line ends.
    _setmode(_fileno(stdout), _O_BINARY);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}
