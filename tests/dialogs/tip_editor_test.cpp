#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

#include "tests/dialogs/dialogs_fixture.h"

namespace {

using TipEditor = DialogTest;

HWND EditBox(HWND editor) {
    return GetDlgItem(editor, IDC_TIP_TEXT);
}

// Steps for the confirmation box: checks it is the editor's question and answers.
DialogStep Answer(int button) {
    return BoxAnswered(button, "Are you sure?", "Edit Tip");
}

void ExpectConfirmationAsked(HWND editor, size_t times) {
    ASSERT_EQ(times, g_boxes.size());
    for (const RecordedBox& box : g_boxes) {
        EXPECT_EQ(editor, box.owner);
        EXPECT_EQ("Are you sure?", box.text);
        EXPECT_EQ("Edit Tip", box.caption);
        EXPECT_EQ(static_cast<UINT>(MB_YESNO | MB_ICONQUESTION | MB_TOPMOST), box.style);
    }
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
    void (*user)(HWND editor);
    Tips after;
};

void TypeAndOk(HWND editor, const std::string& text) {
    TypeOver(editor, text);
    Click(editor, IDOK);
}

// clang-format off
const EditorCase kEditorCases[] = {
    {"add mode takes the text untrimmed", TipEditorAddProc, {"first"},
     [](HWND editor) {
         EXPECT_EQ("Add Tip", WindowText(editor));
         EXPECT_EQ("", ItemText(editor, IDC_TIP_TEXT));
         SetFocus(EditBox(editor));
         TypeAndOk(editor, "  new tip ");
     },
     {"first", "  new tip "}},
    {"add mode: a blank is a tip", TipEditorAddProc, {"first"},
     [](HWND editor) { TypeAndOk(editor, " "); }, {"first", " "}},
    {"add mode: OK with nothing typed adds nothing", TipEditorAddProc, {"only"},
     [](HWND editor) { Click(editor, IDOK); }, {"only"}},
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
    {"edit mode asks even when nothing changed", TipEditorEditProc, {"same"},
     [](HWND editor) { Click(editor, IDOK); }, {"same"}},
    {"edit mode: emptied leaves an empty tip in place", TipEditorEditProc, {"", "b", "c"},
     [](HWND editor) {
         SendMessageA(EditBox(editor), EM_SETSEL, 0, -1);
         SendMessageA(EditBox(editor), WM_CLEAR, 0, 0);
         Click(editor, IDOK);
     },
     {"", "b", "c"}},
    {"edit mode: an empty tip opens empty and takes a text", TipEditorEditProc, {"", "b"},
     [](HWND editor) {
         EXPECT_EQ("", ItemText(editor, IDC_TIP_TEXT));
         TypeAndOk(editor, "back");
     },
     {"back", "b"}},
    {"edit mode: a tip of 5,000 bytes comes back whole", TipEditorEditProc, {kLongTip, "x"},
     [](HWND editor) { Click(editor, IDOK); }, {kLongTip, "x"}},
    {"edit mode: a tip of 40,000 bytes comes back whole", TipEditorEditProc, {kHuge},
     [](HWND editor) { Click(editor, IDOK); }, {kHuge}},
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
    g_steps.push_back(Answer(IDNO));
    g_steps.push_back(Answer(IDYES));
    EXPECT_EQ(IDOK, RunEditor(TipEditorEditProc));
    EXPECT_EQ((Tips{"zero", "abd", "two"}), TipsNow());
    ExpectConfirmationAsked(seen, 2);
}

// Cancel, Escape and the caption's close button end either editor and the
// manager with 2, and change nothing.
using Dialogs = DialogTest;
TEST_F(Dialogs, CancelEscapeAndCloseButtonGiveTwoAndChangeNothing) {
    SeedTips({"keep"});
    EditIndex = 0;
    const std::vector<DialogStep> endings = {
        [](HWND window) { Click(window, IDCANCEL); },
        [](HWND window) { PressKey(window, VK_ESCAPE); },
        [](HWND window) { PressCloseButton(window); },
    };
    const struct {
        const char* name;
        INT_PTR (*run)();
        // clang-format off
    } dialogs[] = {{"add mode", [] { return RunEditor(TipEditorAddProc); }},
                   {"edit mode", [] { return RunEditor(TipEditorEditProc); }},
                   {"manager", [] { return RunManager(); }}};
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
    const RECT edit = ItemRect(editor, IDC_TIP_TEXT);
    const RECT ok = ItemRect(editor, IDOK);
    const RECT cancel = ItemRect(editor, IDCANCEL);
    EXPECT_EQ((RECT{0, 0, width, metrics.editHeight}), edit);
    EXPECT_EQ((RECT{0, okInTemplate.top, half, okInTemplate.top + metrics.buttonHeight}), ok);
    EXPECT_EQ((RECT{half, metrics.editHeight + 1, 2 * half, metrics.editHeight + 1 + metrics.buttonHeight}),
              cancel);
}

TEST_P(EditorGeometry, OpensCentredKeepsItsLayoutAsItIsSizedAndAnswersTheDialogManager) {
    g_steps.push_back([this](HWND editor) {
        ExpectCentredOnScreen(editor);
        EXPECT_EQ(OuterHeight(editor), Metrics().windowHeight);
        EXPECT_EQ(OuterHeight(EditBox(editor)), Metrics().editHeight);
        EXPECT_EQ(OuterHeight(GetDlgItem(editor, IDCANCEL)), Metrics().buttonHeight);
        EXPECT_GT(Metrics().editHeight, 0);

        MINMAXINFO limits;
        std::memset(&limits, 0x5A, sizeof limits);
        const MINMAXINFO before = limits;
        SendMessageA(editor, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
        EXPECT_EQ(186, limits.ptMinTrackSize.x);
        EXPECT_EQ(Metrics().windowHeight, limits.ptMinTrackSize.y);
        EXPECT_EQ(Metrics().windowHeight, limits.ptMaxTrackSize.y);
        EXPECT_EQ(before.ptMaxTrackSize.x, limits.ptMaxTrackSize.x);
        EXPECT_EQ(before.ptMaxSize.x, limits.ptMaxSize.x);
        EXPECT_EQ(before.ptMaxSize.y, limits.ptMaxSize.y);
        EXPECT_EQ(before.ptMaxPosition.x, limits.ptMaxPosition.x);
        EXPECT_EQ(before.ptMaxPosition.y, limits.ptMaxPosition.y);

        // Sizing as a drag of the frame would: narrower than 186 stops at 186,
        // and the height does not move either way.
        SetWindowPos(editor, nullptr, 0, 0, 120, 400, SWP_NOMOVE | SWP_NOZORDER);
        RECT rect;
        GetWindowRect(editor, &rect);
        EXPECT_EQ(186, rect.right - rect.left);
        EXPECT_EQ(Metrics().windowHeight, rect.bottom - rect.top);
        SetWindowPos(editor, nullptr, 0, 0, 600, 5, SWP_NOMOVE | SWP_NOZORDER);
        GetWindowRect(editor, &rect);
        EXPECT_EQ(600, rect.right - rect.left);
        EXPECT_EQ(Metrics().windowHeight, rect.bottom - rect.top);

        // The edit box keeps the full width, the buttons half each.
        ExpectLayoutForClientWidth(editor, Metrics(), 300, 150);
        // An odd width leaves a strip of three pixels at the right.
        ExpectLayoutForClientWidth(editor, Metrics(), 301, 149);
        ExpectLayoutForClientWidth(editor, Metrics(), 500, 250);

        const DLGPROC mode = Mode();
        EXPECT_EQ(TRUE, mode(editor, WM_COMMAND, MAKEWPARAM(IDC_TIP_TEXT, EN_CHANGE), 0));
        EXPECT_EQ(FALSE, mode(editor, WM_TIMER, 0, 0));
        EXPECT_EQ(FALSE, mode(editor, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits)));
        EXPECT_EQ(FALSE, mode(editor, WM_SIZE, SIZE_RESTORED, MAKELPARAM(250, 20)));
        Click(editor, IDCANCEL);
    });
    // clang-format on
    EXPECT_EQ(IDCANCEL, RunEditor(Mode()));
}

INSTANTIATE_TEST_SUITE_P(BothModes, EditorGeometry, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) {
                             return info.param ? "EditMode" : "AddMode";
                         });

// Wine's null driver has a 1024x768 screen, Windows whatever the user has:
// sizes of either parity, and one larger than the screen, on any screen.
TEST(CenterOnScreen, HalvesScreenAndWindowSeparately) {
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    struct Size {
        int width, height;
    };
    const Size larger{screenWidth + 76, screenHeight + 132};
    for (const Size c : {Size{287, 63}, Size{288, 64}, larger}) {
        const int x = screenWidth / 2 - c.width / 2, y = screenHeight / 2 - c.height / 2;
        HWND window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 5, 7, c.width, c.height, nullptr,
                                      nullptr, nullptr, nullptr);
        ASSERT_TRUE(window);
        CenterOnScreen(window);
        RECT rect;
        GetWindowRect(window, &rect);
        EXPECT_EQ((RECT{x, y, x + c.width, y + c.height}), rect) << c.width;
        DestroyWindow(window);
    }
}

}  // namespace
