#include "plugin/module_tips_file.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "plugin/module_state.h"
#include "tests/support/dialog_steps.h"
#include "tests/shared/import_patch.h"
#include "tests/shared/tips_readback.h"
#include "tests/support/message_box_recorder.h"
#include "tests/support/temp_folder.h"

namespace {

class TipsFile : public testing::Test {
protected:
    TempFolder folder;
    std::string tipsPath = folder.File("tips.rc");
    const std::string old = "0007// current line\r\nkeep me\r\n";

    void SetUp() override {
        WatchDialogs();
        RecordMessageBoxes(GetModuleHandleA(nullptr));
        g_boxes.clear();
        lstrcpynA(TipsPath, tipsPath.c_str(), kTipsPathSize);
        TipsList.ReplaceAll({"prior"});
    }
    void TearDown() override { StopWatchingDialogs(); }

    // The next message box must be the given one; it is closed with OK.
    void ExpectBox(const char* text, const char* caption) {
        g_steps.push_back([text, caption](HWND box) {
            EXPECT_EQ(text, ItemText(box, 0xFFFF));
            EXPECT_EQ(caption, WindowText(box));
            Click(box, IDOK);
        });
    }

    void ExpectLastBoxUnowned(UINT style) {
        ASSERT_EQ(1u, g_boxes.size());
        EXPECT_EQ(nullptr, g_boxes[0].owner);
        EXPECT_EQ(style, g_boxes[0].style);
    }

