#include "records/module_tips_file.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "tests/shared/temp_folder.h"
#include "tests/shared/tips_contents.h"

namespace {

std::string MutexNameFor(const std::string& path) {
    char name[kWriterMutexNameSize] = "";
    EXPECT_TRUE(WriterMutexName(path.c_str(), name)) << path;
    return name;
}

// Two hosts may name one tips.rc in different ways; they must still take
// turns, so every spelling of the file gives one mutex, and another file another.
TEST(WriterMutex, OneNameForEverySpellingOfTheFile) {
    TempFolder folder;
    const std::string longFolder = folder.File("a folder with a long name");
    ASSERT_TRUE(CreateDirectoryA(longFolder.c_str(), nullptr));
    const std::string path = longFolder + "\\tips.rc";
    WriteBytes(path, TipsFileText({}));
    char shortFolder[MAX_PATH] = "";
    GetShortPathNameA(longFolder.c_str(), shortFolder, MAX_PATH);
    std::string slashes = path;
    std::replace(slashes.begin(), slashes.end(), '\\', '/');
    std::string upper = path;
    CharUpperBuffA(upper.data(), static_cast<DWORD>(upper.size()));

    const struct {
        const char* name;
        std::string path;
    } spellings[] = {
        {"the 8.3 short name", std::string(shortFolder) + "\\tips.rc"},
        {"\\\\?\\", "\\\\?\\" + path},
        {"forward slashes", slashes},
        {"other case", upper},
        {"a detour through ..", longFolder + "\\..\\a folder with a long name\\tips.rc"},
    };
    const std::string name = MutexNameFor(path);
    for (const auto& spelling : spellings) {
        SCOPED_TRACE(spelling.name);
        EXPECT_EQ(name, MutexNameFor(spelling.path)) << spelling.path;
    }
    EXPECT_NE(name, MutexNameFor(folder.File("tips.rc")));
    EXPECT_NE(name, MutexNameFor(longFolder + "\\tips.rd"));
    // "C:" alone would name the current folder of that drive.
    const std::string inRoot = std::string(path, 0, 3) + "tips.rc";
    char previous[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryA(longFolder.c_str()));
    const std::string fromLongFolder = MutexNameFor(inRoot);
    ASSERT_TRUE(SetCurrentDirectoryA(folder.path.c_str()));
    EXPECT_EQ(fromLongFolder, MutexNameFor(inRoot)) << inRoot;
    SetCurrentDirectoryA(previous);
    DeleteFileA(path.c_str());
    RemoveDirectoryA(longFolder.c_str());
}

}  // namespace
