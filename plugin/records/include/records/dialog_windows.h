// Telling dialogs and message boxes apart from a thread's other windows. The
// module, the tests and the benchmarks all see these windows through a CBT hook
// or by enumerating the thread's windows.
#pragma once

#include <windows.h>

#include <cstring>

// Dialogs and message boxes alike are of the system's dialog class.
inline bool IsDialogWindow(HWND window) {
    char className[16] = "";
    GetClassNameA(window, className, sizeof className);
    return std::strcmp(className, "#32770") == 0;
}

// For HCBT_CREATEWND: a new dialog or message box of its own, not a page or a
// control inside another window.
inline bool IsNewTopLevelDialog(WPARAM window, LPARAM create) {
    return IsDialogWindow(reinterpret_cast<HWND>(window)) &&
           !(reinterpret_cast<const CBT_CREATEWNDA*>(create)->lpcs->style & WS_CHILD);
}
