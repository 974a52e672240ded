// The machine: models' registry, scripted failures, problems and the kernel handle table.
#include "platform/substitute/Internal.h"
#include "platform/substitute/Substitute.h"

#include <atomic>
#include <deque>
#include <map>
#include <vector>

namespace substitute::detail {
namespace {

struct PendingFailure {
    std::string function;
    unsigned skip;
    uint32_t status;
};

struct KernelHandle {
    HandleKind kind;
    uintptr_t object;
    std::function<void()> onClose;
};

struct MachineState {
    std::vector<std::string> problems;
    std::deque<PendingFailure> failures;
    std::map<HANDLE, KernelHandle> handles;
    uintptr_t nextHandle = 0x100;
    DWORD platformId = VER_PLATFORM_WIN32_NT;
};

MachineState& State() {
    static MachineState state;
    return state;
}

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
    std::lock_guard lock(Mutex());
    State().problems.push_back(std::move(text));
}

std::optional<uint32_t> TakeFailure(std::string_view function) {
    std::lock_guard lock(Mutex());
    auto& failures = State().failures;
    auto due = failures.end();
    for (auto it = failures.begin(); it != failures.end(); ++it) {
        if (it->function != function) continue;
        if (it->skip > 0)
            --it->skip;
        else if (due == failures.end())
            due = it;
    }
    if (due == failures.end()) return std::nullopt;
    uint32_t status = due->status;
    failures.erase(due);
    return status;
}

bool RegisterModel(Model model) {
    Models().push_back(std::move(model));
    return true;
}

HANDLE OpenKernelHandle(HandleKind kind, uintptr_t object, std::function<void()> onClose) {
    std::lock_guard lock(Mutex());
    auto& state = State();
    HANDLE handle = reinterpret_cast<HANDLE>(state.nextHandle);
    state.nextHandle += 4;
    state.handles[handle] = KernelHandle{kind, object, std::move(onClose)};
    return handle;
}

std::optional<uintptr_t> KernelObject(HANDLE handle, HandleKind kind) {
    std::lock_guard lock(Mutex());
    auto& handles = State().handles;
    auto it = handles.find(handle);
    if (it == handles.end() || it->second.kind != kind) return std::nullopt;
    return it->second.object;
}

DWORD PlatformId() {
    std::lock_guard lock(Mutex());
    return State().platformId;
}

}  // namespace substitute::detail

using namespace substitute::detail;

DWORD WINAPI GetLastError() { return LastError; }

void WINAPI SetLastError(DWORD dwErrCode) { LastError = dwErrCode; }

BOOL WINAPI CloseHandle(HANDLE hObject) {
    std::function<void()> onClose;
    {
        std::lock_guard lock(Mutex());
        auto& handles = State().handles;
        auto it = handles.find(hObject);
        if (it == handles.end()) {
            State().problems.push_back("CloseHandle on a handle that is not open");
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        onClose = std::move(it->second.onClose);
        handles.erase(it);
    }
    if (onClose) onClose();
    return TRUE;
}

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA info) {
    if (auto failure = TakeFailure("GetVersionExA")) {
        SetLastError(*failure);
        return FALSE;
    }
    if (info == nullptr || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::lock_guard lock(Mutex());
    bool nt = State().platformId == VER_PLATFORM_WIN32_NT;
    info->dwMajorVersion = nt ? 5 : 4;
    info->dwMinorVersion = nt ? 1 : 10;
    info->dwBuildNumber = nt ? 2600 : 2222;
    info->dwPlatformId = State().platformId;
    info->szCSDVersion[0] = 0;
    return TRUE;
}

namespace substitute {

void SetPlatformId(DWORD platformId) {
    std::lock_guard lock(Mutex());
    State().platformId = platformId;
}

void Reset() {
    if (!JoinThreads()) Problem("a thread of the last test never ended");
    std::lock_guard lock(Mutex());
    State() = MachineState{};
    for (auto& model : Models()) model.reset();
    SetLastError(0);
}

std::vector<std::string> Problems() {
    std::lock_guard lock(Mutex());
    std::vector<std::string> all = State().problems;
    for (auto& [handle, entry] : State().handles) {
        static const char* const kinds[] = {"thread", "device", "mutex"};
        // The program holds its single-instance mutex for the life of the process.
        if (entry.kind == HandleKind::Mutex) continue;
        all.push_back(std::string("a ") + kinds[static_cast<int>(entry.kind)] +
                      " handle was never closed");
    }
    for (auto& model : Models()) model.leaks(all);
    return all;
}

void FailNext(std::string_view function, uint32_t status, unsigned skip) {
    std::lock_guard lock(Mutex());
    State().failures.push_back(PendingFailure{std::string(function), skip, status});
}

}  // namespace substitute
