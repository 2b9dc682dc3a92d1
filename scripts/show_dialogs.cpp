// Opens one of the dialogs with a few tips for scripts/screenshot-dialogs:
//   show_dialogs.exe manager|add|edit RECT_FILE
// Once the dialog has been on screen for a moment it writes its outer rectangle
// as an ImageMagick crop geometry (WxH+X+Y) to RECT_FILE; a while later it
// closes the dialog itself, so the script never has to.
#include <windows.h>

#include <cstdio>
#include <string>

#include "dialogs/dialogs.h"
#include "records/module_state.h"
#include "resources/resource_ids.h"
#include "tests/shared/dialog_hook.h"

namespace {

constexpr UINT kShownMs = 1500;
constexpr UINT kCloseMs = 8000;

const char* g_rectFile;
HWND g_dialog;

// Runs inside the dialog's modal loop once the dialog is filled. The manager
// is shown with its second row selected; the editors have no list.
void NoteDialog(HWND dialog) {
    if (g_dialog) return;
    g_dialog = dialog;
    SendDlgItemMessageA(dialog, IDC_TIPS_LIST, LB_SETSEL, TRUE, 1);
}

void CALLBACK WriteRect(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    RECT rect{};
    GetWindowRect(g_dialog, &rect);
    if (FILE* out = std::fopen(g_rectFile, "w")) {
        std::fprintf(out, "%ldx%ld+%ld+%ld\n", rect.right - rect.left, rect.bottom - rect.top,
                     rect.left, rect.top);
        std::fclose(out);
    }
}

void CALLBACK CloseDialog(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    PostMessageA(g_dialog, WM_COMMAND, IDCANCEL, 0);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: show_dialogs manager|add|edit RECT_FILE\n");
        return 2;
    }
    const std::string which = argv[1];
    g_rectFile = argv[2];
    g_instance = GetModuleHandleA(nullptr);
    TipsList.ReplaceAll({
        "Press F1 in any window for help on that window.",
        "Drag a file onto the main window to open it.",
        "",
        "Hold Shift while you click to select several rows at once.",
        "The tray icon's menu edits these tips.",
        "A tip that is wider than the list shows a scroll bar under it, so that "
        "the rest of it can be read.",
    });
    EditIndex = 1;

    HookNewDialogs(NoteDialog);
    SetTimer(nullptr, 0, kShownMs, WriteRect);
    SetTimer(nullptr, 0, kCloseMs, CloseDialog);
    INT_PTR result = -1;
    if (which == "manager") {
        result = DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_TIPS), nullptr,
                                 ManagerDialogProc, 0);
    } else if (which == "add" || which == "edit") {
        result = DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_TIP_EDIT), nullptr,
                                 which == "add" ? TipEditorAddProc : TipEditorEditProc, 0);
    }
    UnhookNewDialogs();
    return result == -1 ? 1 : 0;
}
