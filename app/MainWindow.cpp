#include "app/MainWindow.h"

HINSTANCE AppInstance = nullptr;
HWND MainWindow = nullptr;
UINT TaskbarCreatedMessage = 0;
