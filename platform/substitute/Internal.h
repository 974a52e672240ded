// What the substitute's models share among themselves; not for tests.
#pragma once

#include "platform/substitute/Win32Subset.h"

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace substitute::detail {

// Guards the state of every model. Never held across a sleep, a wait or a call back into the
// program.
std::recursive_mutex& Mutex();

// Records a misuse by the program; the test that caused it fails.
void Problem(std::string text);

// A scripted failure for this call of `function`, if one is due.
std::optional<uint32_t> TakeFailure(std::string_view function);

// A model's part in Reset and in the leak check. Each model registers one at start-up.
struct Model {
    std::function<void()> reset;
    std::function<void(std::vector<std::string>&)> leaks;
};
bool RegisterModel(Model model);

// Kernel handles (threads, devices, mutexes) share one table, as on Windows.
enum class HandleKind { Thread, Device, Mutex };
HANDLE OpenKernelHandle(HandleKind kind, uintptr_t object, std::function<void()> onClose);
// The object behind an open handle of that kind.
std::optional<uintptr_t> KernelObject(HANDLE handle, HandleKind kind);

// Real time that `milliseconds` of program time lasts under the current scale.
double ScaledMilliseconds(DWORD milliseconds);

// The platform family GetVersionExA reports, without the call's scripted failures.
DWORD PlatformId();

}  // namespace substitute::detail
