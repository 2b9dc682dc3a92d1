#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "records/dialog_windows.h"
#include "records/module_state.h"
#include "records/module_tips_file.h"
#include "resources/resource_ids.h"
#include "tests/shared/tips_readback.h"
#include "tests/tray/tray_fixture.h"

namespace {

// The manager's step: removes the first row, then presses the given button.
DialogStep RemoveFirstThen(int button) {
    return [button](HWND manager) {
        EXPECT_EQ("Tips", WindowText(manager));
        EXPECT_EQ(nullptr, GetWindow(manager, GW_OWNER));
        SendMessageA(GetDlgItem(manager, IDC_TIPS_LIST), LB_SETSEL, TRUE, 0);
        Click(manager, IDC_REMOVE_TIPS);
        Click(manager, button);
    };
}

BOOL CALLBACK CountManagers(HWND window, LPARAM count) {
    if (IsDialogWindow(window) && WindowText(window) == "Tips") ++*reinterpret_cast<int*>(count);
    return TRUE;
}

int OpenManagers() {
    int count = 0;
    EnumThreadWindows(GetCurrentThreadId(), CountManagers, reinterpret_cast<LPARAM>(&count));
    return count;
}

using EditTips = TrayTest;

// The command as a menu sends it, and as an accelerator does (high word 1).
TEST_F(EditTips, OkRewritesTheFile) {
    for (const WPARAM command : {WPARAM{IDM_EDIT_TIPS}, MAKEWPARAM(IDM_EDIT_TIPS, 1)}) {
        WriteBytes(tips, kSeededTips);
        ReadTipsFile();
        g_steps.push_back(RemoveFirstThen(IDOK));
        Command(command);
        EXPECT_EQ(TipsFileText({"second", "third"}), ReadBytes(tips)) << command;
        EXPECT_TRUE(g_boxes.empty());
    }
}

TEST_F(EditTips, CancelWritesNothingAndKeepsTheEdits) {
    g_steps.push_back(RemoveFirstThen(IDCANCEL));
    Command(IDM_EDIT_TIPS);
    EXPECT_EQ(kSeededTips, ReadBytes(tips));
    EXPECT_EQ((Tips{"second", "third"}), TipsNow());
    EXPECT_TRUE(g_boxes.empty());

    // The next manager shows the kept edits and writes them on OK.
    Tips shown;
    g_steps.push_back([&](HWND manager) {
        shown = Rows(manager);
        Click(manager, IDOK);
    });
    Command(IDM_EDIT_TIPS);
    EXPECT_EQ((Tips{"second", "third"}), shown);
    EXPECT_EQ(TipsFileText({"second", "third"}), ReadBytes(tips));
}

TEST_F(EditTips, AFailedWriteIsReportedOnce) {
    ASSERT_TRUE(SetFileAttributesA(tips.c_str(), FILE_ATTRIBUTE_READONLY));
    g_steps.push_back(RemoveFirstThen(IDOK));
    g_steps.push_back([](HWND box) { Click(box, IDOK); });
    Command(IDM_EDIT_TIPS);
    EXPECT_EQ(kSeededTips, ReadBytes(tips));
    EXPECT_EQ((Tips{"second", "third"}), TipsNow());
    ExpectOneBox(NotifyWindow, "Failed to write new tips.rc file", "Error",
                 MB_ICONERROR | MB_TOPMOST);
}

TEST_F(EditTips, OkAsksBeforeReplacingTipsAnotherProgramWrote) {
    const std::string theirs = "0002// current line\r\nfirst\r\nsecond\r\nthird\r\nfourth\r\n";
    WriteBytes(tips, theirs);
    g_steps.push_back(RemoveFirstThen(IDOK));
    g_steps.push_back([](HWND box) { Click(box, IDNO); });
    Command(IDM_EDIT_TIPS);
    EXPECT_EQ(theirs, ReadBytes(tips));
    EXPECT_EQ((Tips{"second", "third"}), TipsNow());
    // The question alone: a No is no failure.
    ExpectOneBox(NotifyWindow,
                 "Another program has changed the tips in tips.rc since they were last read or "
                 "saved.\n\nReplace them with your edited list?",
                 "Edit Tips", MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2 | MB_TOPMOST);
    // Yes, and the saves after it, are the tips file's own tests.
}

TEST_F(EditTips, AManagerThatCannotOpenChangesNothing) {
    // The system's own library has no dialog 101.
    const HINSTANCE own = g_instance;
    g_instance = GetModuleHandleA("kernel32.dll");
    Command(IDM_EDIT_TIPS);
    g_instance = own;
    EXPECT_EQ(kSeededTips, ReadBytes(tips));
    EXPECT_TRUE(g_boxes.empty());
}

TEST_F(EditTips, ChosenAgainFromTheMenuBringsTheOpenManagerForward) {
    HWND foreground = nullptr, first = nullptr;
    int managers = 0;
    g_steps.push_back([&](HWND manager) {
        first = manager;
        SetForegroundWindow(host);
        g_menuSteps.push_back(Choose('e'));
        TrayCallback(1, WM_RBUTTONDOWN);
        PumpMessages();  // the chosen command, posted when the menu closed
        foreground = GetForegroundWindow();
        managers = OpenManagers();
        Click(manager, IDOK);
    });
    Command(IDM_EDIT_TIPS);
    EXPECT_EQ(1, g_menusShown);
    EXPECT_EQ(1, managers);
    EXPECT_NE(nullptr, first);
    EXPECT_EQ(first, foreground);
    EXPECT_EQ(TipsFileText({"first", "second", "third"}), ReadBytes(tips));
}

TEST_F(EditTips, ChosenAgainWhileTheEditorRunsBringsTheEditorForward) {
    HWND editor = nullptr, foreground = nullptr;
    int managers = 0;
    g_steps.push_back([](HWND manager) {
        Click(manager, IDC_ADD_TIP);
        Click(manager, IDCANCEL);
    });
    g_steps.push_back([&](HWND addEditor) {
        editor = addEditor;
        SetForegroundWindow(host);
        Command(IDM_EDIT_TIPS);
        foreground = GetForegroundWindow();
        managers = OpenManagers();
        Click(addEditor, IDCANCEL);
    });
    Command(IDM_EDIT_TIPS);
    EXPECT_EQ(1, managers);
    EXPECT_NE(nullptr, editor);
    EXPECT_EQ(editor, foreground);
    EXPECT_EQ(kSeededTips, ReadBytes(tips));
}

}  // namespace
