// What the program relies on from Windows, stated in Win32 alone. The same files run natively
// against the substitute and, cross-built, under Wine against the real interfaces.
#pragma once

#include "platform/Win32.h"

#include <gtest/gtest.h>

// True when the real interfaces are Wine's. Where Wine is known to answer otherwise than Windows
// documents, a check expects Wine's answer under Wine and says beside it what Windows documents.
bool UnderWine();

// A window for the shell's notifications to go to: a real one, or a handle the substitute takes.
HWND NotifiedWindow();
