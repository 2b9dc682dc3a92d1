#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "records/module_state.h"
#include "tests/dialogs/dialogs_fixture.h"
#include "tests/shared/icon_pixels.h"

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

// What the user does in the manager, down to closing it, and in the editors
// and boxes that opens; `after` is both the rows it shows and TipsList.
struct ManagerCase {
    const char* name;
    Tips seed;
    void (*user)(HWND manager);
    std::vector<DialogStep> opened;
    INT_PTR ended;
    Tips after;
    size_t boxes;
};

// clang-format off
const ManagerCase kManagerCases[] = {
    {"opens centred with one row per tip, and Enter gives OK", {"first", "", "third"},
     [](HWND manager) {
         EXPECT_EQ("Tips", WindowText(manager));
         EXPECT_TRUE(SelectedRowsOf(manager).empty());
         ExpectCentredOnScreen(manager);
         EXPECT_EQ(GetDlgItem(manager, IDOK), GetFocus());
         PressKey(manager, VK_RETURN);
     }, {}, IDOK, {"first", "", "third"}, 0},
    {"Remove takes the rows from the list without asking; Cancel undoes nothing", {"a", "b", "c", "d", "e"},
     [](HWND manager) {
         SelectRows(manager, {1, 3});
         Click(manager, IDC_REMOVE_TIPS);
         EXPECT_TRUE(SelectedRowsOf(manager).empty());
         Click(manager, IDCANCEL);
     }, {}, IDCANCEL, {"a", "c", "e"}, 0},
    {"Remove: the first and last rows and a run of neighbours, an empty tip among them",
     {"0", "", "2", "3", "4", "5", "6"},
     [](HWND manager) {
         SelectRows(manager, {0, 1, 2, 5, 6});
         Click(manager, IDC_REMOVE_TIPS);
         Click(manager, IDCANCEL);
     }, {}, IDCANCEL, {"3", "4"}, 0},
    {"with nothing selected Edit and Remove only refill", {},
     [](HWND manager) {
         Click(manager, IDC_EDIT_TIPS);
         Click(manager, IDC_REMOVE_TIPS);
         EXPECT_TRUE(Rows(manager).empty());
         TipsList.Append("added behind the dialog's back");
         Click(manager, IDC_REMOVE_TIPS);   // the refill shows it
         Click(manager, IDOK);
     }, {}, IDOK, {"added behind the dialog's back"}, 0},
    {"Edit runs the editor on each selected row in ascending order, then refills",
     {"zero", "one", "", "three"},
     [](HWND manager) {
         SelectRows(manager, {3, 0, 2});
         Click(manager, IDC_EDIT_TIPS);
         EXPECT_TRUE(SelectedRowsOf(manager).empty());
         Click(manager, IDOK);
     },
     {InEditor("Edit Tip", "zero", [](HWND editor) {
          EXPECT_FALSE(IsWindowEnabled(GetWindow(editor, GW_OWNER)));
          TypeAndPress("ZERO", IDOK)(editor);
      }),
      Press(IDYES),
      // Cancel skips only this tip; the list still shows the old texts meanwhile.
      InEditor("Edit Tip", "", [](HWND editor) {
          EXPECT_EQ("zero", Rows(GetWindow(editor, GW_OWNER))[0]);
          TypeAndPress("never", IDCANCEL)(editor);
      }),
      InEditor("Edit Tip", "three", TypeAndPress("new", IDOK)), Press(IDYES)},
     IDOK, {"ZERO", "one", "", "new"}, 2},
    // A restarted module may read a shorter list while the manager shows the
    // old rows: rows beyond the list's end are skipped, never handed to it.
    {"Edit skips the rows beyond a list that shrank under the manager", {"a", "b", "c", "d", "e"},
     [](HWND manager) {
         SelectRows(manager, {1, 2, 4});   // 2 is the row at the new end
         SeedTips({"x", "y"});
         Click(manager, IDC_EDIT_TIPS);    // only row 1 has a tip
         Click(manager, IDCANCEL);
     },
     {InEditor("Edit Tip", "y", TypeAndPress("Y", IDOK)), Press(IDYES)}, IDCANCEL, {"x", "Y"}, 1},
    {"Remove skips the rows beyond a list that shrank under the manager", {"a", "b", "c", "d", "e"},
     [](HWND manager) {
         SelectRows(manager, {0, 2, 4});
         SeedTips({"x", "y"});
         Click(manager, IDC_REMOVE_TIPS);
         Click(manager, IDCANCEL);
     }, {}, IDCANCEL, {"y"}, 0},
    {"Add appends a row, which Cancel keeps; the editor's Cancel keeps the selection", {"a", "b"},
     [](HWND manager) {
         SelectRows(manager, {1});
         Click(manager, IDC_ADD_TIP);   // cancelled
         EXPECT_EQ((Tips{"a", "b"}), Rows(manager));
         EXPECT_EQ((std::vector<int>{1}), SelectedRowsOf(manager));
         Click(manager, IDC_ADD_TIP);   // OK with nothing typed still refills
         EXPECT_EQ((Tips{"a", "b"}), Rows(manager));
         EXPECT_TRUE(SelectedRowsOf(manager).empty());
         Click(manager, IDC_ADD_TIP);
         Click(manager, IDCANCEL);
     },
     {InEditor("Add Tip", "", TypeAndPress("dropped", IDCANCEL)), InEditor("Add Tip", "", Press(IDOK)),
      InEditor("Add Tip", "", TypeAndPress("c", IDOK))},
     IDCANCEL, {"a", "b", "c"}, 0},
    {"other commands and messages do nothing", {"a", "b"},
     [](HWND manager) {
         SelectRows(manager, {1});
         // A double-click on a row arrives as the list box's notification.
         SendMessageA(manager, WM_COMMAND, MAKEWPARAM(IDC_TIPS_LIST, LBN_DBLCLK),
                      reinterpret_cast<LPARAM>(ListOf(manager)));
         EXPECT_EQ(TRUE, ManagerDialogProc(manager, WM_COMMAND, MAKEWPARAM(IDC_TIPS_LIST, LBN_DBLCLK), 0));
         EXPECT_EQ(TRUE, ManagerDialogProc(manager, WM_COMMAND, 4242, 0));
         EXPECT_EQ(FALSE, ManagerDialogProc(manager, WM_TIMER, 0, 0));
         EXPECT_EQ((std::vector<int>{1}), SelectedRowsOf(manager));
         Click(manager, IDOK);
     }, {}, IDOK, {"a", "b"}, 0},
};
// clang-format on

