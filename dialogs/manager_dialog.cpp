#include "dialogs/dialogs.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "plugin/messages.h"
#include "plugin/module_state.h"
#include "resources/resource_ids.h"

namespace {

// The largest number of selected rows one command handles.
constexpr WPARAM kMaxSelectedRows = 32767;

HWND TipsListBox(HWND dialog) {
    return GetDlgItem(dialog, IDC_TIPS_LIST);
}

// The selected rows in ascending order, at most kMaxSelectedRows of them.
std::vector<int32_t> SelectedRows(HWND dialog) {
    HWND list = TipsListBox(dialog);
    const LRESULT selected = SendMessageA(list, LB_GETSELCOUNT, 0, 0);
    std::vector<int32_t> rows(selected > 0 ? static_cast<size_t>(selected) : 0);
    if (rows.empty()) return rows;
    const LRESULT stored = SendMessageA(list, LB_GETSELITEMS, kMaxSelectedRows,
                                        reinterpret_cast<LPARAM>(rows.data()));
    rows.resize(stored > 0 ? static_cast<size_t>(stored) : 0);
    return rows;
}

void ShowDialogFailed(HWND dialog) {
    MessageBoxA(dialog, kDialogFailedText, kErrorCaption, MB_ICONERROR | MB_TOPMOST);
}

INT_PTR RunEditor(HWND dialog, DLGPROC mode) {
    return DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_TIP_EDIT), dialog, mode, 0);
}

// Drops the tips at the given ascending positions in one pass. Erasing them
// one at a time, highest first, gives the same list but takes quadratic time
// when thousands of rows are selected.
void EraseTipsAt(const std::vector<int32_t>& positions) {
    TipsList.EraseSorted(positions);
}

void OnAddTip(HWND dialog) {
    const INT_PTR result = RunEditor(dialog, TipEditorAddProc);
    if (result == IDOK)
        FillManagerList(dialog);
    else if (result == -1)
        ShowDialogFailed(dialog);
}

// The list box is refilled from TipsList right after, so its rows are not
// deleted one by one: that alone would make a large removal quadratic.
void OnRemoveTips(HWND dialog) {
    EraseTipsAt(SelectedRows(dialog));
    FillManagerList(dialog);
}

// Editing never changes the number of tips, so every selected row still names
// its tip when its turn comes. The list shows the old texts until the end.
void OnEditTips(HWND dialog) {
    for (int32_t row : SelectedRows(dialog)) {
        EditIndex = row;
        if (RunEditor(dialog, TipEditorEditProc) == -1) ShowDialogFailed(dialog);
    }
    FillManagerList(dialog);
}

}  // namespace

void FillManagerList(HWND dialog) {
    // Rows mirror TipsList one to one: the template has no LBS_SORT.
    HWND list = TipsListBox(dialog);
    const uint32_t count = TipsList.Count();
    size_t bytes = 0;
    for (uint32_t i = 0; i < count; ++i) bytes += std::strlen(TipsList.At(i)) + 1;
    // With redraw off and the rows reserved in one go, filling costs one
    // repaint instead of one per row, and the row array is not regrown.
    SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    SendMessageA(list, LB_RESETCONTENT, 0, 0);
    SendMessageA(list, LB_INITSTORAGE, count, static_cast<LPARAM>(bytes));
    for (uint32_t i = 0; i < count; ++i)
        SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(TipsList.At(i)));
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
}

INT_PTR CALLBACK ManagerDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        CenterOnScreen(dialog);
        FillManagerList(dialog);
        return TRUE;   // the focus goes to OK, the first tab stop
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:            EndDialog(dialog, IDOK); break;
        case IDCANCEL:        EndDialog(dialog, IDCANCEL); break;
        case IDC_ADD_TIP:     OnAddTip(dialog); break;
        case IDC_REMOVE_TIPS: OnRemoveTips(dialog); break;
        case IDC_EDIT_TIPS:   OnEditTips(dialog); break;
        }
        return TRUE;   // every WM_COMMAND counts as handled, list notifications too
    }
    return FALSE;
}
