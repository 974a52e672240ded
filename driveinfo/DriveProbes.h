// The five ways of asking the storage drivers about the physical drives. Each tries every device
// number of its range, skips what does not open or answer, and appends what it learns to the
// report under its own header.
#pragma once

#include "platform/Win32.h"

#include <cstddef>

// The storage device descriptor is read into this many bytes; its strings are decoded into an
// area of the same size.
constexpr size_t DescriptorAnswerSize = 512;
constexpr size_t DescriptorTextAreaSize = 512;

// In the order the report lists them.
enum DriveProbe {
    ProbePhysicalAdmin,  // physical drives opened for reading and writing; IDENTIFY through SMART, full ATA command
    ProbeScsi,           // SCSI ports; IDENTIFY through the miniport pass-through, two targets a port
    ProbePhysicalUser,   // physical drives opened without data access; storage descriptor and geometry
    ProbeSmart,          // physical drives opened for reading and writing; IDENTIFY through SMART, bare command
    ProbeNvmeUser,       // physical drives opened without data access; NVMe identity and health log
    DriveProbeCount
};

void RunDriveProbe(DriveProbe probe);

// One string of a storage device descriptor, given as plain text or as a hexadecimal dump of its
// bytes, decoded and trimmed into `out`; `swap` exchanges the bytes of each pair of a dump first
// (old drivers dump the byte-swapped ATA words; plain text is in the drive's own order). Reads
// nothing outside the DescriptorAnswerSize bytes of `answer`. Returns `out`.
char* DecodeDescriptorString(const BYTE* answer, DWORD offset, bool swap, char (&out)[DescriptorTextAreaSize]);
