#include "records/module_tips_file.h"

#include <algorithm>

#include "tests/shared/import_wrapper.h"
#include "tests/shared/tips_contents.h"
#include "tests/records/records_fixture.h"

namespace {

// Windows resolves a symbolic link to its target; Wine shows none. The module
// asks GetFinalPathNameByHandleA, which it finds through GetProcAddress: the
// stand-in answers the target's path for a file named "link.rc", and a path
// on a share, as Windows spells one, for "unc.rc".
using FinalPathFn = DWORD(WINAPI*)(HANDLE, LPSTR, DWORD, DWORD);
FinalPathFn g_finalPath;
std::string g_linkTarget;

DWORD WINAPI FinalPathAsWindows(HANDLE file, LPSTR path, DWORD size, DWORD flags) {
    const DWORD length = g_finalPath(file, path, size, flags);
    const std::string_view found(path, length < size ? length : 0);
    const auto endsWith = [found](std::string_view name) {
        return found.size() >= name.size() && found.substr(found.size() - name.size()) == name;
    };
    if (!endsWith("\\link.rc") && !endsWith("\\unc.rc")) return length;
    const std::string target =
        endsWith("\\unc.rc") ? "\\\\?\\UNC\\server\\share\\tips.rc" : "\\\\?\\" + g_linkTarget;
    if (target.size() >= size) return static_cast<DWORD>(target.size() + 1);
    lstrcpyA(path, target.c_str());
    return static_cast<DWORD>(target.size());
}

struct FindFinalPathAsWindows {
    static FARPROC Call(decltype(&GetProcAddress) next, HMODULE module, LPCSTR name) {
        const FARPROC found = next(module, name);
        if (!found || lstrcmpA(name, "GetFinalPathNameByHandleA") != 0) return found;
        g_finalPath = reinterpret_cast<FinalPathFn>(reinterpret_cast<void*>(found));
        return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&FinalPathAsWindows));
    }
};

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
        // clang-format off
    } spellings[] = {
        {"the 8.3 short name", std::string(shortFolder) + "\\tips.rc"},
        {"\\\\?\\", "\\\\?\\" + path},
        {"forward slashes", slashes},
        {"other case", upper},
        {"a detour through ..", longFolder + "\\..\\a folder with a long name\\tips.rc"},
        // In another folder, as a host whose tips.rc links to this one has it.
        {"a symbolic link to it", folder.File("link.rc")},
    };
    // clang-format on
    WriteBytes(folder.File("link.rc"), TipsFileText({}));
    g_linkTarget = path;
    const ScopedWrapper<ImportWrapper<GetProcAddress, FindFinalPathAsWindows>> resolver(
        GetModuleHandleA(nullptr), "kernel32.dll", "GetProcAddress");
    ASSERT_TRUE(resolver.bound);
    const std::string name = MutexNameFor(path);
    for (const auto& spelling : spellings) {
        SCOPED_TRACE(spelling.name);
        EXPECT_EQ(name, MutexNameFor(spelling.path)) << spelling.path;
    }
    EXPECT_NE(name, MutexNameFor(folder.File("tips.rc")));
    WriteBytes(folder.File("unc.rc"), TipsFileText({}));
    EXPECT_EQ(MutexNameFor("\\\\server\\share\\tips.rc"), MutexNameFor(folder.File("unc.rc")))
        << "a symbolic link to a share";
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
    DeleteFileA(folder.File("link.rc").c_str());
    DeleteFileA(folder.File("unc.rc").c_str());
    RemoveDirectoryA(longFolder.c_str());
}

}  // namespace
