// Device paths as the drive probes open them.
#include "tests/contract/Contract.h"

namespace {

TEST(DeviceControlContract, ADriveThatIsNotThereDoesNotOpen) {
    SetLastError(0xDEADBEEF);
    HANDLE device = CreateFileA("\\\\.\\PhysicalDrive99", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(device, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), 0x2u);  // ERROR_FILE_NOT_FOUND
}

}  // namespace
