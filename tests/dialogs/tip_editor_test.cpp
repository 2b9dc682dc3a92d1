#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

#include "tests/dialogs/dialogs_fixture.h"

namespace {

using TipEditor = DialogTest;

// Steps for the confirmation box: checks it is the editor's question and answers.
DialogStep Answer(int button) {
    return BoxAnswered(button, "Are you sure?", "Edit Tip");
}

// A text longer than any a fixed buffer would take: tips read from the file
// have no length bound, and one would have cut them silently on the way back.
std::string LongText(size_t length) {
    std::string text;
    for (int i = 0; text.size() < length; ++i) text += "tip" + std::to_string(i) + ' ';
    return text;
}
const std::string kLongTip = LongText(5000);
const std::string kPasted(1100, 'p');
const std::string kHuge(40000, 'h');  // more than the box lets a user type by default

// What the user does in the editor, then OK; in edit mode the question that
// follows is answered Yes.
struct EditorCase {
    const char* name;
    DLGPROC mode;
    Tips seed;
    DialogStep user;
    Tips after;
};

// clang-format off
const EditorCase kEditorCases[] = {
    {"add mode takes the text untrimmed", TipEditorAddProc, {"first"},
     [](HWND editor) {
         EXPECT_EQ("Add Tip", WindowText(editor));
         EXPECT_EQ("", ItemText(editor, IDC_TIP_TEXT));
         SetFocus(GetDlgItem(editor, IDC_TIP_TEXT));
         TypeAndPress("  new tip ", IDOK)(editor);
     },
     {"first", "  new tip "}},
    {"add mode: a blank is a tip", TipEditorAddProc, {"first"},
     TypeAndPress(" ", IDOK), {"first", " "}},
    {"add mode: OK with nothing typed adds nothing", TipEditorAddProc, {"only"}, Press(IDOK), {"only"}},
    {"add mode: Enter right after opening, the focus on OK", TipEditorAddProc, {"only"},
     [](HWND editor) {
         EXPECT_EQ(GetDlgItem(editor, IDOK), GetFocus());
         PressKey(editor, VK_RETURN);
     },
     {"only"}},
    {"add mode: a pasted text of 1,100 bytes", TipEditorAddProc, {"x"},
     [](HWND editor) {
         SetDlgItemTextA(editor, IDC_TIP_TEXT, kPasted.c_str());
         Click(editor, IDOK);
     },
     {"x", kPasted}},
    {"edit mode asks even when nothing changed", TipEditorEditProc, {"same"}, Press(IDOK), {"same"}},
    {"edit mode: emptied leaves an empty tip in place", TipEditorEditProc, {"", "b", "c"},
     [](HWND editor) {
         SendDlgItemMessageA(editor, IDC_TIP_TEXT, EM_SETSEL, 0, -1);
         SendDlgItemMessageA(editor, IDC_TIP_TEXT, WM_CLEAR, 0, 0);
         Click(editor, IDOK);
     },
     {"", "b", "c"}},
    {"edit mode: an empty tip opens empty and takes a text", TipEditorEditProc, {"", "b"},
     [](HWND editor) {
         EXPECT_EQ("", ItemText(editor, IDC_TIP_TEXT));
         TypeAndPress("back", IDOK)(editor);
     },
     {"back", "b"}},
    {"edit mode: a tip of 5,000 bytes comes back whole", TipEditorEditProc, {kLongTip, "x"},
     Press(IDOK), {kLongTip, "x"}},
    {"edit mode: a tip of 40,000 bytes comes back whole", TipEditorEditProc, {kHuge}, Press(IDOK), {kHuge}},
};
// clang-format on

TEST_F(TipEditor, OkChangesTheListAsTheUserAsked) {
    for (const EditorCase& c : kEditorCases) {
        SCOPED_TRACE(c.name);
        const bool edit = c.mode == TipEditorEditProc;
        SeedTips(c.seed);
        EditIndex = 0;
        g_boxes.clear();
        g_steps.push_back(c.user);
        if (edit) g_steps.push_back(Answer(IDYES));
        EXPECT_EQ(IDOK, RunEditor(c.mode));
        EXPECT_EQ(c.after, TipsNow());
        EXPECT_EQ(edit ? 1u : 0u, g_boxes.size()) << "add mode asks nothing";
    }
}

TEST_F(TipEditor, EditModeShowsTheTipAndReplacesItOnlyAfterYes) {
    SeedTips({"zero", "abc", "two"});
    EditIndex = 1;
    HWND seen = nullptr;
    g_steps.push_back([&seen](HWND editor) {
        seen = editor;
        // The modal loop may not have shown it yet; EndDialog would hide it again.
        ShowWindow(editor, SW_SHOWNORMAL);
        EXPECT_EQ("Edit Tip", WindowText(editor));
        EXPECT_EQ("abc", ItemText(editor, IDC_TIP_TEXT));
        TypeOver(editor, "abd");
        Click(editor, IDOK);
        // No keeps the dialog open with the user's text and the tip as it was.
        EXPECT_TRUE(IsWindowVisible(editor));
        EXPECT_EQ("abd", ItemText(editor, IDC_TIP_TEXT));
        EXPECT_EQ((Tips{"zero", "abc", "two"}), TipsNow());
        Click(editor, IDOK);
    });
    g_steps.insert(g_steps.end(), {Answer(IDNO), Answer(IDYES)});
    EXPECT_EQ(IDOK, RunEditor(TipEditorEditProc));
    EXPECT_EQ((Tips{"zero", "abd", "two"}), TipsNow());
    ASSERT_EQ(2u, g_boxes.size());
    for (const RecordedBox& box : g_boxes) {
        EXPECT_EQ(seen, box.owner);
        EXPECT_EQ("Are you sure?", box.text);
        EXPECT_EQ("Edit Tip", box.caption);
        EXPECT_EQ(static_cast<UINT>(MB_YESNO | MB_ICONQUESTION | MB_TOPMOST), box.style);
    }
}

// Cancel, Escape and the caption's close button end either editor and the
// manager with 2, and change nothing.
using Dialogs = DialogTest;
TEST_F(Dialogs, CancelEscapeAndCloseButtonGiveTwoAndChangeNothing) {
    SeedTips({"keep"});
    EditIndex = 0;
    const std::vector<DialogStep> endings = {
        Press(IDCANCEL), [](HWND window) { PressKey(window, VK_ESCAPE); }, PressCloseButton};
    const struct {
        const char* name;
        INT_PTR (*run)();
        // clang-format off
    } dialogs[] = {{"add mode", [] { return RunEditor(TipEditorAddProc); }},
                   {"edit mode", [] { return RunEditor(TipEditorEditProc); }},
                   {"manager", [] { return RunManager(); }}};
    // clang-format on
    for (const auto& dialog : dialogs) {
        for (const DialogStep& end : endings) {
            SCOPED_TRACE(dialog.name);
            g_steps.push_back([end](HWND window) {
                if (GetDlgItem(window, IDC_TIP_TEXT)) TypeOver(window, "changed");
                end(window);
            });
            EXPECT_EQ(IDCANCEL, dialog.run());
            EXPECT_EQ((Tips{"keep"}), TipsNow());
        }
    }
    EXPECT_TRUE(g_boxes.empty());
}

// Each mode measures its own heights at opening.
class EditorGeometry : public DialogTest, public testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        DialogTest::SetUp();
        SeedTips({"t"});
        EditIndex = 0;
    }
    DLGPROC Mode() const { return GetParam() ? TipEditorEditProc : TipEditorAddProc; }
    const EditorMetrics& Metrics() const { return GetParam() ? EditModeMetrics : AddModeMetrics; }
};

