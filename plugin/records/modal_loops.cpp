#include "records/modal_loops.h"

#include "records/dialog_windows.h"
#include "records/messages.h"
#include "records/module_state.h"

namespace {

// MessageBoxA gives no handle to its box, so the box is recognised as the
// first dialog window the thread creates after the call begins.
LRESULT CALLBACK NoteNewBox(int code, WPARAM wParam, LPARAM lParam) {
    HHOOK hook = g_newBoxHook;
    const LRESULT next = CallNextHookEx(hook, code, wParam, lParam);
    if (code == HCBT_CREATEWND && hook && IsNewTopLevelDialog(wParam, lParam)) {
        if (g_openBoxCount < kMaxOpenBoxes)
            g_openBoxes[g_openBoxCount++] = {reinterpret_cast<HWND>(wParam), g_newBoxStyle};
        UnhookWindowsHookEx(hook);
        g_newBoxHook = nullptr;
    }
    return next;
}

// The module that holds this code.
HMODULE ThisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                       reinterpret_cast<LPCSTR>(&ShowMessageBox), &module);
    return module;
}

}  // namespace

StayLoaded::StayLoaded() : module_(ThisModule()), stopsBefore_(g_stopCount) {
}

StayLoaded::~StayLoaded() {
    // Still started, the host holds its own reference, so this one can go
    // without unmapping the code it returns to.
    if (module_ && !StoppedMeanwhile()) FreeLibrary(module_);
}

bool StayLoaded::StoppedMeanwhile() const {
    return g_stopCount != stopsBefore_;
}

int ShowMessageBox(HWND owner, const char* text, const char* caption, UINT style) {
    const StayLoaded stay;
    const unsigned depth = g_openBoxCount;
    g_newBoxStyle = style;
    g_newBoxHook = SetWindowsHookExA(WH_CBT, NoteNewBox, nullptr, GetCurrentThreadId());
    const int answer = MessageBoxA(owner, text, caption, style);
    if (g_newBoxHook) {  // no box was made
        UnhookWindowsHookEx(g_newBoxHook);
        g_newBoxHook = nullptr;
    }
    g_openBoxCount = depth;
    // A click that reached the box after the stop, while the host's handler
    // was still running, counts for nothing.
    if (stay.StoppedMeanwhile()) return (style & MB_TYPEMASK) == MB_YESNO ? IDNO : IDCANCEL;
    return answer;
}

void EndOpenMessageBoxes() {
    for (unsigned i = g_openBoxCount; i-- > 0;) {
        const OpenBox& box = g_openBoxes[i];
        EndDialog(box.window, (box.style & MB_TYPEMASK) == MB_YESNO ? IDNO : IDCANCEL);
    }
}

void NoteModuleStopped() {
    ++g_stopCount;
}

void ShowOutOfMemory(HWND owner) {
    if (g_outOfMemoryBoxUp) return;
    g_outOfMemoryBoxUp = true;
    ShowMessageBox(owner, kOutOfMemoryText, kErrorCaption, MB_OK | MB_ICONERROR | MB_TOPMOST);
    g_outOfMemoryBoxUp = false;
}
