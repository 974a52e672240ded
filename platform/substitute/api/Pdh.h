// The performance-data helper (pdh.h, pdhmsg.h): the calls and codes the program and its tests use.
#pragma once

#include "platform/substitute/api/Types.h"

typedef LONG PDH_STATUS;
typedef HANDLE PDH_HQUERY;
typedef HANDLE PDH_HCOUNTER;

#define PDH_CSTATUS_NO_INSTANCE ((DWORD)0x800007D1)
#define PDH_MORE_DATA ((DWORD)0x800007D2)
#define PDH_NO_DATA ((DWORD)0x800007D5)
#define PDH_INVALID_DATA ((DWORD)0xC0000BC6)
#define PDH_FMT_LONG ((DWORD)0x00000100)
#define PERF_DETAIL_WIZARD 400

// Only the form the program reads; the SDK's other forms share the long value's place.
typedef struct _PDH_FMT_COUNTERVALUE {
    DWORD CStatus;
    LONG longValue;
} PDH_FMT_COUNTERVALUE, *PPDH_FMT_COUNTERVALUE;

PDH_STATUS WINAPI PdhOpenQueryA(LPCSTR szDataSource, DWORD_PTR dwUserData, PDH_HQUERY* phQuery);
PDH_STATUS WINAPI PdhCloseQuery(PDH_HQUERY hQuery);
PDH_STATUS WINAPI PdhLookupPerfNameByIndexW(LPCWSTR szMachineName, DWORD dwNameIndex, LPWSTR szNameBuffer,
                                            LPDWORD pcchNameBufferSize);
PDH_STATUS WINAPI PdhEnumObjectItemsW(LPCWSTR szDataSource, LPCWSTR szMachineName, LPCWSTR szObjectName,
                                      PZZWSTR mszCounterList, LPDWORD pcchCounterListLength, PZZWSTR mszInstanceList,
                                      LPDWORD pcchInstanceListLength, DWORD dwDetailLevel, DWORD dwFlags);
PDH_STATUS WINAPI PdhAddCounterW(PDH_HQUERY hQuery, LPCWSTR szFullCounterPath, DWORD_PTR dwUserData,
                                 PDH_HCOUNTER* phCounter);
PDH_STATUS WINAPI PdhCollectQueryData(PDH_HQUERY hQuery);
PDH_STATUS WINAPI PdhGetFormattedCounterValue(PDH_HCOUNTER hCounter, DWORD dwFormat, LPDWORD lpdwType,
                                              PPDH_FMT_COUNTERVALUE pValue);