int OuterHeight(HWND window) {
    RECT rect;
    GetWindowRect(window, &rect);
    return rect.bottom - rect.top;
}

void ExpectLayoutForClientWidth(HWND editor, const EditorMetrics& metrics, int width, int half) {
    SCOPED_TRACE("client width " + std::to_string(width));
    RECT window, client;
    GetWindowRect(editor, &window);
    GetClientRect(editor, &client);
    const int frame = (window.right - window.left) - client.right;
    SetWindowPos(editor, nullptr, 0, 0, width + frame, window.bottom - window.top,
                 SWP_NOMOVE | SWP_NOZORDER);
    GetClientRect(editor, &client);
    ASSERT_EQ(width, client.right);

    RECT okInTemplate = {0, 13, 0, 0};
    MapDialogRect(editor, &okInTemplate);
    EXPECT_EQ((RECT{0, 0, width, metrics.editHeight}), ItemRect(editor, IDC_TIP_TEXT));
    EXPECT_EQ((RECT{0, okInTemplate.top, half, okInTemplate.top + metrics.buttonHeight}),
              ItemRect(editor, IDOK));
    EXPECT_EQ((RECT{half, metrics.editHeight + 1, 2 * half,
                    metrics.editHeight + 1 + metrics.buttonHeight}),
              ItemRect(editor, IDCANCEL));
}