TEST_F(ManagerDialog, CommandsLeaveTheRowsAndTheListAsTheUserAsked) {
    for (const ManagerCase& c : kManagerCases) {
        SCOPED_TRACE(c.name);
        SeedTips(c.seed);
        g_boxes.clear();
        Tips shown;
        // Read once the user has closed it: the rows stay until its loop returns.
        g_steps.push_back([&](HWND manager) {
            c.user(manager);
            shown = Rows(manager);
        });
        g_steps.insert(g_steps.end(), c.opened.begin(), c.opened.end());
        EXPECT_EQ(c.ended, RunManager());
        EXPECT_EQ(c.after, shown);
        EXPECT_EQ(c.after, TipsNow());
        EXPECT_EQ(c.boxes, g_boxes.size());
    }
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
    const std::vector<COLORREF> pixels =
        DrawnOn(client.right, client.bottom, kMarker, [list](HDC dc) {
            SendMessageA(list, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
        });
    return std::any_of(pixels.begin(), pixels.end(),
                       [](COLORREF pixel) { return pixel != kMarker; });
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
        const LONG rest =
            std::max(RowTextWidth(list, "short"), RowTextWidth(list, std::string(50, 'i')));
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
        GTEST_SKIP() << "needs the system code page 932 (Japanese Windows); under Wine CTest "
                        "runs it as dialogs_tests_cp932 under LC_ALL=ja_JP.UTF-8";
    std::string kanji;
    for (int i = 0; i < 10; ++i) kanji += "\x8a\xbf\x8e\x9a";                     // 漢字
    const Tips rows = {kanji, std::string(50, 'x'), "\x83\x71\x83\x93\x83\x67"};  // ヒント
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
        Click(manager, IDC_REMOVE_TIPS);  // nothing selected: only refills
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
        Click(manager, IDC_EDIT_TIPS);  // one box per selected row, then a refill
        EXPECT_TRUE(SelectedRowsOf(manager).empty());
        Click(manager, IDOK);
    });
    g_steps.insert(g_steps.end(), 3, BoxAnswered(IDOK, "Failed to create dialog.", "Error"));
    EXPECT_EQ(IDOK, RunManager());
    ASSERT_EQ(3u, g_boxes.size());
    for (const RecordedBox& box : g_boxes) {
        EXPECT_EQ(seen, box.owner);
        EXPECT_EQ(static_cast<UINT>(MB_ICONERROR | MB_TOPMOST), box.style);
    }
    EXPECT_EQ((Tips{"a", "b", "c"}), TipsNow());
}

}  // namespace
