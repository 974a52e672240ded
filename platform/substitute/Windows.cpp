// The main window's timers: only their periods are recorded, since no message loop runs here.
#include "platform/substitute/Internal.h"

#include <map>

using namespace substitute::detail;

namespace {

std::map<std::pair<HWND, UINT_PTR>, UINT> Timers;  // guarded by Mutex()

const bool Registered = RegisterModel({[] {
    Timers.clear();
}});

}  // namespace

UINT_PTR WINAPI SetTimer(HWND window, UINT_PTR id, UINT period, TIMERPROC procedure) {
    if (window == nullptr || procedure != nullptr) Problem("SetTimer: only a window's own timer is modelled");
    UnderLock([&] { Timers[{window, id}] = period; });
    return id;
}

BOOL WINAPI KillTimer(HWND window, UINT_PTR id) {
    std::lock_guard lock(Mutex());
    return Timers.erase({window, id}) ? TRUE : FALSE;
}

std::optional<UINT> substitute::TimerPeriod(HWND window, UINT_PTR id) {
    auto timers = Copied(Timers);
    return timers.count({window, id}) ? std::optional<UINT>(timers[{window, id}]) : std::nullopt;
}
