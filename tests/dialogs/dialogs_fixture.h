// What the dialog tests share: their fixture, seeding and reading TipsList,
// reading the manager's list box, running the dialogs the way the module does.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "dialogs/dialogs.h"
#include "records/module_state.h"
#include "resources/resource_ids.h"
#include "tests/shared/tips_readback.h"
#include "tests/support/dialog_steps.h"
#include "tests/support/message_box_recorder.h"

// Dialogs driven by steps, their message boxes recorded; a test that lends
// the dialogs another module's instance gets the program's own back.
class DialogTest : public testing::Test {
protected:
    void SetUp() override { WatchDialogsAndBoxes(); }
    void TearDown() override {
        g_instance = GetModuleHandleA(nullptr);
        StopWatchingDialogs();
    }
};

inline void SeedTips(Tips tips) {
    TipsList.ReplaceAll(TipTexts(tips.begin(), tips.end()));
}

inline HWND ListOf(HWND manager) {
    return GetDlgItem(manager, IDC_TIPS_LIST);
}

inline std::vector<int> SelectedRowsOf(HWND manager) {
    HWND list = ListOf(manager);
    std::vector<int> rows(static_cast<size_t>(SendMessageA(list, LB_GETSELCOUNT, 0, 0)));
    if (!rows.empty())
        SendMessageA(list, LB_GETSELITEMS, rows.size(), reinterpret_cast<LPARAM>(rows.data()));
    return rows;
}

inline void SelectRows(HWND manager, std::initializer_list<int> rows) {
    for (int row : rows) SendMessageA(ListOf(manager), LB_SETSEL, TRUE, row);
}

inline INT_PTR RunManager() {
    return DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_TIPS), nullptr, ManagerDialogProc, 0);
}

inline INT_PTR RunEditor(DLGPROC mode) {
    return DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_TIP_EDIT), nullptr, mode, 0);
}

// Types as a user would: one WM_CHAR per character, into the focused caret.
inline void TypeInto(HWND edit, const std::string& text) {
    for (unsigned char c : text) SendMessageA(edit, WM_CHAR, c, 0);
}

// Replaces the editor's text as a user would: all of it selected, then typed over.
inline void TypeOver(HWND editor, const std::string& text) {
    HWND edit = GetDlgItem(editor, IDC_TIP_TEXT);
    SendMessageA(edit, EM_SETSEL, 0, -1);
    TypeInto(edit, text);
}

inline DialogStep Press(int button) {
    return [button](HWND window) { Click(window, button); };
}

// Replaces the editor's text, then presses the button.
inline DialogStep TypeAndPress(std::string typed, int button) {
    return [=](HWND editor) {
        TypeOver(editor, typed);
        Click(editor, button);
    };
}

// Keys go through the dialog's modal loop, which turns Enter and Escape into commands.
inline void PressKey(HWND dialog, WPARAM key) {
    HWND target = GetFocus() ? GetFocus() : dialog;
    PostMessageA(target, WM_KEYDOWN, key, 0);
    PostMessageA(target, WM_KEYUP, key, 0xC0000000);
}

// Both dialogs open where CenterOnScreen puts them; its own test checks the
// arithmetic on exact numbers.
inline void ExpectCentredOnScreen(HWND dialog) {
    RECT rect{};
    GetWindowRect(dialog, &rect);
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN) / 2 - (rect.right - rect.left) / 2, rect.left);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN) / 2 - (rect.bottom - rect.top) / 2, rect.top);
}

inline void PressCloseButton(HWND dialog) {
    PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
}

// A rectangle of a dialog's item in the dialog's client coordinates.
inline RECT ItemRect(HWND dialog, int id) {
    RECT rect{};
    GetWindowRect(GetDlgItem(dialog, id), &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

inline bool operator==(const RECT& a, const RECT& b) {
    return EqualRect(&a, &b) != FALSE;
}

inline void PrintTo(const RECT& r, std::ostream* out) {
    *out << "{" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << "}";
}
