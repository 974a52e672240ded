// Whatever the performance-counter service answers (names of any length, sizes that lie,
// instance lists with or without terminators, failures anywhere), building the catalogue,
// selecting and turning a name into a tooltip stay inside their buffers and leave nothing open.
#include "app/MainWindow.h"
#include "tray/TrayPresenter.h"
#include "monitor/CounterCatalogue.h"
#include "platform/substitute/Substitute.h"
#include "tests/support/ProgramState.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <cstring>

namespace {

WideString TakeText(FuzzedDataProvider& data, size_t longest) {
    size_t length = data.ConsumeIntegralInRange<size_t>(0, longest);
    WideString text;
    for (size_t i = 0; i < length && data.remaining_bytes() > 0; ++i) {
        // Mostly printable text, sometimes anything at all (surrogates, zeros).
        WCHAR unit = data.ConsumeBool() ? static_cast<WCHAR>(data.ConsumeIntegralInRange<int>(0x20, 0x7E))
                                        : data.ConsumeIntegral<WCHAR>();
        text.push_back(unit);
    }
    return text;
}

std::vector<WCHAR> TakeUnits(FuzzedDataProvider& data, size_t longest) {
    size_t length = data.ConsumeIntegralInRange<size_t>(0, longest);
    std::vector<WCHAR> units;
    for (size_t i = 0; i < length && data.remaining_bytes() > 0; ++i)
        units.push_back(data.ConsumeBool() ? WCHAR(0) : data.ConsumeIntegral<WCHAR>());
    return units;
}

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "broken: %s\n", what);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    FuzzedDataProvider data(bytes, size);
    substitute::Reset();
    ResetProgramState();
    InitTrayRecord(MainWindow);
    substitute::UseCodePage(data.ConsumeBool() ? 932 : 1252);

    const DWORD indexes[] = {FirstDiskObjectIndex, SecondDiskObjectIndex, DiskCounterIndex};
    WideString names[3];
    for (int i = 0; i < 3; ++i) {
        names[i] = TakeText(data, data.ConsumeBool() ? 16 : 1100);
        substitute::SetPerfName(indexes[i], names[i]);
        if (data.ConsumeIntegralInRange(0, 7) == 0)
            substitute::SetPerfNameSize(indexes[i], data.ConsumeIntegral<DWORD>());
    }
    for (int i = 0; i < 2; ++i) {
        if (data.ConsumeBool()) {
            std::vector<WideString> instances;
            size_t count = data.ConsumeIntegralInRange<size_t>(0, 8);
            for (size_t k = 0; k < count; ++k) instances.push_back(TakeText(data, data.ConsumeBool() ? 12 : 2100));
            substitute::AddPerfObject(names[i], instances, {names[2]});
        } else {
            substitute::RawObjectAnswer answer;
            answer.counterList = TakeUnits(data, 8);
            answer.instanceList = TakeUnits(data, 600);
            answer.counterLength = data.ConsumeBool() ? static_cast<DWORD>(answer.counterList.size())
                                                      : data.ConsumeIntegralInRange<DWORD>(0, 4096);
            answer.instanceLength = data.ConsumeBool() ? static_cast<DWORD>(answer.instanceList.size())
                                                       : data.ConsumeIntegral<DWORD>();
            substitute::SetRawObjectAnswer(names[i], answer);
        }
    }
    static const char* const functions[] = {"PdhOpenQueryA", "PdhLookupPerfNameByIndexW", "PdhEnumObjectItemsW",
                                            "WideCharToMultiByte"};
    for (int failures = data.ConsumeIntegralInRange(0, 4); failures > 0; --failures) {
        const char* function = data.PickValueInArray(functions);
        uint32_t status = data.ConsumeIntegral<uint32_t>();
        // A query that "opens" with success but no handle is not something to fail on.
        if (status == 0 && std::strcmp(function, "PdhOpenQueryA") == 0) status = PDH_INVALID_DATA;
        substitute::FailNext(function, status, data.ConsumeIntegralInRange<unsigned>(0, 6));
    }

    BuildCounterCatalogue();
    SelectDefaultEntry();
    if (data.ConsumeBool()) SelectSavedEntry(TakeText(data, 40));
    SetTooltipFromEntry(data.ConsumeIntegralInRange<int>(-2, static_cast<int>(CounterCatalogue.size()) + 1));
    TrayNotify(NIM_ADD, LoadDefaultIcon(114));

    for (auto& entry : CounterCatalogue) {
        Check(entry.DisplayName.size() < EntryTextCapacity, "display name too long");
        Check(entry.CounterPath.size() < EntryTextCapacity, "counter path too long");
        Check(entry.Ordinal >= 0, "negative ordinal");
    }
    Check(TooltipText.size() < 200, "tooltip longer than its buffer");
    Check(std::memchr(TrayRecord.szTip, 0, 64) != nullptr, "unterminated tip");
    Check(strnlen(TrayRecord.szTip, 64) <= TrayTipLimit, "tip over 63 bytes");
    Check(SelectedCounterPath.empty() == CounterCatalogue.empty(), "selection without catalogue");
    for (auto& problem : substitute::Problems()) std::fprintf(stderr, "problem: %s\n", problem.c_str());
    Check(substitute::Problems().empty(), "the substitute saw misuse or a leak");
    return 0;
}
