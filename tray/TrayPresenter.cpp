#include "tray/TrayPresenter.h"

#include "platform/Lock.h"
#include "res/resource.h"
#include "tray/AppHandles.h"

#include <algorithm>
#include <cstring>
#include <vector>

#ifdef _WIN32
static_assert(NOTIFYICONDATAA_V1_SIZE == 88, "the first-version tray record is 88 bytes");
#endif

NOTIFYICONDATAA TrayRecord = {};
std::string TooltipText;
IconPairRecord IconPair = {{nullptr, {}, 0, false}, {nullptr, {}, 0, false}};

namespace {

// Held across every use of the record, the tooltip and the icon bookkeeping below: the GUI thread
// and the sampler both notify, and at exit the delete comes before the sampler is stopped. It is
// the inner of the program's two locks (see SamplerLock).
ProcessLock TrayLock;
// What the presenter keeps beside the record, under TrayLock.
struct {
    // The icon the shell last took; null once the tray icon is deleted.
    HICON ShellIcon;
    // Extracted icons that left the IconPair but may still be on screen: the shell keeps showing
    // the last icon it was given, and an open Settings dialog shows the running icons (while
    // ReplacedIconsHeld is set).
    std::vector<HICON> ReplacedIcons;
    bool ReplacedIconsHeld;
    // A refused add is being retried, and how many retries have failed so far.
    bool AddRetrying;
    UINT AddRetries;
} State;

constexpr DWORD TrayRecordSize = 88;

// A refused add is tried again every second for the first minute, then every ten seconds.
constexpr UINT FastRetryPeriod = 1000;
constexpr UINT FastRetries = 60;
constexpr UINT SlowRetryPeriod = 10000;

// Call with TrayLock held.
void DestroyReplacedIcons() {
    if (State.ReplacedIconsHeld) return;
    auto unseen = std::partition(State.ReplacedIcons.begin(), State.ReplacedIcons.end(),
                                 [](HICON icon) { return icon == State.ShellIcon; });
    for (auto it = unseen; it != State.ReplacedIcons.end(); ++it) DestroyIcon(*it);
    State.ReplacedIcons.erase(unseen, State.ReplacedIcons.end());
}
constexpr int TooltipBufferSize = 200;

// The bytes of the character that starts with `lead`: a UTF-8 sequence on a UTF-8 ANSI page,
// one or two bytes on the others.
size_t CharacterWidth(BYTE lead, bool utf8) {
    if (!utf8) return IsDBCSLeadByte(lead) ? 2 : 1;
    return lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
}

// How many leading bytes of the tooltip fit in szTip without splitting a character.
size_t TooltipBytesThatFit() {
    const bool utf8 = GetACP() == CP_UTF8;
    size_t length = 0;
    while (length < TooltipText.size()) {
        size_t width = CharacterWidth(static_cast<BYTE>(TooltipText[length]), utf8);
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
        int needed = WideCharToMultiByte(CP_ACP, 0, name.data(), static_cast<int>(units), nullptr, 0, nullptr, nullptr);
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
    int written = WideCharToMultiByte(CP_ACP, 0, name.data(), static_cast<int>(low), buffer, TooltipBufferSize - 1,
                                      nullptr, nullptr);
    if (written <= 0) std::memset(buffer, 0, sizeof buffer);
}

// One call to the shell with the icon and the current tooltip. Call with TrayLock held.
BOOL Notify(DWORD message, HICON icon) {
    std::memset(TrayRecord.szTip, 0, TrayTipLimit + 1);
    std::memcpy(TrayRecord.szTip, TooltipText.data(), TooltipBytesThatFit());
    TrayRecord.hIcon = icon;
    // After a failed call the shell still shows whatever it showed before.
    BOOL taken = Shell_NotifyIconA(message, &TrayRecord);
    if (taken) State.ShellIcon = message == NIM_DELETE ? nullptr : icon;
    DestroyReplacedIcons();
    return taken;
}

// An add that finds the icon there already (a restart broadcast the shell did not need) fails;
// the modify then brings that icon up to date. Call with TrayLock held.
BOOL Show(HICON icon) {
    return Notify(NIM_ADD, icon) || Notify(NIM_MODIFY, icon);
}

void StopAddRetry() {
    if (State.AddRetrying) KillTimer(MainWindow, TrayAddRetryTimer);
    State.AddRetrying = false;
}

}  // namespace

// Fills the fields of the tray record that never change. The presenter starts with no icon shown,
// replaced or retried (the program calls this once, before any other call).
void InitTrayRecord(HWND mainWindow) {
    LockHolder hold(TrayLock);
    TrayRecord.cbSize = TrayRecordSize;
    TrayRecord.hWnd = mainWindow;
    TrayRecord.uID = 0;
    TrayRecord.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    TrayRecord.uCallbackMessage = TrayCallbackMessage;
    State = {};
}

// Adds, modifies or deletes the tray icon; a refused add arms the retry timer.
BOOL TrayNotify(DWORD message, HICON icon) {
    LockHolder hold(TrayLock);
    if (message == NIM_MODIFY) return Notify(message, icon);
    // An add starts the retries afresh; the delete at exit ends them.
    StopAddRetry();
    if (message != NIM_ADD) return Notify(message, icon);
    if (Show(icon)) return TRUE;
    State.AddRetries = 0;
    if (MainWindow != nullptr)
        State.AddRetrying = SetTimer(MainWindow, TrayAddRetryTimer, FastRetryPeriod, nullptr) != 0;
    return FALSE;
}

// One retry from the timer, ending the retries once the shell takes the icon.
void RetryTrayAdd(HICON icon) {
    LockHolder hold(TrayLock);
    // A tick that was already queued when the retries ended adds nothing.
    if (!State.AddRetrying) return;
    if (Show(icon))
        StopAddRetry();
    else if (++State.AddRetries == FastRetries)
        SetTimer(MainWindow, TrayAddRetryTimer, SlowRetryPeriod, nullptr);
}

// Makes the display name the tooltip text; a name too long for the buffer is cut at a whole
// character.
void SetTooltipText(const WideString& name) {
    LockHolder hold(TrayLock);
    char buffer[TooltipBufferSize] = {};
    if (WideCharToMultiByte(CP_ACP, 0, name.c_str(), -1, buffer, TooltipBufferSize, nullptr, nullptr) == 0)
        ConvertLongestPrefix(name, buffer);
    TooltipText.assign(buffer, strnlen(buffer, sizeof buffer));
}

// One of the two built-in tray icons, shared and owned by the system, in the image drawn for
// the notification area's small-icon size at this scale (16 at 100%), so the shell never
// stretches it.
HICON LoadDefaultIcon(WORD resourceId) {
    return static_cast<HICON>(LoadImageA(AppInstance, MAKEINTRESOURCEA(resourceId), IMAGE_ICON,
                                         GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                                         LR_SHARED | LR_LOADTRANSPARENT));
}

IconRole& RoleIcon(TrayIconRole role) {
    return role == Active ? IconPair.Active : IconPair.Inactive;
}

WORD DefaultIconId(TrayIconRole role) {
    return role == Active ? IDI_TRAY_ACTIVE : IDI_TRAY_INACTIVE;
}

// Extracted icons are never destroyed while the shell or a dialog may still draw them.
void ReplaceRoleIcon(TrayIconRole role, HICON icon, bool extracted) {
    LockHolder hold(TrayLock);
    IconRole& current = RoleIcon(role);
    if (current.Extracted && current.Icon != nullptr && current.Icon != icon)
        State.ReplacedIcons.push_back(current.Icon);
    current.Icon = icon;
    current.Extracted = extracted;
    DestroyReplacedIcons();
}

void HoldReplacedIcons(bool hold) {
    LockHolder lock(TrayLock);
    State.ReplacedIconsHeld = hold;
    DestroyReplacedIcons();
}
