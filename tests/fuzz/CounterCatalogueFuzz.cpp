// Whatever the performance-counter service answers (names of any length, sizes that lie,
// instance lists with or without terminators, failures anywhere), building the catalogue,
// selecting and turning a name into a tooltip stay inside their buffers and leave nothing open.
#include "monitor/CounterCatalogue.h"
#include "platform/substitute/Substitute.h"
#include "tests/support/ProgramState.h"
#include "tray/TrayPresenter.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <cstring>

namespace {

// Text or a list: mostly printable units, sometimes any unit at all (zeros, surrogates).
template <typename Units = WideString>
Units Take(FuzzedDataProvider& data, size_t longest) {
    Units units(data.ConsumeIntegralInRange<size_t>(0, longest), 0);
    for (WCHAR& unit : units)
        unit = data.ConsumeBool() ? static_cast<WCHAR>(data.ConsumeIntegralInRange(0x20, 0x7E))
                                  : data.ConsumeIntegral<WCHAR>();
    return units;
}

void Check(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "broken: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    FuzzedDataProvider data(bytes, size);
    substitute::Reset();
    ResetProgramState();
    InitTrayRecord(nullptr);
    substitute::UseCodePage(data.ConsumeBool() ? 932 : 1252);

    const DWORD indexes[] = {FirstDiskObjectIndex, SecondDiskObjectIndex, DiskCounterIndex};
    WideString names[3];
    for (int i = 0; i < 3; ++i) substitute::SetPerfName(indexes[i], names[i] = Take(data, data.ConsumeBool() ? 16 : 1100));
    for (int i = 0; i < 2; ++i) {
        std::vector<WideString> instances(data.ConsumeIntegralInRange(0, 8));
        for (WideString& instance : instances) instance = Take(data, data.ConsumeBool() ? 12 : 2100);
        substitute::AddPerfObject(names[i], instances, {names[2]});
        // Or lists as a broken service might give them, with lengths that may lie.
        if (data.ConsumeBool())
            substitute::SetRawObjectAnswer(
                names[i], {data.ConsumeIntegralInRange<DWORD>(0, 16), data.ConsumeIntegralInRange<DWORD>(0, 700),
                           Take<std::vector<WCHAR>>(data, 8), Take<std::vector<WCHAR>>(data, 600)});
    }
    // Never with success: a query that "opened" so would have no handle to close.
    for (int failures = data.ConsumeIntegralInRange(0, 4); failures > 0; --failures)
        substitute::FailNext(data.PickValueInArray({"PdhOpenQueryA", "PdhLookupPerfNameByIndexW", "PdhEnumObjectItemsW",
                                                    "WideCharToMultiByte"}),
                             data.ConsumeIntegral<uint32_t>() | 1, data.ConsumeIntegralInRange(0u, 6u));

    BuildCounterCatalogue();
    SelectDefaultEntry();
    if (data.ConsumeBool()) SelectSavedEntry(Take(data, 40));
    SetTooltipFromEntry(data.ConsumeIntegralInRange<int>(-2, static_cast<int>(CounterCatalogue.size()) + 1));
    TrayNotify(NIM_ADD, LoadDefaultIcon(114));

    for (auto& entry : CounterCatalogue)
        Check(entry.CounterPath.size() < EntryTextCapacity && entry.Ordinal >= 0, "an entry over its capacity");
    Check(TooltipText.size() < 200 && strnlen(TrayRecord.szTip, 64) <= TrayTipLimit, "tooltip or tip over its buffer");
    Check(SelectedCounterPath.empty() == CounterCatalogue.empty(), "selection without catalogue");
    for (auto& problem : substitute::Problems()) Check(false, problem.c_str());
    return 0;
}
