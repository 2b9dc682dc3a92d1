// The hidden window that owns the tray icon, its popup menu and its commands.
#pragma once

#include <windows.h>

// The window procedure of the class "Calvorin".
LRESULT CALLBACK NotifyWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The class and the one window of it; the window's handle goes to NotifyWindow.
bool RegisterNotifyWindowClass();
HWND CreateNotifyWindow();
void UnregisterNotifyWindowClass();
