// Reads arbitrary edit-box text as the Settings dialog's OK does (at most 15 characters) and
// checks the period against the C library's own reading of the same digits.
#include "settings/SettingsChoices.h"
#include "settings/SettingsStore.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    char text[16] = {};
    std::memcpy(text, data, size < 15 ? size : 15);
    DWORD period = BlinkDurationFromText(text);

    // strtoll skips the same white space and reads the same sign and digits; out of its range
    // it saturates, which is far outside ours either way.
    errno = 0;
    long long number = std::strtoll(text, nullptr, 10);
    DWORD expected = errno == ERANGE || number < 0 ? DialogBlinkMax
                     : number < DialogBlinkMin    ? DialogBlinkMin
                     : number > DialogBlinkMax    ? DialogBlinkMax
                                                  : static_cast<DWORD>(number);
    if (period != expected) {
        std::fprintf(stderr, "blink text fuzz: \"%s\" gave %u, expected %u\n", text, period, expected);
        std::abort();
    }
    return 0;
}
