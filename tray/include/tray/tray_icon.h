// The tray icon: made from the configured picture and handed to the host.
#pragma once

#include <windows.h>

#include <cstdint>

#include "records/starter_api.h"

// A new icon owned by the caller, or null when the picture gives none.
HICON IconFromPicture(const PictureRecord* picture);

// Fills g_trayIcon for NotifyWindow with the icon made from g_picture, or the
// module's own icon, and hands it to the host's add-icon routine, whose result
// becomes TrayIconId.
uint32_t AddTrayIcon();