    // For a write that must be refused: an old file, and other tips to write.
    void WriteOldFile() {
        WriteBytes(tipsPath, old);
        ReadTipsFile();
        TipsList.ReplaceAll({"replacement"});
    }
    // A refused write leaves the old file byte-identical and no file behind.
    void ExpectOldFileAlone() {
        EXPECT_EQ(old, ReadBytes(tipsPath));
        EXPECT_EQ(Tips{"tips.rc"}, FilesIn(folder.path));
        EXPECT_EQ(Tips{"replacement"}, TipsNow());
    }
};

struct ReadCase {
    const char* name;
    std::string bytes;
    Tips tips;
    bool box;
};

const ReadCase kReadCases[] = {
    {"two tips", "0000// current line\r\nA\r\nB\r\n", {"A", "B"}, false},
    {"other counter value", "0042// current line\r\nA\r\n", {"A"}, false},
    {"last tip without CR LF", "0000// current line\r\nA\r\nB", {"A"}, false},
    {"empty line is an empty tip", "0000// current line\r\n\r\nB\r\n", {"", "B"}, false},
    {"lone CR inside a tip", "0000// current line\r\nA\rB\r\n", {"A\rB"}, false},
    {"line ends at every offset in a word", "0\r\n\r\na\r\nab\r\nabc\r\nabcd\r\nabcde\r\n",
     {"", "a", "ab", "abc", "abcd", "abcde"}, false},
    {"zero byte ends the text", std::string("0000// current line\r\nA\r\nB\0B\r\n", 30), {"A"}, false},
    {"byte-order mark goes with the counter line", "\xEF\xBB\xBF" "0000\r\nA\r\n", {"A"}, false},
    {"only the counter line", "0000// current line\r\n", {}, false},
    {"LF-only line ends", "0000// current line\nA\nB\n", {}, true},
    {"empty file", "", {}, true},
    {"zero byte before the first CR LF", std::string("00\0" "0\r\nA\r\n", 8), {}, true},
};

TEST_F(TipsFile, ReaderTakesEveryLineAfterTheCounterLine) {
    for (const ReadCase& c : kReadCases) {
        SCOPED_TRACE(c.name);
        WriteBytes(tipsPath, c.bytes);
        TipsList.ReplaceAll({"prior"});
        g_boxes.clear();
        if (c.box) ExpectBox("Error caught or no tips", "Read File");

        ReadTipsFile();

        EXPECT_EQ(c.tips, TipsNow());
        if (c.box)
            ExpectLastBoxUnowned(MB_TOPMOST);
        else
            EXPECT_TRUE(g_boxes.empty());
    }
}

TEST_F(TipsFile, ReaderLeavesTheTipsWhenTheFileCannotBeOpened) {
    ReadTipsFile();  // no file yet
    EXPECT_EQ(Tips{"prior"}, TipsNow());

    WriteBytes(tipsPath, "0000// current line\r\nA\r\n");
    HANDLE writer = CreateFileA(tipsPath.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                                nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, writer);
    ReadTipsFile();
    CloseHandle(writer);
    EXPECT_EQ(Tips{"prior"}, TipsNow());
    EXPECT_TRUE(g_boxes.empty());
}

TEST_F(TipsFile, WriterRoundTripsByteForByte) {
    const std::string original =
        "0042// current line\r\nfirst\r\n\r\nwith\rCR and\nLF\r\n \r\n\xe9t\xe9\r\n";
    WriteBytes(tipsPath, original);
    ReadTipsFile();
    const Tips read = TipsNow();
    ASSERT_EQ(5u, read.size());

    EXPECT_EQ(1, WriteTipsFile());
    EXPECT_EQ("0000" + original.substr(4), ReadBytes(tipsPath));
    EXPECT_EQ(read, TipsNow());  // the writer leaves the list alone

    TipsList.ReplaceAll({});
    ReadTipsFile();
    EXPECT_EQ(read, TipsNow());
    EXPECT_EQ(Tips{"tips.rc"}, FilesIn(folder.path));
}

TEST_F(TipsFile, EditsAfterAReadReachTheFile) {
    WriteBytes(tipsPath, "0000// current line\r\nA\r\nB\r\nC\r\nD\r\n");
    ReadTipsFile();
    TipsList.ReplaceAt(1, "b, longer than B was");
    TipsList.EraseAt(0);
    TipsList.Append("E");
    TipsList.EraseSorted({1});
    TipsList.ReplaceAt(1, "");
    EXPECT_EQ((Tips{"b, longer than B was", "", "E"}), TipsNow());

    EXPECT_EQ(1, WriteTipsFile());
    EXPECT_EQ("0000// current line\r\nb, longer than B was\r\n\r\nE\r\n", ReadBytes(tipsPath));
}

TEST_F(TipsFile, WriterFileLengthIsTheCounterLineAndEveryTipWithItsCrLf) {
    TipsList.ReplaceAll({});
    EXPECT_EQ(1, WriteTipsFile());  // a missing file is created
    EXPECT_EQ("0000// current line\r\n", ReadBytes(tipsPath));

    TipsList.ReplaceAll({"A", "", "B"});
    EXPECT_EQ(1, WriteTipsFile());
    EXPECT_EQ("0000// current line\r\nA\r\n\r\nB\r\n", ReadBytes(tipsPath));
    EXPECT_TRUE(g_boxes.empty());
}

TEST_F(TipsFile, WriterWorksWithARelativePath) {
    char previous[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryA(folder.path.c_str()));
    WriteBytes(tipsPath, "0000// current line\r\nold\r\n");
    lstrcpyA(TipsPath, "tips.rc");
    ReadTipsFile();
    TipsList.ReplaceAll({"new"});
    const int32_t result = WriteTipsFile();
    SetCurrentDirectoryA(previous);
    EXPECT_EQ(1, result);
    EXPECT_EQ("0000// current line\r\nnew\r\n", ReadBytes(tipsPath));
}

TEST_F(TipsFile, WriterRewritesATipsPathOfTheFullLength) {
    // A folder that just leaves room for "\\tips.rc" in 259 characters: the
    // swap's own files must fit beside it too.
    const std::string sub =
        folder.path + std::string(kTipsPathSize - 1 - folder.path.size() - 8, 'd');
    const std::string longPath = sub + "\\tips.rc";
    ASSERT_EQ(259u, longPath.size());
    ASSERT_TRUE(CreateDirectoryA(sub.c_str(), nullptr));
    WriteBytes(longPath, "0000// current line\r\nold\r\n");
    lstrcpyA(TipsPath, longPath.c_str());
    ReadTipsFile();
    TipsList.ReplaceAll({"new"});
    EXPECT_EQ(1, WriteTipsFile());
    EXPECT_EQ("0000// current line\r\nnew\r\n", ReadBytes(longPath));
    EXPECT_EQ(Tips{"tips.rc"}, FilesIn(sub + "\\"));
    for (const std::string& name : FilesIn(sub + "\\")) DeleteFileA((sub + "\\" + name).c_str());
    RemoveDirectoryA(sub.c_str());
}

struct ChangeCase {
    const char* name;
    const char* other;  // what another program left in tips.rc; null: it deleted the file
    bool asks;
};

const ChangeCase kChangeCases[] = {
    {"a tip line changed, same length", "0002// current line\r\nA\r\nX\r\n", true},
    {"a tip added", "0002// current line\r\nA\r\nB\r\nX\r\n", true},
    {"text after the last CR LF", "0002// current line\r\nA\r\nB\r\nX", true},
    {"the host's counter line alone", "0003// current line\r\nA\r\nB\r\n", false},
    {"the file deleted", nullptr, false},
};

// Moves the file's last-write time on, as a later write would: the file
// system's clock may not have ticked since the module read it.
void TouchLater(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                              0, nullptr);
    FILETIME time;
    GetFileTime(file, nullptr, nullptr, &time);
    time.dwHighDateTime += 1;  // about seven minutes
    EXPECT_TRUE(SetFileTime(file, nullptr, nullptr, &time));
    CloseHandle(file);
}

