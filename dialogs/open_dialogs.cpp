#include "dialogs/dialogs.h"

#include <vector>

#include "records/dialog_windows.h"

namespace {

// Set in a dialog's DWLP_USER slot when the module ends it from outside.
constexpr LONG_PTR kEndedByShutDown = 1;

DLGPROC DialogProcOf(HWND window) {
    if (!IsDialogWindow(window)) return nullptr;
    return reinterpret_cast<DLGPROC>(GetWindowLongPtrA(window, DWLP_DLGPROC));
}

struct OpenDialogs {
    std::vector<HWND> managers;
    std::vector<HWND> editors;
};

// Out of memory, the dialogs found so far are all there is to go by: the
// exception must not unwind through EnumThreadWindows.
BOOL CALLBACK CollectOpenDialog(HWND window, LPARAM found) {
    const DLGPROC proc = DialogProcOf(window);
    try {
        auto& open = *reinterpret_cast<OpenDialogs*>(found);
        if (proc == ManagerDialogProc)
            open.managers.push_back(window);
        else if (proc == TipEditorAddProc || proc == TipEditorEditProc)
            open.editors.push_back(window);
    } catch (...) {
        return FALSE;
    }
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
    return open.managers.empty() ? nullptr : open.managers.front();
}

void EndOpenDialogsAsCancel() {
    const OpenDialogs open = FindOpenDialogs();
    for (HWND editor : open.editors) EndAsCancel(editor);
    for (HWND manager : open.managers) EndAsCancel(manager);
}

bool EndedByShutDown(HWND dialog) {
    return GetWindowLongPtrA(dialog, DWLP_USER) == kEndedByShutDown;
}
