// Telling dialogs and message boxes apart from the other windows a CBT hook sees.
#pragma once

#include <windows.h>

#include <cstring>

// Dialogs and message boxes alike are of the system's dialog class.
inline bool IsDialog(HWND window) {
    char cls[16] = "";
    GetClassNameA(window, cls, sizeof cls);
    return std::strcmp(cls, "#32770") == 0;
}

// For HCBT_CREATEWND: a new dialog or message box of its own, not a page or a
// control inside another window.
inline bool IsNewTopLevelDialog(WPARAM window, LPARAM create) {
    return IsDialog(reinterpret_cast<HWND>(window)) &&
           !(reinterpret_cast<const CBT_CREATEWNDA*>(create)->lpcs->style & WS_CHILD);
}
