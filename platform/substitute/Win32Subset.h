// The subset of the Windows interfaces that the program uses, for hosts without the SDK.
// Names and argument orders are the SDK's; widths are fixed so that a DWORD is 32 bits and a
// WCHAR is one UTF-16 code unit on every host. The behaviour lives in this folder's .cpp files,
// one per service, and is driven by tests through Substitute.h.
#pragma once

#include "platform/substitute/api/Types.h"
#include "platform/substitute/api/Core.h"
#include "platform/substitute/api/Threads.h"
#include "platform/substitute/api/CodePages.h"
#include "platform/substitute/api/Pdh.h"
#include "platform/substitute/api/Shell.h"
#include "platform/substitute/api/Registry.h"
#include "platform/substitute/api/DeviceControl.h"
#include "platform/substitute/api/Windows.h"
#include "platform/substitute/api/Library.h"