TEST_F(TipsFile, WriterAsksBeforeReplacingTipsAnotherProgramChanged) {
    const std::string ours = "0000// current line\r\nA\r\nB\r\nours\r\n";
    for (const ChangeCase& c : kChangeCases) {
        for (const int answer : {IDNO, IDYES}) {
            SCOPED_TRACE(std::string(c.name) + (answer == IDYES ? ", Yes" : ", No"));
            WriteBytes(tipsPath, "0002// current line\r\nA\r\nB\r\n");
            ReadTipsFile();
            TipsList.Append("ours");
            if (c.other) {
                WriteBytes(tipsPath, c.other);
                TouchLater(tipsPath);
            } else {
                DeleteFileA(tipsPath.c_str());
            }
            g_boxes.clear();
            if (c.asks) g_steps.push_back([answer](HWND box) { Click(box, answer); });

            const TipsSave saved = SaveTipsFile();

            const bool replaced = !c.asks || answer == IDYES;
            EXPECT_EQ(replaced ? TipsSave::Written : TipsSave::Declined, saved);
            EXPECT_EQ(replaced ? ours : c.other, ReadBytes(tipsPath));
            EXPECT_EQ(c.asks ? 1u : 0u, g_boxes.size());
            EXPECT_EQ((Tips{"A", "B", "ours"}), TipsNow());
        }
        // Once written, the file holds what was last stamped: no question.
        g_boxes.clear();
        EXPECT_EQ(1, WriteTipsFile());
        EXPECT_TRUE(g_boxes.empty());
    }
}

using RefusedWrite = TipsFile;

