#include "tray/TrayPresenter.h"

#include "res/resource.h"
#include "tray/AppHandles.h"

#include <cstring>

#ifdef _WIN32
static_assert(NOTIFYICONDATAA_V1_SIZE == 88, "the first-version tray record is 88 bytes");
#endif

NOTIFYICONDATAA TrayRecord = {};
std::string TooltipText;
IconPairRecord IconPair = {{nullptr, {}, 0}, {nullptr, {}, 0}};
ProcessLock TrayLock;

namespace {

constexpr DWORD TrayRecordSize = 88;
constexpr int TooltipBufferSize = 200;

// How many leading bytes of the tooltip fit in szTip without splitting a double-byte character.
size_t TooltipBytesThatFit() {
    size_t length = 0;
    while (length < TooltipText.size()) {
        size_t width = IsDBCSLeadByte(static_cast<BYTE>(TooltipText[length])) ? 2 : 1;
        // A lead byte whose trail byte is missing is not a character either.
        if (length + width > TrayTipLimit || length + width > TooltipText.size()) break;
        length += width;
    }
    return length;
}

// Fills the buffer with the longest run of whole characters of the name whose conversion fits
// it with a terminating zero. Used only when the whole name does not fit.
void ConvertLongestPrefix(const WideString& name, char (&buffer)[TooltipBufferSize]) {
    std::memset(buffer, 0, sizeof buffer);
    auto fits = [&](size_t units) {
        if (units == 0) return true;
        int needed = WideCharToMultiByte(CP_ACP, 0, name.data(), static_cast<int>(units), nullptr, 0,
                                         nullptr, nullptr);
        return needed > 0 && needed < TooltipBufferSize;
    };
    size_t low = 0, high = name.size();
    while (low < high) {
        size_t middle = low + (high - low + 1) / 2;
        if (fits(middle))
            low = middle;
        else
            high = middle - 1;
    }
    // Never keep half of a surrogate pair.
    if (low > 0 && name[low - 1] >= 0xD800 && name[low - 1] <= 0xDBFF) --low;
    if (low == 0) return;
    int written = WideCharToMultiByte(CP_ACP, 0, name.data(), static_cast<int>(low), buffer,
                                      TooltipBufferSize - 1, nullptr, nullptr);
    if (written <= 0) std::memset(buffer, 0, sizeof buffer);
}

}  // namespace

// Fills the fields of the tray record that never change.
void InitTrayRecord(HWND mainWindow) {
    LockHolder hold(TrayLock);
    TrayRecord.cbSize = TrayRecordSize;
    TrayRecord.hWnd = mainWindow;
    TrayRecord.uID = 0;
    TrayRecord.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    TrayRecord.uCallbackMessage = TrayCallbackMessage;
}

// Adds, modifies or deletes the tray icon with the given icon and the current tooltip.
void TrayNotify(DWORD message, HICON icon) {
    LockHolder hold(TrayLock);
    std::memset(TrayRecord.szTip, 0, TrayTipLimit + 1);
    std::memcpy(TrayRecord.szTip, TooltipText.data(), TooltipBytesThatFit());
    TrayRecord.hIcon = icon;
    Shell_NotifyIconA(message, &TrayRecord);
}

// Makes the display name the tooltip text; a name too long for the buffer is cut at a whole
// character.
void SetTooltipText(const WideString& name) {
    LockHolder hold(TrayLock);
    char buffer[TooltipBufferSize] = {};
    if (WideCharToMultiByte(CP_ACP, 0, name.c_str(), -1, buffer, TooltipBufferSize, nullptr,
                            nullptr) == 0)
        ConvertLongestPrefix(name, buffer);
    TooltipText.assign(buffer, strnlen(buffer, sizeof buffer));
}

// One of the two built-in tray icons, shared and owned by the system.
HICON LoadDefaultIcon(WORD resourceId) {
    return static_cast<HICON>(LoadImageA(AppInstance, MAKEINTRESOURCEA(resourceId), IMAGE_ICON, 16,
                                         16, LR_SHARED | LR_LOADTRANSPARENT));
}

IconRole& RoleIcon(TrayIconRole role) { return role == Active ? IconPair.Active : IconPair.Inactive; }

WORD DefaultIconId(TrayIconRole role) { return role == Active ? IDI_TRAY_ACTIVE : IDI_TRAY_INACTIVE; }
