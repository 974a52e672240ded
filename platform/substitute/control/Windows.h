// The main window's timers.
// A section of platform/substitute/Substitute.h, which includes what it needs.
#pragma once

namespace substitute {

// The period of the window's timer of this id, while it is set.
std::optional<UINT> TimerPeriod(HWND window, UINT_PTR id);

}  // namespace substitute
