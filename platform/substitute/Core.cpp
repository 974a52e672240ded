// The machine: the models' reset and leak checks, scripted failures, problems and the kernel
// handle table.
#include "platform/substitute/Internal.h"

#include <map>

namespace substitute::detail {
namespace {

struct PendingFailure {
    std::string function;
    unsigned skip;
    uint32_t status;
};

// Guarded by Mutex().
std::vector<std::string> Misuses;
std::vector<PendingFailure> Failures;
std::map<HANDLE, std::string> Handles;  // by kind
uintptr_t NextHandle = 0x100;

std::vector<Model>& Models() {
    static std::vector<Model> models;
    return models;
}

thread_local DWORD LastError = 0;

}  // namespace

std::recursive_mutex& Mutex() {
    static std::recursive_mutex mutex;
    return mutex;
}

void Problem(std::string text) {
    UnderLock([&] { Misuses.push_back(std::move(text)); });
}

// Every pending failure of the function counts this call against its skip; the first one with
// none left is taken.
std::optional<uint32_t> TakeFailure(std::string_view function) {
    std::lock_guard lock(Mutex());
    auto due = Failures.end();
    for (auto it = Failures.begin(); it != Failures.end(); ++it) {
        if (it->function != function) continue;
        if (it->skip > 0)
            --it->skip;
        else if (due == Failures.end())
            due = it;
    }
    if (due == Failures.end()) return std::nullopt;
    uint32_t status = due->status;
    Failures.erase(due);
    return status;
}

bool Fails(std::string_view function) {
    std::optional<uint32_t> failure = TakeFailure(function);
    if (failure) SetLastError(*failure);
    return failure.has_value();
}

bool RegisterModel(Model model) {
    model.reset();
    Models().push_back(std::move(model));
    return true;
}

HANDLE OpenHandle(const char* kind) {
    std::lock_guard lock(Mutex());
    HANDLE handle = reinterpret_cast<HANDLE>(NextHandle += 4);
    Handles[handle] = kind;
    return handle;
}

bool IsOpen(HANDLE handle, const char* kind) {
    std::lock_guard lock(Mutex());
    return Handles.count(handle) && Handles[handle] == kind;
}

}  // namespace substitute::detail

using namespace substitute::detail;

DWORD WINAPI GetLastError() {
    return LastError;
}

void WINAPI SetLastError(DWORD dwErrCode) {
    LastError = dwErrCode;
}

BOOL WINAPI CloseHandle(HANDLE hObject) {
    std::lock_guard lock(Mutex());
    if (Handles.erase(hObject) == 0) {
        Misuses.push_back("CloseHandle on a handle that is not open");
        return Failed(ERROR_INVALID_HANDLE, FALSE);
    }
    return TRUE;
}

void substitute::Reset() {
    bool joined = JoinThreads();
    std::lock_guard lock(Mutex());
    Misuses.assign(joined ? 0 : 1, "a thread of the last test never ended");
    Failures.clear();
    Handles.clear();
    for (auto& model : Models()) model.reset();
    SetLastError(0);
}

std::vector<std::string> substitute::Problems() {
    std::lock_guard lock(Mutex());
    std::vector<std::string> all = Misuses;
    for (auto& [handle, kind] : Handles) all.push_back("a " + kind + " handle was never closed");
    for (auto& model : Models())
        if (model.leaks) model.leaks(all);
    return all;
}

void substitute::FailNext(std::string_view function, uint32_t status, unsigned skip) {
    UnderLock([&] { Failures.push_back(PendingFailure{std::string(function), skip, status}); });
}
