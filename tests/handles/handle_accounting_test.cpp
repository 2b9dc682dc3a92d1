// Wine keeps no count of GDI, USER or kernel handles, so the built module's own
// import table is rebound to wrappers that count every handle it makes and
// releases while passing each call on. Over many start-ups, menus and manager
// runs, every handle must be released by the routine that made it, and nothing
// shared with the platform or the support library may be destroyed.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "resources/resource_ids.h"
#include "tests/handles/handles_fixture.h"

namespace {

// tips.rc and the tray picture in the host's folder.
class HandleAccounting : public LedgerHost {
protected:
    void SetUp() override {
        LedgerHost::SetUp();
        WriteBytes(hostFolder.File("tips.rc"), TipsFileText({"one", "two", "three", "four"}));
        WriteBytes(hostFolder.File("tray.bmp"), BitmapFile(32, 32));
    }
};

TEST_F(HandleAccounting, AThousandStartUpsAndShutDowns) {
    trayIconSize = 24;
    host = FreshHostRecord();
    // No picture, then the three forms the support library loads.
    const char* const kPictures[] = {"", "Icon=tray.bmp\r\nIconForm=1\r\n",
                                     "Icon=tray.bmp\r\nIconForm=2\r\n",
                                     "Icon=tray.bmp\r\nIconForm=4\r\n"};
    for (int cycle = 0; cycle < 1000; ++cycle) {
        WriteBytes(config, std::string("[Calvorin]\r\n") + kPictures[cycle % 4]);
        EXPECT_NE(0u, StartUp());
        Stop();
    }
    // Each start-up reads tips.rc once; a quarter use the shared icon, a
    // quarter pass the bitmaps through an image list of their own.
    // clang-format off
    ExpectCounts("1,000 start-up / shut-down cycles:",
                 {{Kind::File, 1000}, {Kind::Memory, 1000}, {Kind::Icon, 750},
                  {Kind::ImageList, 250}, {Kind::Window, 1000}, {Kind::WindowClass, 1000}});
    // clang-format on
    EXPECT_EQ(250u, g_ledger.sharedIconLoads);
}

TEST_F(HandleAccounting, AThousandMenuOpenings) {
    EXPECT_NE(0u, StartUp());
    for (int opening = 0; opening < 1000; ++opening) {
        // Mostly dismissed; every tenth asks the host for its properties.
        g_menuSteps.push_back(opening % 10 == 9 ? Choose('P') : [](HWND, HMENU) { EndMenu(); });
        During(Routine::MenuOpening, [this] { PressOnIcon(WM_RBUTTONDOWN); });
    }
    Stop();
    // clang-format off
    ExpectCounts("1,000 menu openings:", {{Kind::File, 1}, {Kind::Memory, 1}, {Kind::Menu, 1000},
                                          {Kind::Window, 1}, {Kind::WindowClass, 1}});
    // clang-format on
    EXPECT_EQ(100u, g_propertiesTexts.size());
}

TEST_F(HandleAccounting, TwoHundredManagerRunsWithAddsEditsAndRemovals) {
    EXPECT_NE(0u, StartUp());
    for (int run = 0; run < 200; ++run) {
        const bool ok = run % 2 == 0;
        RestartDialogWatchdog();  // each run, not the whole test, must end in time
        g_menuSteps.push_back(Choose('E'));
        g_steps.push_back([run, ok](HWND manager) {
            HWND list = GetDlgItem(manager, IDC_TIPS_LIST);
            Click(manager, IDC_ADD_TIP);
            SendMessageA(list, LB_SETSEL, TRUE, 0);
            Click(manager, IDC_EDIT_TIPS);
            SendMessageA(list, LB_SETSEL, FALSE, -1);
            SendMessageA(list, LB_SETSEL, TRUE, 1);
            Click(manager, IDC_REMOVE_TIPS);
            EXPECT_EQ(4, SendMessageA(list, LB_GETCOUNT, 0, 0)) << "run " << run;
            Click(manager, ok ? IDOK : IDCANCEL);
        });
        for (const char* typed : {"added ", "edited "}) {  // the Add editor, then the Edit one
            g_steps.push_back([run, typed](HWND editor) {
                SetDlgItemTextA(editor, IDC_TIP_TEXT, (typed + std::to_string(run)).c_str());
                Click(editor, IDOK);
            });
        }
        g_steps.push_back([](HWND box) { Click(box, IDYES); });  // "Are you sure?"
        During(Routine::ManagerRun, [this] { PressOnIcon(WM_RBUTTONDOWN); });
    }
    Stop();
    // One file handle to read at start-up; at the first OK tips.rc opened to
    // ask where its links lead and its folder opened to name the mutex that
    // keeps other hosts out, and the mutex, kept until the stop; per OK a read
    // of tips.rc with its buffer, the probe for other programs' handles on
    // it, and the new file.
    // clang-format off
    ExpectCounts("200 manager runs (add, edit, remove; 100 closed with OK):",
                 {{Kind::File, 303}, {Kind::Mutex, 1}, {Kind::Memory, 101}, {Kind::Menu, 200},
                  {Kind::Window, 1}, {Kind::WindowClass, 1}});
    // clang-format on
    // After run r: "edited r", then the tips added in runs r-2, r-1 and r.
    EXPECT_EQ(TipsFileText({"edited 198", "added 196", "added 197", "added 198"}),
              ReadBytes(hostFolder.File("tips.rc")));
}

}  // namespace
