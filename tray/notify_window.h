// The hidden window that owns the tray icon, its popup menu and its commands.
#pragma once

#include <windows.h>

// Registered as the window procedure of the class "Calvorin".
LRESULT CALLBACK NotifyWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
