#include "platform/SystemLibraries.h"

#include "platform/Lock.h"

namespace {

// What the forwarders answer while pdh.dll is not bound.
constexpr PDH_STATUS PdhMissing = ERROR_MOD_NOT_FOUND;

struct PdhFunctions {
    decltype(&PdhOpenQueryA) OpenQueryA;
    decltype(&PdhLookupPerfNameByIndexW) LookupPerfNameByIndexW;
    decltype(&PdhEnumObjectItemsW) EnumObjectItemsW;
    decltype(&PdhAddCounterW) AddCounterW;
    decltype(&PdhCollectQueryData) CollectQueryData;
    decltype(&PdhGetFormattedCounterValue) GetFormattedCounterValue;
    decltype(&PdhCloseQuery) CloseQuery;
};

// Taken by the GUI thread and the sampler alike; the binding is tried once, under it.
ProcessLock PdhLock;
bool PdhTried = false;
bool PdhBound = false;
PdhFunctions Pdh = {};

template <typename Function>
Function SystemFunction(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// The LOAD_LIBRARY_SEARCH_ flags are understood where kernel32 has this function.
bool SearchFlagsKnown() {
    return GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories") != nullptr;
}

// pdh.dll from the system directory and nowhere else, or null.
HMODULE LoadSystemPdh() {
    if (SearchFlagsKnown()) {
        HMODULE module = LoadLibraryExW(L"pdh.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        if (module != nullptr || GetLastError() != ERROR_INVALID_PARAMETER) return module;
    }
    // Before the search flags: the full path, and its own dependencies looked for beside it.
    WCHAR path[MAX_PATH + 9] = {};
    UINT length = GetSystemDirectoryW(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    lstrcpyW(path + length, L"\\pdh.dll");
    return LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

// All seven functions, or none: a pdh.dll without one of them is let go again.
void BindPdh() {
    HMODULE module = LoadSystemPdh();
    if (module == nullptr) return;
    PdhFunctions found = {
        SystemFunction<decltype(Pdh.OpenQueryA)>(module, "PdhOpenQueryA"),
        SystemFunction<decltype(Pdh.LookupPerfNameByIndexW)>(module, "PdhLookupPerfNameByIndexW"),
        SystemFunction<decltype(Pdh.EnumObjectItemsW)>(module, "PdhEnumObjectItemsW"),
        SystemFunction<decltype(Pdh.AddCounterW)>(module, "PdhAddCounterW"),
        SystemFunction<decltype(Pdh.CollectQueryData)>(module, "PdhCollectQueryData"),
        SystemFunction<decltype(Pdh.GetFormattedCounterValue)>(module, "PdhGetFormattedCounterValue"),
        SystemFunction<decltype(Pdh.CloseQuery)>(module, "PdhCloseQuery"),
    };
    if (found.OpenQueryA && found.LookupPerfNameByIndexW && found.EnumObjectItemsW && found.AddCounterW &&
        found.CollectQueryData && found.GetFormattedCounterValue && found.CloseQuery) {
        Pdh = found;
        PdhBound = true;
    } else {
        FreeLibrary(module);
    }
}

// Calls the bound function in `slot`, binding first if nobody has tried yet.
template <auto Slot, typename... Arguments>
PDH_STATUS Forward(Arguments... arguments) {
    PdhFunctions bound = {};
    {
        LockHolder hold(PdhLock);
        if (!PdhTried) BindPdh();
        PdhTried = true;
        if (PdhBound) bound = Pdh;
    }
    return bound.*Slot != nullptr ? (bound.*Slot)(arguments...) : PdhMissing;
}

}  // namespace

void KeepLibrarySearchInSystem() {
    typedef BOOL(WINAPI * SetDefaultDllDirectoriesFunction)(DWORD);
    auto setDirectories =
        SystemFunction<SetDefaultDllDirectoriesFunction>(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories");
    if (setDirectories != nullptr) setDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

PDH_FUNCTION PdhOpenQueryA(LPCSTR source, DWORD_PTR data, PDH_HQUERY* query) {
    return Forward<&PdhFunctions::OpenQueryA>(source, data, query);
}

PDH_FUNCTION PdhLookupPerfNameByIndexW(LPCWSTR machine, DWORD index, LPWSTR name, LPDWORD size) {
    return Forward<&PdhFunctions::LookupPerfNameByIndexW>(machine, index, name, size);
}

PDH_FUNCTION PdhEnumObjectItemsW(LPCWSTR source, LPCWSTR machine, LPCWSTR object, LPWSTR counters,
                                 LPDWORD countersLength, LPWSTR instances, LPDWORD instancesLength, DWORD detail,
                                 DWORD flags) {
    return Forward<&PdhFunctions::EnumObjectItemsW>(source, machine, object, counters, countersLength, instances,
                                                    instancesLength, detail, flags);
}

PDH_FUNCTION PdhAddCounterW(PDH_HQUERY query, LPCWSTR path, DWORD_PTR data, PDH_HCOUNTER* counter) {
    return Forward<&PdhFunctions::AddCounterW>(query, path, data, counter);
}

PDH_FUNCTION PdhCollectQueryData(PDH_HQUERY query) {
    return Forward<&PdhFunctions::CollectQueryData>(query);
}

PDH_FUNCTION PdhGetFormattedCounterValue(PDH_HCOUNTER counter, DWORD format, LPDWORD type,
                                         PPDH_FMT_COUNTERVALUE value) {
    return Forward<&PdhFunctions::GetFormattedCounterValue>(counter, format, type, value);
}

PDH_FUNCTION PdhCloseQuery(PDH_HQUERY query) {
    return Forward<&PdhFunctions::CloseQuery>(query);
}
