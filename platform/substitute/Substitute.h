// The control side of the substitute: tests, tools and benchmarks seed the models, script their
// answers and failures, and read the log of calls through these declarations. Each model has
// its own section under control/.
#pragma once

#include "platform/substitute/Win32Subset.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/substitute/control/Machine.h"
#include "platform/substitute/control/Threads.h"
#include "platform/substitute/control/CodePages.h"
#include "platform/substitute/control/Pdh.h"
#include "platform/substitute/control/Shell.h"
#include "platform/substitute/control/Registry.h"
#include "platform/substitute/control/DeviceControl.h"
#include "platform/substitute/control/Windows.h"
#include "platform/substitute/control/Library.h"
