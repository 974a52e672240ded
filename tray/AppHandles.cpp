#include "tray/AppHandles.h"

HINSTANCE AppInstance = nullptr;
HWND MainWindow = nullptr;
