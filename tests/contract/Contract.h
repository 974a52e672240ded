// What the program relies on from Windows, stated in Win32 alone. The same files run natively
// against the substitute and, cross-built, under Wine against the real interfaces.
#pragma once

#include "platform/Win32.h"

#include <gtest/gtest.h>

// True when the real interfaces are Wine's.
bool UnderWine();

// One check where Wine is known to answer otherwise than Windows documents: the documented
// Windows answer is expected everywhere except under Wine, where Wine's own answer is. Say in a
// comment beside it what Windows documents.
#define EXPECT_WINE_DIFFERS(actual, windowsAnswer, wineAnswer) \
    EXPECT_EQ(actual, UnderWine() ? (wineAnswer) : (windowsAnswer)) << "Wine differs here"
