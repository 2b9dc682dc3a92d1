#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "records/starter_api.h"
#include "tests/shared/temp_folder.h"
#include "tests/shared/tips_contents.h"

namespace {

TEST(FileExistsTest, FilesOnlyNotFoldersNorBadPaths) {
    TempFolder folder;
    WriteBytes(folder.File("tips.rc"), TipsFileText({}));
    const struct {
        const char* name;
        std::string path;
        int exists;
        // clang-format off
    } cases[] = {
        {"file", folder.File("tips.rc"), 1},
        {"folder", folder.path, 0},
        {"missing", folder.File("none.rc"), 0},
        {"in a missing folder", folder.File("none\\tips.rc"), 0},
        {"empty", "", 0},
        {"over-long", folder.path + std::string(300, 'x'), 0},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.exists, FileExists(c.path.c_str()) != 0);
    }
    EXPECT_EQ(0, FileExists(nullptr));
    // A file held open without sharing still exists.
    HANDLE held = CreateFileA(folder.File("tips.rc").c_str(), GENERIC_READ, 0, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    EXPECT_NE(0, FileExists(folder.File("tips.rc").c_str()));
    CloseHandle(held);
}

HWND MakeWindow(const char* title) {
    return CreateWindowExA(0, "STATIC", title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 100, 100,
                           nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
}

TEST(SetForeWndFixTest, BringsTheWindowToTheForeground) {
    HWND first = MakeWindow("first");
    HWND second = MakeWindow("second");
    ASSERT_TRUE(first && second);
    SetForegroundWindow(first);
    ASSERT_EQ(first, GetForegroundWindow());

    EXPECT_NE(0, SetForeWndFix(second, 0));
    EXPECT_EQ(second, GetForegroundWindow());
    EXPECT_NE(0, SetForeWndFix(first, 0x1234)) << "the host's value changes nothing";
    EXPECT_EQ(first, GetForegroundWindow());

    DestroyWindow(second);
    EXPECT_EQ(0, SetForeWndFix(second, 0)) << "destroyed window";
    EXPECT_EQ(0, SetForeWndFix(nullptr, 0));
    DestroyWindow(first);
}

// The module binds by the bare names the host's own library exports.
TEST(StarterExports, EveryOperationUnderItsBareName) {
    HMODULE starter = GetModuleHandleA("STARTER.DLL");
    ASSERT_NE(nullptr, starter);
    const struct {
        const char* name;
        int argumentBytes;
    } exports[] = {{"OpenCFGr", 8},   {"FindSection", 12}, {"GetCFGPic", 12},
                   {"CloseCFGr", 4},  {"LoadImageEx", 4},  {"FreePicture", 4},
                   {"FileExists", 4}, {"SetForeWndFix", 8}};
    for (const auto& e : exports) {
        SCOPED_TRACE(e.name);
        const std::string decorated = e.name + std::string("@") + std::to_string(e.argumentBytes);
        EXPECT_NE(nullptr, reinterpret_cast<void*>(GetProcAddress(starter, e.name)));
        EXPECT_EQ(nullptr, reinterpret_cast<void*>(GetProcAddress(starter, decorated.c_str())));
    }
}

}  // namespace