TEST_F(RefusedWrite, ReadOnlyFile) {
    WriteOldFile();
    ASSERT_TRUE(SetFileAttributesA(tipsPath.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(0, WriteTipsFile());
    EXPECT_EQ(DWORD{FILE_ATTRIBUTE_READONLY},
              GetFileAttributesA(tipsPath.c_str()) & FILE_ATTRIBUTE_READONLY);
    ExpectOldFileAlone();
    EXPECT_TRUE(g_boxes.empty());  // the caller says it failed
}

TEST_F(RefusedWrite, FileHeldOpenByAnotherProgram) {
    WriteOldFile();
    for (DWORD share : {DWORD{0}, DWORD{FILE_SHARE_READ}, DWORD{FILE_SHARE_READ | FILE_SHARE_WRITE}}) {
        SCOPED_TRACE(share);
        HANDLE other = CreateFileA(tipsPath.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                                   0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, other);
        EXPECT_EQ(0, WriteTipsFile());
        CloseHandle(other);
        ExpectOldFileAlone();
    }
}

// WriteTipsFile with one of the module's kernel32 imports rebound to a
// stand-in for the call; `real` gets the real function for the stand-in to use.
template <typename Fn>
int32_t WriteTipsFileWith(const char* function, Fn standIn, Fn& real) {
    ScopedImportPatch patch(GetModuleHandleA(nullptr), "kernel32.dll", function,
                            reinterpret_cast<void*>(standIn));
    real = reinterpret_cast<Fn>(patch.original);
    if (!real) {
        ADD_FAILURE() << "cannot rebind " << function;
        return -1;
    }
    return WriteTipsFile();
}

using WriteFileFn = BOOL(WINAPI*)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
WriteFileFn g_realWriteFile;

// A disk that takes only half of what it is given and still reports success.
BOOL WINAPI HalfWriteFile(HANDLE file, LPCVOID data, DWORD length, LPDWORD written,
                          LPOVERLAPPED overlapped) {
    return g_realWriteFile(file, data, length / 2, written, overlapped);
}

TEST_F(RefusedWrite, ShortWriteReportedAsSuccess) {
    WriteOldFile();
    EXPECT_EQ(0, WriteTipsFileWith("WriteFile", &HalfWriteFile, g_realWriteFile));
    ExpectOldFileAlone();
}

TEST_F(RefusedWrite, ImageTooLargeForMemory) {
    WriteOldFile();
    // Tips that fit in a 32-bit process while one string holding them all cannot.
    const size_t tipLength = 1024 * 1024;
    const size_t tipCount = std::string().max_size() / tipLength + 8;
    TipsList.ReplaceAll({});
    try {
        for (size_t i = 0; i < tipCount; ++i) TipsList.Append(std::string(tipLength, 'x'));
    } catch (const std::exception&) {
        TipsList.ReplaceAll({});
        GTEST_SKIP() << "no room for the tips themselves";
    }
    ExpectBox("Error caught", "Write File");
    EXPECT_EQ(0, WriteTipsFile());
    ExpectLastBoxUnowned(MB_TOPMOST);
    EXPECT_EQ(tipCount, TipsList.Count());
    TipsList.ReplaceAll({"replacement"});
    ExpectOldFileAlone();
}

using CreateFileFn = HANDLE(WINAPI*)(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD,
                                      HANDLE);
CreateFileFn g_realCreateFile;

// A folder whose rights let its files be rewritten but no file be added.
HANDLE WINAPI CreateNoNewFile(LPCSTR path, DWORD access, DWORD share,
                              LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                              HANDLE model) {
    if (disposition != OPEN_EXISTING && disposition != TRUNCATE_EXISTING &&
        GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    return g_realCreateFile(path, access, share, security, disposition, flags, model);
}

struct NoNewFileCase {
    const char* name;
    DWORD attributes;  // 0: no tips.rc
    int32_t result;
};

const NoNewFileCase kNoNewFileCases[] = {
    {"a writable tips.rc is rewritten in place", FILE_ATTRIBUTE_NORMAL, 1},
    {"a read-only tips.rc is still refused", FILE_ATTRIBUTE_READONLY, 0},
    {"a missing tips.rc cannot be made", 0, 0},
};

TEST_F(TipsFile, WriterInAFolderThatTakesNoNewFile) {
    const std::string old = "0000// current line\r\nold\r\n";
    for (const NoNewFileCase& c : kNoNewFileCases) {
        SCOPED_TRACE(c.name);
        DeleteFileA(tipsPath.c_str());
        if (c.attributes) {
            WriteBytes(tipsPath, old);
            ReadTipsFile();
            SetFileAttributesA(tipsPath.c_str(), c.attributes);
        }
        TipsList.ReplaceAll({"new"});
        const int32_t result = WriteTipsFileWith("CreateFileA", &CreateNoNewFile, g_realCreateFile);
        SetFileAttributesA(tipsPath.c_str(), FILE_ATTRIBUTE_NORMAL);
        EXPECT_EQ(c.result, result);
        if (c.attributes) {
            EXPECT_EQ(c.result ? "0000// current line\r\nnew\r\n" : old, ReadBytes(tipsPath));
        }
        EXPECT_EQ(c.attributes ? Tips{"tips.rc"} : Tips{}, FilesIn(folder.path));
        EXPECT_TRUE(g_boxes.empty());
    }
}

}  // namespace
