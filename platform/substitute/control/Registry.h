// Registry: the control section grows as the program comes to use it.
#pragma once

#include "platform/substitute/Win32Subset.h"