TEST_P(EditorGeometry, OpensCentredKeepsItsLayoutAsItIsSizedAndAnswersTheDialogManager) {
    g_steps.push_back([this](HWND editor) {
        ExpectCentredOnScreen(editor);
        EXPECT_EQ(OuterHeight(editor), Metrics().windowHeight);
        EXPECT_EQ(OuterHeight(GetDlgItem(editor, IDC_TIP_TEXT)), Metrics().editHeight);
        EXPECT_EQ(OuterHeight(GetDlgItem(editor, IDCANCEL)), Metrics().buttonHeight);
        EXPECT_GT(Metrics().editHeight, 0);

        // Only the least width and the height are the editor's to set.
        MINMAXINFO limits, expected;
        std::memset(&limits, 0x5A, sizeof limits);
        expected = limits;
        expected.ptMinTrackSize = {186, Metrics().windowHeight};
        expected.ptMaxTrackSize.y = Metrics().windowHeight;
        SendMessageA(editor, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
        EXPECT_EQ(0, std::memcmp(&expected, &limits, sizeof limits));

        // Sizing as a drag of the frame would: narrower than 186 stops at 186,
        // and the height does not move either way.
        for (const POINT drag : {POINT{120, 400}, POINT{600, 5}}) {
            SetWindowPos(editor, nullptr, 0, 0, drag.x, drag.y, SWP_NOMOVE | SWP_NOZORDER);
            RECT rect;
            GetWindowRect(editor, &rect);
            EXPECT_EQ(drag.x < 186 ? 186 : drag.x, rect.right - rect.left);
            EXPECT_EQ(Metrics().windowHeight, rect.bottom - rect.top);
        }

        // The edit box keeps the full width, the buttons half each; an odd width
        // leaves a strip of three pixels at the right.
        for (const auto& [width, half] :
             {std::pair{300, 150}, std::pair{301, 149}, std::pair{500, 250}})
            ExpectLayoutForClientWidth(editor, Metrics(), width, half);

        const DLGPROC mode = Mode();
        EXPECT_EQ(TRUE, mode(editor, WM_COMMAND, MAKEWPARAM(IDC_TIP_TEXT, EN_CHANGE), 0));
        EXPECT_EQ(FALSE, mode(editor, WM_TIMER, 0, 0));
        EXPECT_EQ(FALSE, mode(editor, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits)));
        EXPECT_EQ(FALSE, mode(editor, WM_SIZE, SIZE_RESTORED, MAKELPARAM(250, 20)));
        Click(editor, IDCANCEL);
    });
    EXPECT_EQ(IDCANCEL, RunEditor(Mode()));
}

INSTANTIATE_TEST_SUITE_P(BothModes, EditorGeometry, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) {
                             return info.param ? "EditMode" : "AddMode";
                         });

// Wine's null driver has a 1024x768 screen, Windows whatever the user has:
// sizes of either parity, and one larger than the screen, on any screen.
TEST(CenterOnScreen, HalvesScreenAndWindowSeparately) {
    const SIZE screen{GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    for (const SIZE c : {SIZE{287, 63}, SIZE{288, 64}, SIZE{screen.cx + 76, screen.cy + 132}}) {
        const LONG x = screen.cx / 2 - c.cx / 2, y = screen.cy / 2 - c.cy / 2;
        HWND window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 5, 7, c.cx, c.cy, nullptr, nullptr,
                                      nullptr, nullptr);
        ASSERT_TRUE(window);
        CenterOnScreen(window);
        RECT rect;
        GetWindowRect(window, &rect);
        EXPECT_EQ((RECT{x, y, x + c.cx, y + c.cy}), rect) << c.cx;
        DestroyWindow(window);
    }
}

}  // namespace
