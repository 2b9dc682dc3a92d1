#include "dialogs/dialogs.h"

#include <cstddef>

#include "records/dialog_windows.h"

namespace {

// Set in a dialog's DWLP_USER slot when the module ends it from outside.
constexpr LONG_PTR kEndedByShutDown = 1;

DLGPROC DialogProcOf(HWND window) {
    if (!IsDialogWindow(window)) return nullptr;
    return reinterpret_cast<DLGPROC>(GetWindowLongPtrA(window, DWLP_DLGPROC));
}

// A shut-down while memory is out must still find every dialog to close it,
// so finding them allocates nothing. The manager is one, and it runs one
// editor at a time; a plug-in started again while its old dialogs wind down
// adds a few at most.
constexpr size_t kMaxOpen = 8;
struct OpenDialogs {
    HWND managers[kMaxOpen];
    size_t managerCount = 0;
    HWND editors[kMaxOpen];
    size_t editorCount = 0;
};

BOOL CALLBACK CollectOpenDialog(HWND window, LPARAM found) {
    auto& open = *reinterpret_cast<OpenDialogs*>(found);
    const DLGPROC proc = DialogProcOf(window);
    if (proc == ManagerDialogProc && open.managerCount < kMaxOpen)
        open.managers[open.managerCount++] = window;
    else if ((proc == TipEditorAddProc || proc == TipEditorEditProc) && open.editorCount < kMaxOpen)
        open.editors[open.editorCount++] = window;
    return TRUE;
}

// The dialogs run on this thread, the manager without an owner and the editor
// owned by it, so both are among the thread's top-level windows; their dialog
// procedures tell them apart from the host's own dialogs. Looking them up
// keeps no record that could go stale.
OpenDialogs FindOpenDialogs() {
    OpenDialogs open;
    EnumThreadWindows(GetCurrentThreadId(), CollectOpenDialog, reinterpret_cast<LPARAM>(&open));
    return open;
}

void EndAsCancel(HWND dialog) {
    SetWindowLongPtrA(dialog, DWLP_USER, kEndedByShutDown);
    EndDialog(dialog, IDCANCEL);
}

}  // namespace

HWND FindOpenManager() {
    const OpenDialogs open = FindOpenDialogs();
    // A manager a stop ended lingers, hidden, until its loop unwinds, which a
    // host's handler running above that loop holds off: it is open no more.
    for (size_t i = 0; i < open.managerCount; ++i) {
        if (!EndedByShutDown(open.managers[i])) return open.managers[i];
    }
    return nullptr;
}

void EndOpenDialogsAsCancel() {
    const OpenDialogs open = FindOpenDialogs();
    for (size_t i = 0; i < open.editorCount; ++i) EndAsCancel(open.editors[i]);
    for (size_t i = 0; i < open.managerCount; ++i) EndAsCancel(open.managers[i]);
}

bool EndedByShutDown(HWND dialog) {
    return GetWindowLongPtrA(dialog, DWLP_USER) == kEndedByShutDown;
}
