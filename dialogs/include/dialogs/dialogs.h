// The modal dialogs through which the user edits TipsList.
#pragma once

#include <windows.h>

#include <cstdint>

// Position in TipsList of the tip the editor edits in edit mode.
extern int32_t EditIndex;

// Heights measured when a tip editor opens, in pixels, frame included.
struct EditorMetrics {
    int32_t windowHeight;
    int32_t editHeight;
    int32_t buttonHeight;
};
extern EditorMetrics AddModeMetrics;
extern EditorMetrics EditModeMetrics;

// Places a window's centre at the primary screen's centre.
void CenterOnScreen(HWND window);

// The tips manager (template IDD_TIPS): ends with 1 for OK, 2 for Cancel.
INT_PTR CALLBACK ManagerDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Refills the manager's list box from TipsList, one row per tip.
void FillManagerList(HWND dialog);

// The tip editor (template IDD_TIP_EDIT) in add mode and in edit mode.
INT_PTR CALLBACK TipEditorAddProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK TipEditorEditProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The tips manager open on this thread, or null; one a stop ended is not.
HWND FindOpenManager();
// Ends an open tip editor and an open manager as Cancel, the editor first. Each
// closes when control returns to its modal loop, so the command that ran the
// manager writes nothing; what either would still do to TipsList is skipped.
void EndOpenDialogsAsCancel();
// True for a dialog that EndOpenDialogsAsCancel ended.
bool EndedByShutDown(HWND dialog);
