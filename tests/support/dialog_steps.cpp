#include "tests/support/dialog_steps.h"

#include <gtest/gtest.h>

#include "records/dialog_windows.h"
#include "tests/support/message_box_recorder.h"

std::deque<DialogStep> g_steps;

namespace {

UINT_PTR g_watchdog;
constexpr UINT kWatchdogMs = 8000;

void RunNextStep(HWND opened) {
    if (g_steps.empty()) {
        ADD_FAILURE() << "no step for the window \"" << WindowText(opened) << "\"";
        PostMessageA(opened, WM_CLOSE, 0, 0);
        PostMessageA(opened, WM_COMMAND, IDNO, 0);
        return;
    }
    DialogStep step = std::move(g_steps.front());
    g_steps.pop_front();
    step(opened);
}

BOOL CALLBACK CloseDialog(HWND hwnd, LPARAM) {
    if (IsDialogWindow(hwnd)) {
        ADD_FAILURE() << "the window \"" << WindowText(hwnd) << "\" was still open";
        PostMessageA(hwnd, WM_COMMAND, IDCANCEL, 0);
        PostMessageA(hwnd, WM_COMMAND, IDNO, 0);
    }
    return TRUE;
}

void CALLBACK Watchdog(HWND, UINT, UINT_PTR, DWORD) {
    EnumThreadWindows(GetCurrentThreadId(), CloseDialog, 0);
}

}  // namespace

DialogStep BoxAnswered(int button, std::string text, std::string caption) {
    return [button, text, caption](HWND box) {
        EXPECT_EQ(text, ItemText(box, kBoxTextId));
        if (!caption.empty()) EXPECT_EQ(caption, WindowText(box));
        Click(box, button);
    };
}

void RestartDialogWatchdog() {
    KillTimer(nullptr, g_watchdog);
    g_watchdog = SetTimer(nullptr, 0, kWatchdogMs, Watchdog);
}

void WatchDialogs() {
    g_steps.clear();
    ASSERT_TRUE(HookNewDialogs(RunNextStep));
    g_watchdog = SetTimer(nullptr, 0, kWatchdogMs, Watchdog);
}

void WatchDialogsAndBoxes(HMODULE module) {
    WatchDialogs();
    RecordMessageBoxes(module);
    g_boxes.clear();
}

void StopWatchingDialogs() {
    KillTimer(nullptr, g_watchdog);
    UnhookNewDialogs();
    EXPECT_TRUE(g_steps.empty()) << g_steps.size() << " step(s) never ran";
    g_steps.clear();
}
