// The Velmo host simulator: a small host of our own that loads Calvorinor.plg,
// starts it with a host record, shows its tray icon and answers its messages.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "records/host_records.h"

// The main window: host window and parent window of the host record at once.
extern HWND g_mainWindow;
// How often the plug-in asked for its properties page; the demo waits on it.
extern int g_propertiesRequests;

// Adds a line to the host's visible log (and to the log file, if any).
void Log(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Where the host looks for tips.rc, in the order the plug-in tries them.
std::string FirstTipsPlace();
std::string SecondTipsPlace();

// The host's tray area: a strip in the main window that shows the plug-in's
// icon, mirrored in the system's notification area.
void CreateTrayArea(HWND parent, int x, int y, int width, int height);
uint32_t __attribute__((regparm(1))) HostAddIcon(TrayIconRecord* record);
uint32_t __attribute__((regparm(1))) HostRemoveIcon(TrayIconRecord* record);
// Passes a mouse action on the icon to the plug-in's window, as a tray does.
bool ForwardTrayMouse(UINT mouseMessage);
// Moves the mouse pointer onto the icon in the tray area, where the plug-in's
// menu opens when the icon is clicked.
bool PointAtTrayIcon();
// The notification area reports actions on our icon with this message.
constexpr UINT kShellTrayMessage = WM_APP + 1;
void OnShellTrayMessage(WPARAM iconId, LPARAM mouseMessage);
// True while the plug-in has an icon in the tray area.
bool TrayIconShown();
// Takes the icon out of the notification area before the host goes away.
void ClearTrayArea();

// Scripts the simulator: right-click, "&Edit Tips", add a tip, OK,
// "&Properties", close. With a shot folder, it asks for a screenshot at each
// stage by writing request.txt there and waits until the file is gone.
void StartDemo(const std::string& shotFolder);
