// Drive recordings: what one machine's storage drivers answered, as text (RECORDING.md), read
// into the substitute's devices.
#pragma once

#include <string>
#include <string_view>

namespace replay {

// Seeds devices, answers and the platform family from a recording. Returns the empty text, or
// "line N: what is wrong" and seeds nothing. A recording is outside data: any text gives one or
// the other.
std::string LoadDeviceRecording(std::string_view text);

}  // namespace replay
