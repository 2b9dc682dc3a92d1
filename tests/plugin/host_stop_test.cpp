// The host stops the plug-in, and may unload it, from a handler of its own that
// runs inside one of the plug-in's modal loops: the manager has no owner, so
// the host stays usable while it is open, and every loop dispatches the host's
// messages. Each row runs in a process of its own (see tests.cmake): a module
// stopped inside a loop keeps itself loaded for the process's life, and the
// next row needs a freshly loaded one.
#include <windows.h>

#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

#include "resources/resource_ids.h"
#include "tests/plugin/plugin_fixture.h"
#include "tests/support/message_box_recorder.h"

namespace {

enum class OpenAtStop { Nothing, Menu, Manager, Editor, EditConfirmation, OtherWriterQuestion };
enum class HostAction { Unload, Stop, StopAndStartAgain };

struct StopCase {
    const char* name;
    OpenAtStop open;
    HostAction action;
    size_t boxes;  // message boxes the plug-in shows on the way
};

// clang-format off
const StopCase kStopCases[] = {
    {"UnloadWithNothingOpen", OpenAtStop::Nothing, HostAction::Unload, 0},
    {"UnloadUnderMenu", OpenAtStop::Menu, HostAction::Unload, 0},
    {"UnloadUnderManager", OpenAtStop::Manager, HostAction::Unload, 0},
    {"UnloadUnderEditor", OpenAtStop::Editor, HostAction::Unload, 0},
    {"UnloadUnderEditConfirmation", OpenAtStop::EditConfirmation, HostAction::Unload, 1},
    {"UnloadUnderOtherWriterQuestion", OpenAtStop::OtherWriterQuestion, HostAction::Unload, 1},
    {"StopUnderManager", OpenAtStop::Manager, HostAction::Stop, 0},
    {"StopUnderEditor", OpenAtStop::Editor, HostAction::Stop, 0},
    {"StopAndStartAgainUnderEditor", OpenAtStop::Editor, HostAction::StopAndStartAgain, 0},
    {"StopAndStartAgainUnderEditConfirmation", OpenAtStop::EditConfirmation,
     HostAction::StopAndStartAgain, 1},
};
// clang-format on
static_assert(std::size(kStopCases) == CALVORINOR_STOP_CASES, "tests.cmake runs every row");

class HostStopsThePlugIn : public PluginHost, public testing::WithParamInterface<StopCase> {
protected:
    std::vector<HWND> shown;  // every window of the plug-in the steps met

    void PressStop() { Click(hostWindow, kHostControlId); }

    // The steps that open the row's window and press the host's button in it.
    void QueueSteps(OpenAtStop open, const std::string& tipsFile, const std::string& other) {
        if (open == OpenAtStop::Menu) {
            g_menuSteps.push_back([=](HWND popup, HMENU) {
                shown.push_back(popup);
                PressStop();
            });
            return;
        }
        g_menuSteps.push_back(Choose('E'));
        g_steps.push_back([=](HWND manager) {
            shown.push_back(manager);
            if (open == OpenAtStop::Manager) return PressStop();
            if (open == OpenAtStop::OtherWriterQuestion) {
                WriteBytes(tipsFile, other);
                return Click(manager, IDOK);
            }
            // Two rows: the second row's editor must never come.
            SendMessageA(GetDlgItem(manager, IDC_TIPS_LIST), LB_SETSEL, TRUE, 0);
            SendMessageA(GetDlgItem(manager, IDC_TIPS_LIST), LB_SETSEL, TRUE, 1);
            Click(manager, IDC_EDIT_TIPS);
        });
        if (open == OpenAtStop::Editor || open == OpenAtStop::EditConfirmation)
            g_steps.push_back([=](HWND editor) {
                shown.push_back(editor);
                SetDlgItemTextA(editor, IDC_TIP_TEXT, "never written");
                if (open == OpenAtStop::Editor) return PressStop();
                Click(editor, IDOK);
            });
        if (open == OpenAtStop::EditConfirmation || open == OpenAtStop::OtherWriterQuestion)
            g_steps.push_back([=](HWND box) {
                shown.push_back(box);
                PressStop();
                Click(box, IDYES);  // too late: the stop has answered No
            });
    }
};

TEST_P(HostStopsThePlugIn, LeavesNoFaultNoWindowAndTheFileAsItWas) {
    const StopCase& row = GetParam();
    const std::string tipsFile = hostFolder.File("tips.rc");
    const std::string before = TipsFileText({"a", "b", "c"});
    const std::string other = TipsFileText({"z"});
    WriteBytes(tipsFile, before);
    ASSERT_NE(0u, Start());
    HMODULE loaded = module;
    const DoneModuleFn stop = doneModule;
    bool pressed = false;
    g_hostControlAction = [&] {
        pressed = true;
        stop();
        if (row.action == HostAction::Unload) FreeLibrary(loaded);
        if (row.action != HostAction::StopAndStartAgain) return;
        WriteBytes(tipsFile, other);
        EXPECT_NE(0u, Start());
        // While the old dialogs still wind down below this handler, Edit Tips
        // opens a live manager with the file's tips, without the stopped edit.
        EXPECT_EQ((Tips{"z"}), ManagerRows());
    };

    if (row.open == OpenAtStop::Nothing) {
        PressStop();
    } else {
        QueueSteps(row.open, tipsFile, other);
        PressOnIcon(WM_RBUTTONDOWN);
    }

    EXPECT_TRUE(pressed);
    for (HWND window : shown) EXPECT_FALSE(IsWindow(window) && IsWindowVisible(window));
    const bool otherWrote =
        row.open == OpenAtStop::OtherWriterQuestion || row.action == HostAction::StopAndStartAgain;
    EXPECT_EQ(otherWrote ? other : before, ReadBytes(tipsFile));
    EXPECT_EQ(row.boxes, g_boxes.size()) << "no box after the stop";
    if (row.action == HostAction::StopAndStartAgain) stop();
    EXPECT_FALSE(NotifyWindowOfModule());
    if (row.action != HostAction::Unload) {
        EXPECT_FALSE(ClassRegistered()) << "no window class of the module is left";
        FreeLibrary(loaded);
    }
    // What the fixture would otherwise stop and free again.
    module = nullptr;
    doneModule = nullptr;
    // Stopped inside a loop, the module keeps itself loaded: the loop returned
    // into its code after the host could have let it go.
    EXPECT_EQ(row.open != OpenAtStop::Nothing, GetModuleHandleA("Calvorinor.plg") != nullptr);
}

INSTANTIATE_TEST_SUITE_P(Rows, HostStopsThePlugIn, testing::ValuesIn(kStopCases),
                         [](const testing::TestParamInfo<StopCase>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
