#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "records/module_state.h"
#include "tests/dialogs/dialogs_fixture.h"

namespace {

using ManagerDialog = DialogTest;

// A step for an editor run: checks the mode and the text it opened with, then acts.
DialogStep InEditor(const char* caption, const char* text, DialogStep act) {
    return [=](HWND editor) {
        EXPECT_EQ(caption, WindowText(editor));
        EXPECT_EQ(text, ItemText(editor, IDC_TIP_TEXT));
        act(editor);
    };
}

DialogStep TypeAndPress(const char* typed, int button) {
    return [=](HWND editor) {
        TypeOver(editor, typed);
        Click(editor, button);
    };
}

DialogStep Press(int button) {
    return [button](HWND window) { Click(window, button); };
}

TEST_F(ManagerDialog, OpensCentredWithOneRowPerTipAndEnterGivesOne) {
    SeedTips({"first", "", "third"});
    g_steps.push_back([](HWND manager) {
        EXPECT_EQ("Tips", WindowText(manager));
        EXPECT_EQ((Tips{"first", "", "third"}), Rows(manager));
        EXPECT_TRUE(SelectedRowsOf(manager).empty());
        ExpectCentredOnScreen(manager);
        EXPECT_EQ(GetDlgItem(manager, IDOK), GetFocus());
        PressKey(manager, VK_RETURN);
    });
    EXPECT_EQ(IDOK, RunManager());
    EXPECT_EQ((Tips{"first", "", "third"}), TipsNow());
}

TEST_F(ManagerDialog, RemovesSelectedRowsFromListAndListWithoutAsking) {
    SeedTips({"a", "b", "c", "d", "e"});
    g_steps.push_back([](HWND manager) {
        SelectRows(manager, {1, 3});
        Click(manager, IDC_REMOVE_TIPS);
        EXPECT_EQ((Tips{"a", "c", "e"}), Rows(manager));
        EXPECT_EQ((Tips{"a", "c", "e"}), TipsNow());
        EXPECT_TRUE(SelectedRowsOf(manager).empty());

        // The first and last rows and a run of neighbours, an empty tip among them.
        TipsList.ReplaceAll({"0", "", "2", "3", "4", "5", "6"});
        FillManagerList(manager);
        SelectRows(manager, {0, 1, 2, 5, 6});
        Click(manager, IDC_REMOVE_TIPS);
        EXPECT_EQ((Tips{"3", "4"}), Rows(manager));
        EXPECT_EQ((Tips{"3", "4"}), TipsNow());
        Click(manager, IDCANCEL);
    });
    EXPECT_EQ(IDCANCEL, RunManager());
    EXPECT_TRUE(g_boxes.empty());
    EXPECT_EQ((Tips{"3", "4"}), TipsNow()) << "Cancel undoes nothing";
}

TEST_F(ManagerDialog, WithNothingSelectedEditAndRemoveOnlyRefill) {
    SeedTips({});
    g_steps.push_back([](HWND manager) {
        Click(manager, IDC_EDIT_TIPS);
        Click(manager, IDC_REMOVE_TIPS);
        EXPECT_TRUE(Rows(manager).empty());
        TipsList.Append("added behind the dialog's back");
        Click(manager, IDC_REMOVE_TIPS);   // nothing selected: the refill shows it
        EXPECT_EQ((Tips{"added behind the dialog's back"}), Rows(manager));
        Click(manager, IDOK);
    });
    EXPECT_EQ(IDOK, RunManager());
    EXPECT_EQ(1u, TipsList.Count());
}

TEST_F(ManagerDialog, EditsEachSelectedRowInAscendingOrderThenRefills) {
    SeedTips({"zero", "one", "", "three"});
    g_steps.push_back([](HWND manager) {
        SelectRows(manager, {3, 0, 2});
        Click(manager, IDC_EDIT_TIPS);
        EXPECT_EQ((Tips{"ZERO", "one", "", "new"}), Rows(manager));
        EXPECT_TRUE(SelectedRowsOf(manager).empty());
        Click(manager, IDOK);
    });
    g_steps.push_back(InEditor("Edit Tip", "zero", [](HWND editor) {
        EXPECT_FALSE(IsWindowEnabled(GetWindow(editor, GW_OWNER)));
        TypeAndPress("ZERO", IDOK)(editor);
    }));
    g_steps.push_back(Press(IDYES));
    // Cancel skips only this tip; the list still shows the old texts meanwhile.
    g_steps.push_back(InEditor("Edit Tip", "", [](HWND editor) {
        EXPECT_EQ("zero", Rows(GetWindow(editor, GW_OWNER))[0]);
        TypeAndPress("never", IDCANCEL)(editor);
    }));
    g_steps.push_back(InEditor("Edit Tip", "three", TypeAndPress("new", IDOK)));
    g_steps.push_back(Press(IDYES));
    EXPECT_EQ(IDOK, RunManager());
    EXPECT_EQ((Tips{"ZERO", "one", "", "new"}), TipsNow());
    ASSERT_EQ(2u, g_boxes.size());
}

// The text's width in the list box's own font.
LONG RowTextWidth(HWND list, const std::string& text) {
    HDC dc = GetDC(list);
    const auto font = reinterpret_cast<HGDIOBJ>(SendMessageA(list, WM_GETFONT, 0, 0));
    HGDIOBJ old = SelectObject(dc, font);
    SIZE size{};
    GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(list, dc);
    return size.cx;
}

// Whether the list box draws anything when asked to paint itself into a
// bitmap of one marker colour: one left with its redraw switched off does not.
bool PaintsItself(HWND list) {
    constexpr COLORREF kMarker = RGB(1, 2, 3);
    RECT client{};
    GetClientRect(list, &client);
    HDC screen = GetDC(list);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, client.right, client.bottom);
    HGDIOBJ old = SelectObject(dc, bitmap);
    HBRUSH marker = CreateSolidBrush(kMarker);
    FillRect(dc, &client, marker);
    SendMessageA(list, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
    bool changed = false;
    for (int y = 0; y < client.bottom && !changed; y += 2)
        for (int x = 0; x < client.right && !changed; x += 2)
            changed = GetPixel(dc, x, y) != kMarker;
    DeleteObject(marker);
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(list, screen);
    return changed;
}

TEST_F(ManagerDialog, HorizontalExtentFollowsTheWidestRowAtEveryFill) {
    const std::string wide = "W" + std::string(300, 'm') + "!";
    SeedTips({"short", wide, "iiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiii", ""});
    g_steps.push_back([&wide](HWND manager) {
        HWND list = ListOf(manager);
        const LRESULT extent = SendMessageA(list, LB_GETHORIZONTALEXTENT, 0, 0);
        EXPECT_GT(extent, RowTextWidth(list, wide)) << "the last letter clears the border";
        EXPECT_LT(extent, RowTextWidth(list, wide) + 20);
        EXPECT_TRUE(GetWindowLongA(list, GWL_STYLE) & WS_HSCROLL) << "the scroll bar shows";
        EXPECT_TRUE(PaintsItself(list)) << "after the first fill";

        SelectRows(manager, {1});
        Click(manager, IDC_REMOVE_TIPS);
        const LONG rest = std::max(RowTextWidth(list, "short"),
                                   RowTextWidth(list, std::string(50, 'i')));
        EXPECT_GT(SendMessageA(list, LB_GETHORIZONTALEXTENT, 0, 0), rest);
        EXPECT_LT(SendMessageA(list, LB_GETHORIZONTALEXTENT, 0, 0), rest + 20);
        EXPECT_TRUE(PaintsItself(list)) << "after Remove";
        Click(manager, IDCANCEL);
    });
    EXPECT_EQ(IDCANCEL, RunManager());
}

// Japanese Windows shows a dialog's "MS Sans Serif" rows in a Shift-JIS font;
// Wine keeps its own ANSI-only face, so the test hands the list box one. There
// a lead or trail byte alone is as wide as a whole kanji or half of it, and
// adding up bytes makes the kanji row seem wider than the longer Latin one.
TEST_F(ManagerDialog, HorizontalExtentFitsTheWidestRowInCodePage932) {
    if (GetACP() != 932)
        GTEST_SKIP() << "needs code page 932: CTest runs it as dialogs_tests_cp932 "
                        "under LC_ALL=ja_JP.UTF-8, a locale scripts/setup generates";
    std::string kanji;
    for (int i = 0; i < 10; ++i) kanji += "\x8a\xbf\x8e\x9a";   // 漢字
    const Tips rows = {kanji, std::string(50, 'x'), "\x83\x71\x83\x93\x83\x67"};   // ヒント
    SeedTips(rows);
    LOGFONTA shiftJis{};
    shiftJis.lfHeight = -11;
    shiftJis.lfCharSet = SHIFTJIS_CHARSET;
    lstrcpyA(shiftJis.lfFaceName, "MS Sans Serif");
    HFONT font = CreateFontIndirectA(&shiftJis);
    ASSERT_TRUE(font);
    g_steps.push_back([&](HWND manager) {
        HWND list = ListOf(manager);
        SendMessageA(list, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        Click(manager, IDC_REMOVE_TIPS);   // nothing selected: only refills
        HDC dc = GetDC(list);
        HGDIOBJ old = SelectObject(dc, font);
        TEXTMETRICA metrics{};
        GetTextMetricsA(dc, &metrics);
        SelectObject(dc, old);
        ReleaseDC(list, dc);
        EXPECT_EQ(SHIFTJIS_CHARSET, metrics.tmCharSet) << "a Japanese font is installed";
        LONG widest = 0;
        for (const std::string& row : rows) widest = std::max(widest, RowTextWidth(list, row));
        const LRESULT extent = SendMessageA(list, LB_GETHORIZONTALEXTENT, 0, 0);
        EXPECT_GT(extent, widest) << "the widest row scrolls to its end";
        EXPECT_LT(extent, widest + 20) << "and not much further";
        Click(manager, IDCANCEL);
    });
    EXPECT_EQ(IDCANCEL, RunManager());
    DeleteObject(font);
}

// A restarted module may read a shorter list while the manager shows the old
// rows: rows beyond the list's end are skipped, never handed to it.
TEST_F(ManagerDialog, RowsBeyondAListThatShrankUnderTheManagerAreSkipped) {
    SeedTips({"a", "b", "c", "d", "e"});
    g_steps.push_back([](HWND manager) {
        SelectRows(manager, {1, 2, 4});  // 2 is the row at the new end
        SeedTips({"x", "y"});
        Click(manager, IDC_EDIT_TIPS);   // only row 1 has a tip
        EXPECT_EQ((Tips{"x", "Y"}), Rows(manager));

        SeedTips({"a", "b", "c", "d", "e"});
        FillManagerList(manager);
        SelectRows(manager, {0, 2, 4});
        SeedTips({"x", "y"});
        Click(manager, IDC_REMOVE_TIPS);
        EXPECT_EQ((Tips{"y"}), Rows(manager));
        EXPECT_EQ((Tips{"y"}), TipsNow());
        Click(manager, IDCANCEL);
    });
    g_steps.push_back(InEditor("Edit Tip", "y", TypeAndPress("Y", IDOK)));
    g_steps.push_back(Press(IDYES));
    EXPECT_EQ(IDCANCEL, RunManager());
}

TEST_F(ManagerDialog, AddTipAppendsARowAndCancelKeepsListAndSelection) {
    SeedTips({"a", "b"});
    g_steps.push_back([](HWND manager) {
        SelectRows(manager, {1});
        Click(manager, IDC_ADD_TIP);   // cancelled
        EXPECT_EQ((Tips{"a", "b"}), Rows(manager));
        EXPECT_EQ((std::vector<int>{1}), SelectedRowsOf(manager));

        Click(manager, IDC_ADD_TIP);   // OK with nothing typed still refills
        EXPECT_EQ((Tips{"a", "b"}), Rows(manager));
        EXPECT_TRUE(SelectedRowsOf(manager).empty());

        Click(manager, IDC_ADD_TIP);
        EXPECT_EQ((Tips{"a", "b", "c"}), Rows(manager));
        Click(manager, IDCANCEL);
    });
    g_steps.push_back(InEditor("Add Tip", "", TypeAndPress("dropped", IDCANCEL)));
    g_steps.push_back(InEditor("Add Tip", "", Press(IDOK)));
    g_steps.push_back(InEditor("Add Tip", "", TypeAndPress("c", IDOK)));
    EXPECT_EQ(IDCANCEL, RunManager());
    EXPECT_EQ((Tips{"a", "b", "c"}), TipsNow()) << "Cancel keeps what was added";
}

TEST_F(ManagerDialog, AnEditorThatCannotOpenIsReportedOwnedByTheManager) {
    SeedTips({"a", "b", "c"});
    HWND seen = nullptr;
    g_steps.push_back([&seen](HWND manager) {
        seen = manager;
        // A module without the editor's template makes DialogBoxParamA fail.
        g_instance = GetModuleHandleA("kernel32.dll");
        ASSERT_FALSE(FindResourceA(g_instance, MAKEINTRESOURCEA(IDD_TIP_EDIT), RT_DIALOG));
        SelectRows(manager, {0, 2});
        Click(manager, IDC_ADD_TIP);
        EXPECT_EQ((std::vector<int>{0, 2}), SelectedRowsOf(manager)) << "not refilled";
        Click(manager, IDC_EDIT_TIPS);   // one box per selected row, then a refill
        EXPECT_TRUE(SelectedRowsOf(manager).empty());
        Click(manager, IDOK);
    });
    for (int i = 0; i < 3; ++i) {
        g_steps.push_back([](HWND box) {
            EXPECT_EQ("Failed to create dialog.", ItemText(box, kBoxTextId));
            EXPECT_EQ("Error", WindowText(box));
            Click(box, IDOK);
        });
    }
    EXPECT_EQ(IDOK, DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_TIPS),
                                    nullptr, ManagerDialogProc, 0));
    ASSERT_EQ(3u, g_boxes.size());
    for (const RecordedBox& box : g_boxes) {
        EXPECT_EQ(seen, box.owner);
        EXPECT_EQ(static_cast<UINT>(MB_ICONERROR | MB_TOPMOST), box.style);
    }
    EXPECT_EQ((Tips{"a", "b", "c"}), TipsNow());
}

TEST_F(ManagerDialog, OtherCommandsAndMessagesDoNothing) {
    SeedTips({"a", "b"});
    g_steps.push_back([](HWND manager) {
        SelectRows(manager, {1});
        // A double-click on a row arrives as the list box's notification.
        SendMessageA(manager, WM_COMMAND, MAKEWPARAM(IDC_TIPS_LIST, LBN_DBLCLK),
                     reinterpret_cast<LPARAM>(ListOf(manager)));
        EXPECT_EQ(TRUE, ManagerDialogProc(manager, WM_COMMAND, MAKEWPARAM(IDC_TIPS_LIST, LBN_DBLCLK), 0));
        EXPECT_EQ(TRUE, ManagerDialogProc(manager, WM_COMMAND, 4242, 0));
        EXPECT_EQ(FALSE, ManagerDialogProc(manager, WM_TIMER, 0, 0));
        EXPECT_EQ((std::vector<int>{1}), SelectedRowsOf(manager));
        Click(manager, IDOK);
    });
    EXPECT_EQ(IDOK, RunManager());
    EXPECT_EQ((Tips{"a", "b"}), TipsNow());
}

}  // namespace
