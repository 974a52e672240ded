// What the substitute's models share among themselves, beside their control side; not for tests.
#pragma once

#include "platform/substitute/Substitute.h"

#include <mutex>

namespace substitute::detail {

// Guards the state of every model. Never held across a sleep, a wait or a call back into the
// program.
std::recursive_mutex& Mutex();

// Records a misuse by the program; the test that caused it fails.
void Problem(std::string text);

// A copy of a part of a model's state, taken under the lock; a change made under it.
template <typename Part>
Part Copied(const Part& part) {
    std::lock_guard lock(Mutex());
    return part;
}
template <typename Change>
void UnderLock(Change change) {
    std::lock_guard lock(Mutex());
    change();
}

// A failed call's answer: `result`, with the thread's last error set to `error`.
template <typename Result>
Result Failed(DWORD error, Result result) {
    SetLastError(error);
    return result;
}

// A scripted failure for this call of `function`, if one is due.
std::optional<uint32_t> TakeFailure(std::string_view function);
// The same, made the last error: true when the call is to fail.
bool Fails(std::string_view function);

// A model's part in Reset and in the leak check (which may be empty). Each model registers one
// at start-up, which resets it for the first time.
struct Model {
    std::function<void()> reset;
    std::function<void(std::vector<std::string>&)> leaks = nullptr;
};
bool RegisterModel(Model model);

// Kernel handles ("thread", "device") share one table, as on Windows.
HANDLE OpenHandle(const char* kind);
bool IsOpen(HANDLE handle, const char* kind);

// Real time that `milliseconds` of program time lasts under the current scale.
double ScaledMilliseconds(DWORD milliseconds);

}  // namespace substitute::detail
