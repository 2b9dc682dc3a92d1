// Turns the configured picture into the tray icon.
#pragma once

#include <windows.h>

#include "plugin/starter_api.h"

// A new icon owned by the caller, or null when the picture gives none.
HICON IconFromPicture(const PictureRecord* picture);
