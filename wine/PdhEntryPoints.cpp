// The entry points under their own names and types: the SDK's in the DLL, the substitute's on
// other hosts, where the wide characters and counts are already the service's own.
#include "wine/PdhEntryPoints.h"

#include "platform/Win32.h"

namespace {

// Runs one call on the host's service; nothing thrown leaves it.
template <typename Call>
PDH_STATUS Serve(const char* function, Call call) {
    uint32_t result = provider::status::Success;
    provider::CounterService& service = provider::EnterService(function, result);
    if (result == provider::status::Success) {
        try {
            result = call(service);
        } catch (...) {
            result = provider::status::MemoryAllocationFailure;
        }
    }
    return static_cast<PDH_STATUS>(provider::LeaveService(result));
}

const char16_t* Wide(LPCWSTR text) {
    return reinterpret_cast<const char16_t*>(text);
}
char16_t* Wide(LPWSTR text) {
    return reinterpret_cast<char16_t*>(text);
}

// A count in and out through the service's 32-bit one.
template <typename Call>
uint32_t Counted(LPDWORD count, Call call) {
    if (count == nullptr) return call(nullptr);
    uint32_t units = *count;
    uint32_t result = call(&units);
    *count = units;
    return result;
}

}  // namespace

PDH_STATUS WINAPI PdhOpenQueryA(LPCSTR szDataSource, DWORD_PTR, PDH_HQUERY* phQuery) {
    return Serve("PdhOpenQueryA", [&](auto& service) { return service.OpenQuery(szDataSource == nullptr, phQuery); });
}

PDH_STATUS WINAPI PdhCloseQuery(PDH_HQUERY hQuery) {
    return Serve("PdhCloseQuery", [&](auto& service) { return service.CloseQuery(hQuery); });
}

PDH_STATUS WINAPI PdhLookupPerfNameByIndexW(LPCWSTR szMachineName, DWORD dwNameIndex, LPWSTR szNameBuffer,
                                            LPDWORD pcchNameBufferSize) {
    return Serve("PdhLookupPerfNameByIndexW", [&](auto& service) {
        return Counted(pcchNameBufferSize, [&](uint32_t* size) {
            return service.LookupName(Wide(szMachineName), dwNameIndex, Wide(szNameBuffer), size);
        });
    });
}

PDH_STATUS WINAPI PdhEnumObjectItemsW(LPCWSTR szDataSource, LPCWSTR szMachineName, LPCWSTR szObjectName,
                                      PZZWSTR mszCounterList, LPDWORD pcchCounterListLength, PZZWSTR mszInstanceList,
                                      LPDWORD pcchInstanceListLength, DWORD, DWORD dwFlags) {
    return Serve("PdhEnumObjectItemsW", [&](auto& service) {
        return Counted(pcchCounterListLength, [&](uint32_t* counterLength) {
            return Counted(pcchInstanceListLength, [&](uint32_t* instanceLength) {
                return service.EnumObjectItems(Wide(szDataSource), Wide(szMachineName), Wide(szObjectName),
                                               Wide(mszCounterList), counterLength, Wide(mszInstanceList),
                                               instanceLength, dwFlags);
            });
        });
    });
}

PDH_STATUS WINAPI PdhAddCounterW(PDH_HQUERY hQuery, LPCWSTR szFullCounterPath, DWORD_PTR, PDH_HCOUNTER* phCounter) {
    return Serve("PdhAddCounterW",
                 [&](auto& service) { return service.AddCounter(hQuery, Wide(szFullCounterPath), phCounter); });
}

PDH_STATUS WINAPI PdhCollectQueryData(PDH_HQUERY hQuery) {
    return Serve("PdhCollectQueryData", [&](auto& service) { return service.CollectQueryData(hQuery); });
}

PDH_STATUS WINAPI PdhGetFormattedCounterValue(PDH_HCOUNTER hCounter, DWORD dwFormat, LPDWORD lpdwType,
                                              PPDH_FMT_COUNTERVALUE pValue) {
    return Serve("PdhGetFormattedCounterValue", [&](auto& service) {
        if (pValue == nullptr) return provider::status::InvalidArgument;
        // What the service does not write stays as the caller had it.
        uint32_t counterStatus = pValue->CStatus;
        int32_t value = pValue->longValue;
        uint32_t result = Counted(lpdwType, [&](uint32_t* type) {
            return service.GetFormattedValue(hCounter, dwFormat, type, &counterStatus, &value);
        });
        pValue->CStatus = counterStatus;
        pValue->longValue = value;
        return result;
    });
}
