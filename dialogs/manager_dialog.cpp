#include "dialogs/dialogs.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "records/messages.h"
#include "records/modal_loops.h"
#include "records/module_state.h"
#include "resources/resource_ids.h"
#include "win/handles.h"

namespace {

// The largest number of selected rows one command handles.
constexpr WPARAM kMaxSelectedRows = 32767;

// The selected rows in ascending order, at most kMaxSelectedRows of them. Rows
// beyond the end of TipsList are left out: a module restarted while the manager
// was open may have read a shorter list under it.
std::vector<int32_t> SelectedRows(HWND dialog) {
    HWND list = GetDlgItem(dialog, IDC_TIPS_LIST);
    const LRESULT selected = SendMessageA(list, LB_GETSELCOUNT, 0, 0);
    std::vector<int32_t> rows(selected > 0 ? static_cast<size_t>(selected) : 0);
    if (rows.empty()) return rows;
    const LRESULT stored =
        SendMessageA(list, LB_GETSELITEMS, kMaxSelectedRows, reinterpret_cast<LPARAM>(rows.data()));
    rows.resize(stored > 0 ? static_cast<size_t>(stored) : 0);
    while (!rows.empty() && static_cast<uint32_t>(rows.back()) >= TipsList.Count()) rows.pop_back();
    return rows;
}

int Length(const char* text) {
    return static_cast<int>(std::min<size_t>(std::strlen(text), INT_MAX));
}

// The width of a row as the list box draws it: it keeps its rows in UTF-16,
// turned from ours in the ANSI code page, which need not be the font's.
// No code page gives more UTF-16 units than bytes, so one pass fills wide.
// Out of memory, the row is measured as its bytes are: near enough for the
// scroll bar, and the change that refilled the list has been made already.
LONG DrawnWidth(HDC dc, const char* text, std::vector<wchar_t>& wide) {
    const int length = Length(text);
    SIZE size{};
    try {
        wide.resize(static_cast<size_t>(length));
    } catch (const std::bad_alloc&) {
        return GetTextExtentPoint32A(dc, text, length, &size) ? size.cx : 0;
    }
    const int units = MultiByteToWideChar(CP_ACP, 0, text, length, wide.data(), length);
    if (units <= 0 || !GetTextExtentPoint32W(dc, wide.data(), units, &size)) return 0;
    return size.cx;
}

// The width in pixels that the widest row takes in the list box's font, with
// a margin of one average character so that its last letter clears the
// border. Adding up each row's character widths costs far less than asking
// for every row's extent, but it holds only where a byte is a character, as
// every byte below 0x80 is in every ANSI code page; in the double-byte ones
// and UTF-8 a byte of 0x80 or above may be part of one. Rows with such a byte
// are measured whole; of the others only the widest is.
int WidestRowWidth(HWND list) {
    const WindowDcWithFont context(list,
                                   reinterpret_cast<HGDIOBJ>(SendMessageA(list, WM_GETFONT, 0, 0)));
    HDC dc = context.Get();
    if (!dc) return 0;
    TEXTMETRICA metrics{};
    GetTextMetricsA(dc, &metrics);
    INT characterWidths[256] = {};
    GetCharWidth32A(dc, 0, 255, characterWidths);

    const char* widestPlainText = "";
    uint64_t widestSum = 0;
    LONG widestMeasured = 0;
    std::vector<wchar_t> wide;
    for (uint32_t i = 0; i < TipsList.Count(); ++i) {
        const char* text = TipsList.At(i);
        uint64_t sum = 0;
        unsigned bytesSeen = 0;
        for (const char* c = text; *c; ++c) {
            const auto byte = static_cast<unsigned char>(*c);
            bytesSeen |= byte;
            sum += static_cast<uint32_t>(characterWidths[byte]);
        }
        if (bytesSeen & 0x80)
            widestMeasured = std::max(widestMeasured, DrawnWidth(dc, text, wide));
        else if (sum > widestSum) {
            widestSum = sum;
            widestPlainText = text;
        }
    }
    SIZE plain{};
    GetTextExtentPoint32A(dc, widestPlainText, Length(widestPlainText), &plain);
    const LONG widest = std::max(widestMeasured, plain.cx);
    return widest > 0 ? static_cast<int>(widest + metrics.tmAveCharWidth) : 0;
}

void ShowDialogFailed(HWND dialog) {
    ShowMessageBox(dialog, kDialogFailedText, kErrorCaption, MB_ICONERROR | MB_TOPMOST);
}

INT_PTR RunEditor(HWND dialog, DLGPROC mode) {
    const StayLoaded stay;
    return DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_TIP_EDIT), dialog, mode, 0);
}

void OnAddTip(HWND dialog) {
    const INT_PTR result = RunEditor(dialog, TipEditorAddProc);
    if (result == IDOK)
        FillManagerList(dialog);
    else if (result == -1)
        ShowDialogFailed(dialog);
}

// The selected tips go in one pass, and the list box is refilled from TipsList
// right after: erasing tips and deleting rows one at a time, highest first,
// gives the same list but takes quadratic time when thousands are selected.
void OnRemoveTips(HWND dialog) {
    TipsList.EraseSorted(SelectedRows(dialog));
    FillManagerList(dialog);
}

// Editing never changes the number of tips, so every selected row still names
// its tip when its turn comes. The list shows the old texts until the end.
void OnEditSelectedTips(HWND dialog) {
    for (int32_t row : SelectedRows(dialog)) {
        if (EndedByShutDown(dialog)) break;
        EditIndex = row;
        if (RunEditor(dialog, TipEditorEditProc) == -1) ShowDialogFailed(dialog);
    }
    FillManagerList(dialog);
}

}  // namespace

void FillManagerList(HWND dialog) {
    // Rows mirror TipsList one to one: the template has no LBS_SORT.
    HWND list = GetDlgItem(dialog, IDC_TIPS_LIST);
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
    // Without an extent the horizontal scroll bar never shows, and a tip wider
    // than the box could not be read to its end.
    SendMessageA(list, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(WidestRowWidth(list)), 0);
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
}

// A command that runs out of memory leaves TipsList as it was; the rows are
// filled from it again.
INT_PTR CALLBACK ManagerDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    return CatchAtBoundary(dialog, INT_PTR{TRUE}, [&]() -> INT_PTR {
        switch (message) {
        case WM_INITDIALOG:
            CenterOnScreen(dialog);
            FillManagerList(dialog);
            return TRUE;  // the focus goes to OK, the first tab stop
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
            case IDOK: EndDialog(dialog, IDOK); break;
            case IDCANCEL: EndDialog(dialog, IDCANCEL); break;
            case IDC_ADD_TIP: OnAddTip(dialog); break;
            case IDC_REMOVE_TIPS: OnRemoveTips(dialog); break;
            case IDC_EDIT_TIPS: OnEditSelectedTips(dialog); break;
            }
            return TRUE;  // every WM_COMMAND counts as handled, list notifications too
        }
        return FALSE;
    });
}
