// DeviceControl: declared here as the program comes to use it.
#pragma once

#include "platform/substitute/api/Types.h"
