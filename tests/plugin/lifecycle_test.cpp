// Start-up and shut-down of the built module, driven through its exports.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/plugin/plugin_fixture.h"
#include "tests/shared/icon_pixels.h"
#include "tests/support/message_box_recorder.h"

namespace {

// Calls InitGlobalModule as the host does and tells how many bytes of its
// argument it left on the stack: 0 when the callee removed it.
uint32_t CallCountingStack(InitGlobalModuleFn init, const HostInfo* host, uint32_t& leftOver) {
    uint32_t before, after, result;
    asm volatile(
        "movl %%esp, %0\n\t"
        "pushl %3\n\t"
        "call *%4\n\t"
        "movl %%esp, %1\n\t"
        "movl %0, %%esp"
        : "=&r"(before), "=&r"(after), "=a"(result)
        : "r"(host), "r"(init)
        : "ecx", "edx", "memory", "cc");
    leftOver = before - after;
    return result;
}

// The record, where every call of GetPluginInfo finds it.
void ExpectTheModulesRecord(const PluginInfo* info, GetPluginInfoFn getPluginInfo) {
    ASSERT_TRUE(info);
    EXPECT_EQ(info, getPluginInfo()) << "filled anew, in the same place";
    EXPECT_EQ(24u, info->size);
    EXPECT_STREQ("Calvorin", info->name);
    EXPECT_STREQ("Calvorin v0.1", info->caption);
    EXPECT_STREQ("Calvorin", info->sectionName);
    ASSERT_EQ(1, info->settingCount);
    EXPECT_STREQ("Icon", info->settings[0].label);
    EXPECT_EQ(20, info->settings[0].kind);
    EXPECT_STREQ("Icon", info->settings[0].key);
    // A host reading further meets zeros, not another record's bytes.
    const SettingDescriptor none = {};
    EXPECT_EQ(0, std::memcmp(&none, &info->settings[1], sizeof none));
}

TEST_F(PluginHost, PluginInfoIsOneRecordWithTheSameContentsBeforeAndAfterStartUp) {
    const PluginInfo* first = getPluginInfo();
    ExpectTheModulesRecord(first, getPluginInfo);
    auto* scribbled = const_cast<PluginInfo*>(first);
    scribbled->size = 0;
    scribbled->settingCount = 9;
    ExpectTheModulesRecord(first, getPluginInfo);

    WriteBytes(hostFolder.File("tips.rc"), TipsFileText({"a tip"}));
    EXPECT_EQ(7u, Start());
    ExpectTheModulesRecord(first, getPluginInfo);
    doneModule();
    ExpectTheModulesRecord(first, getPluginInfo);
}

// Below 112 bytes the record is refused with a box and nothing else; from 112
// bytes on only its first 112 are read.
TEST_F(PluginHost, HostRecordSizeDecidesStartUpAndOnlyItsFirst112BytesAreRead) {
    WriteBytes(hostFolder.File("tips.rc"), TipsFileText({"a tip"}));
    // The record ends where readable memory ends: reading past its first 112
    // bytes would fault.
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    auto* pages = static_cast<uint8_t*>(
        VirtualAlloc(nullptr, 2 * system.dwPageSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    ASSERT_TRUE(pages);
    DWORD old;
    ASSERT_TRUE(VirtualProtect(pages + system.dwPageSize, system.dwPageSize, PAGE_NOACCESS, &old));
    auto* atEdge = reinterpret_cast<HostInfo*>(pages + system.dwPageSize - kHostInfoSize);

    const struct {
        uint32_t size;
        bool accepted;
        // clang-format off
    } cases[] = {{0, false}, {111, false}, {112, true}, {113, true}, {4096, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        g_boxes.clear();
        g_addCalls.clear();
        *atEdge = host;
        atEdge->size = c.size;
        if (!c.accepted) g_steps.push_back(BoxAnswered(IDOK, "This requires Velmo 1.9 or above."));
        uint32_t leftOnStack = 99;
        EXPECT_EQ(c.accepted ? 7u : static_cast<uint32_t>(IDOK),
                  CallCountingStack(initGlobalModule, atEdge, leftOnStack));
        EXPECT_EQ(0u, leftOnStack) << "the callee removes its argument";
        EXPECT_EQ(c.accepted ? 1u : 0u, g_addCalls.size());
        EXPECT_EQ(c.accepted, ClassRegistered());
        EXPECT_EQ(c.accepted, NotifyWindowOfModule() != nullptr);
        if (c.accepted)
            EXPECT_TRUE(g_boxes.empty());
        else
            ExpectOneBox(nullptr, "This requires Velmo 1.9 or above.", "Calvorin", MB_TOPMOST);
        doneModule();
    }
    VirtualFree(pages, 0, MEM_RELEASE);
}

TEST_F(PluginHost, TipsBesideLocalPathWinOverThoseInHostDir) {
    const struct {
        bool beside, inHostDir;
        Tips shown;
    } cases[] = {
        {true, true, {"beside localPath"}},
        {true, false, {"beside localPath"}},
        {false, true, {"in hostDir"}},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.beside << c.inHostDir);
        DeleteFileA(localFolder.File("tips.rc").c_str());
        DeleteFileA(hostFolder.File("tips.rc").c_str());
        if (c.beside) WriteBytes(localFolder.File("tips.rc"), TipsFileText({"beside localPath"}));
        if (c.inHostDir) WriteBytes(hostFolder.File("tips.rc"), TipsFileText({"in hostDir"}));
        ASSERT_EQ(7u, Start());
        EXPECT_EQ(c.shown, ManagerRows());
        doneModule();
    }
}

// A configured picture becomes an icon of the tray's size that is destroyed as
// soon as the host has added it; without one the module's own small icon is
// shared and stays. An icon the host refuses is a failed start that leaves
// nothing behind, and the next start needs no DoneModule before it.
TEST_F(PluginHost, TrayIconIsTheConfiguredPictureOrTheModulesOwn) {
    WriteBytes(hostFolder.File("tips.rc"), TipsFileText({"a tip"}));
    WriteBytes(hostFolder.File("tray.bmp"), BitmapFile(32, 32));
    const struct {
        const char* form;  // IconForm; null: no picture configured
        int32_t traySize;
        uint32_t added;    // what the add routine returns
        uint32_t started;  // DestroyIcon's result for a built icon, else the add routine's
        int edge;
        // clang-format off
    } cases[] = {
        {"1", 24, 7, 1, 24}, {"1", 24, 0, 0, 24}, {"2", 24, 7, 1, 24},
        {"2", 24, 0, 0, 24}, {nullptr, 32, 7, 7, 16}, {nullptr, 32, 0, 0, 16},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "form " << (c.form ? c.form : "none") << ", add returns " << c.added);
        WriteBytes(config, c.form ? std::string("[Calvorin]\r\nIcon=tray.bmp\r\nIconForm=") +
                                        c.form + "\r\n"
                                  : std::string("[Calvorin]\r\n"));
        trayIconSize = c.traySize;
        host = FreshHostRecord();
        g_addCalls.clear();
        g_removeCalls.clear();
        g_addResult = c.added;
        EXPECT_EQ(c.started, Start());
        ASSERT_EQ(1u, g_addCalls.size());
        EXPECT_TRUE(g_addCalls[0].iconValid);
        EXPECT_EQ(c.edge, g_addCalls[0].iconWidth);
        EXPECT_EQ(c.edge, g_addCalls[0].iconHeight);
        EXPECT_EQ(!c.form, IconSize(g_addCalls[0].record.hIcon).cx != 0)
            << "a built icon outlived the add routine, or a shared one did not stay";
        if (!c.added) {
            EXPECT_EQ(nullptr, NotifyWindowOfModule());
            EXPECT_FALSE(ClassRegistered());
            EXPECT_TRUE(g_removeCalls.empty()) << "a refused icon is not removed";
            g_addResult = 7;
            EXPECT_NE(0u, Start()) << "the next start";
            EXPECT_EQ(2u, g_addCalls.size());
        }
        doneModule();
        EXPECT_EQ(1u, g_removeCalls.size());
    }
}

}  // namespace
