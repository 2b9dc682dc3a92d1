#include "plugin/module_tips_file.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "plugin/module_state.h"
#include "tests/support/dialog_steps.h"
#include "tests/support/import_patch.h"
#include "tests/support/message_box_recorder.h"
#include "tests/support/temp_folder.h"

namespace {

using Tips = std::vector<std::string>;

Tips CurrentTips() {
    Tips tips;
    for (uint32_t i = 0; i < TipsList.Count(); ++i) tips.emplace_back(TipsList.At(i));
    return tips;
}

class TipsFile : public DialogTest {
protected:
    TempFolder folder;
    std::string tipsPath = folder.File("tips.rc");

    void SetUp() override {
        DialogTest::SetUp();
        RecordMessageBoxes(GetModuleHandleA(nullptr));
        g_boxes.clear();
        lstrcpynA(TipsPath, tipsPath.c_str(), kTipsPathSize);
        TipsList.ReplaceAll({"prior"});
    }

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

        EXPECT_EQ(c.tips, CurrentTips());
        if (c.box)
            ExpectLastBoxUnowned(MB_TOPMOST);
        else
            EXPECT_TRUE(g_boxes.empty());
    }
}

TEST_F(TipsFile, ReaderLeavesTheTipsWhenTheFileCannotBeOpened) {
    ReadTipsFile();  // no file yet
    EXPECT_EQ(Tips{"prior"}, CurrentTips());

    WriteBytes(tipsPath, "0000// current line\r\nA\r\n");
    HANDLE writer = CreateFileA(tipsPath.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                                nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, writer);
    ReadTipsFile();
    CloseHandle(writer);
    EXPECT_EQ(Tips{"prior"}, CurrentTips());
    EXPECT_TRUE(g_boxes.empty());
}

TEST_F(TipsFile, WriterRoundTripsByteForByte) {
    const std::string original =
        "0042// current line\r\nfirst\r\n\r\nwith\rCR and\nLF\r\n \r\n\xe9t\xe9\r\n";
    WriteBytes(tipsPath, original);
    ReadTipsFile();
    const Tips read = CurrentTips();
    ASSERT_EQ(5u, read.size());

    EXPECT_EQ(1, WriteTipsFile());
    EXPECT_EQ("0000" + original.substr(4), ReadBytes(tipsPath));
    EXPECT_EQ(read, CurrentTips());  // the writer leaves the list alone

    TipsList.ReplaceAll({});
    ReadTipsFile();
    EXPECT_EQ(read, CurrentTips());
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
    EXPECT_EQ((Tips{"b, longer than B was", "", "E"}), CurrentTips());

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
    TipsList.ReplaceAll({"new"});
    const int32_t result = WriteTipsFile();
    SetCurrentDirectoryA(previous);
    EXPECT_EQ(1, result);
    EXPECT_EQ("0000// current line\r\nnew\r\n", ReadBytes(tipsPath));
}

// A refused write must leave the old file byte-identical and no file behind.
class RefusedWrite : public TipsFile {
protected:
    const std::string old = "0007// current line\r\nkeep me\r\n";
    void SetUp() override {
        TipsFile::SetUp();
        WriteBytes(tipsPath, old);
        TipsList.ReplaceAll({"replacement"});
    }
    void ExpectOldFileAlone() {
        EXPECT_EQ(old, ReadBytes(tipsPath));
        EXPECT_EQ(Tips{"tips.rc"}, FilesIn(folder.path));
        EXPECT_EQ(Tips{"replacement"}, CurrentTips());
    }
};

TEST_F(RefusedWrite, ReadOnlyFile) {
    ASSERT_TRUE(SetFileAttributesA(tipsPath.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(0, WriteTipsFile());
    EXPECT_EQ(DWORD{FILE_ATTRIBUTE_READONLY},
              GetFileAttributesA(tipsPath.c_str()) & FILE_ATTRIBUTE_READONLY);
    ExpectOldFileAlone();
    EXPECT_TRUE(g_boxes.empty());  // the caller says it failed
}

TEST_F(RefusedWrite, FileHeldOpenByAnotherProgram) {
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

using WriteFileFn = BOOL(WINAPI*)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
WriteFileFn g_realWriteFile;

// A disk that takes only half of what it is given and still reports success.
BOOL WINAPI HalfWriteFile(HANDLE file, LPCVOID data, DWORD length, LPDWORD written,
                          LPOVERLAPPED overlapped) {
    return g_realWriteFile(file, data, length / 2, written, overlapped);
}

TEST_F(RefusedWrite, ShortWriteReportedAsSuccess) {
    int32_t result;
    {
        ScopedImportPatch patch(GetModuleHandleA(nullptr), "kernel32.dll", "WriteFile",
                                reinterpret_cast<void*>(&HalfWriteFile));
        g_realWriteFile = reinterpret_cast<WriteFileFn>(patch.original);
        ASSERT_TRUE(g_realWriteFile);
        result = WriteTipsFile();
    }
    EXPECT_EQ(0, result);
    ExpectOldFileAlone();
}

TEST_F(RefusedWrite, ImageTooLargeForMemory) {
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

}  // namespace
