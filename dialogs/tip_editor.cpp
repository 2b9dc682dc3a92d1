#include "dialogs/dialogs.h"

#include <string>

#include "records/messages.h"
#include "records/modal_loops.h"
#include "records/module_state.h"
#include "resources/resource_ids.h"

int32_t EditIndex;
EditorMetrics AddModeMetrics;
EditorMetrics EditModeMetrics;

namespace {

// The editor can be narrowed to this many pixels, whatever the font makes of
// the template's width in dialog units.
constexpr LONG kMinWindowWidth = 186;

int32_t OuterHeight(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    return rect.bottom - rect.top;
}

void OnOpen(HWND dialog, EditorMetrics& metrics, const char* caption) {
    CenterOnScreen(dialog);
    metrics.windowHeight = OuterHeight(dialog);
    metrics.editHeight = OuterHeight(GetDlgItem(dialog, IDC_TIP_TEXT));
    metrics.buttonHeight = OuterHeight(GetDlgItem(dialog, IDCANCEL));
    SetWindowTextA(dialog, caption);
}

void OnGetMinMaxInfo(const EditorMetrics& metrics, MINMAXINFO* limits) {
    limits->ptMinTrackSize.x = kMinWindowWidth;
    limits->ptMinTrackSize.y = metrics.windowHeight;
    limits->ptMaxTrackSize.y = metrics.windowHeight;
}

void OnSize(HWND dialog, const EditorMetrics& metrics, int width) {
    SetWindowPos(GetDlgItem(dialog, IDC_TIP_TEXT), nullptr, 0, 0, width, metrics.editHeight,
                 SWP_NOMOVE | SWP_NOZORDER);
    // An odd width gives each button one pixel less than width / 2, so a strip
    // three pixels wide stays bare at the right: the editor's established look.
    const int half = width / 2 - width % 2;
    SetWindowPos(GetDlgItem(dialog, IDOK), nullptr, 0, 0, half, metrics.buttonHeight,
                 SWP_NOMOVE | SWP_NOZORDER);
    SetWindowPos(GetDlgItem(dialog, IDCANCEL), nullptr, half, metrics.editHeight + 1, half,
                 metrics.buttonHeight, SWP_NOZORDER);
}

// The whole text, however long: a tip read from the file may exceed any fixed
// buffer, and confirming it unchanged must not cut it.
std::string TipText(HWND dialog) {
    HWND edit = GetDlgItem(dialog, IDC_TIP_TEXT);
    std::string text(static_cast<size_t>(GetWindowTextLengthA(edit)) + 1, '\0');
    text.resize(
        static_cast<size_t>(GetWindowTextA(edit, text.data(), static_cast<int>(text.size()))));
    return text;
}

void OnAddOk(HWND dialog) {
    const std::string text = TipText(dialog);
    if (!text.empty()) TipsList.Append(text);
    EndDialog(dialog, IDOK);
}

void OnEditOk(HWND dialog) {
    if (ShowMessageBox(dialog, kConfirmEditText, kEditTipCaption,
                       MB_YESNO | MB_ICONQUESTION | MB_TOPMOST) != IDYES)
        return;
    // The module may have stopped, and started again with a shorter list, while
    // the question was up; the editor was then ended as Cancel.
    if (EndedByShutDown(dialog) || static_cast<uint32_t>(EditIndex) >= TipsList.Count()) return;
    TipsList.ReplaceAt(static_cast<uint32_t>(EditIndex), TipText(dialog));
    EndDialog(dialog, IDOK);
}

// What both modes share; onOk is the mode's own OK.
INT_PTR EditorProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam, EditorMetrics& metrics,
                   void (*onOk)(HWND)) {
    switch (message) {
    case WM_GETMINMAXINFO:
        OnGetMinMaxInfo(metrics, reinterpret_cast<MINMAXINFO*>(lParam));
        return FALSE;
    case WM_SIZE: OnSize(dialog, metrics, LOWORD(lParam)); return FALSE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK: onOk(dialog); break;
        case IDCANCEL: EndDialog(dialog, IDCANCEL); break;
        }
        return TRUE;  // every WM_COMMAND counts as handled
    }
    return FALSE;
}

}  // namespace

// A change that runs out of memory is not made, and the editor stays open.
INT_PTR CALLBACK TipEditorAddProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return CatchAtBoundary(dialog, INT_PTR{TRUE}, [&]() -> INT_PTR {
        if (message == WM_INITDIALOG) {
            OnOpen(dialog, AddModeMetrics, kAddTipCaption);
            return TRUE;  // the focus goes to OK, the first tab stop
        }
        return EditorProc(dialog, message, wParam, lParam, AddModeMetrics, OnAddOk);
    });
}

INT_PTR CALLBACK TipEditorEditProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return CatchAtBoundary(dialog, INT_PTR{TRUE}, [&]() -> INT_PTR {
        if (message == WM_INITDIALOG) {
            OnOpen(dialog, EditModeMetrics, kEditTipCaption);
            SetDlgItemTextA(dialog, IDC_TIP_TEXT, TipsList.At(static_cast<uint32_t>(EditIndex)));
            return TRUE;
        }
        return EditorProc(dialog, message, wParam, lParam, EditModeMetrics, OnEditOk);
    });
}
