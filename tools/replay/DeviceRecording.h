// Drive recordings: what one machine's storage drivers answered, as text (RECORDING.md), played
// through the substitute's device hook.
#pragma once

#include <string>
#include <string_view>

namespace replay {

// Makes the recorded drivers the substitute's devices and sets the recorded platform family.
// Returns the empty text, or "line N: what is wrong" and seeds nothing. A recording is outside data: any text gives one
// or the other.
std::string LoadDeviceRecording(std::string_view text);

}  // namespace replay
