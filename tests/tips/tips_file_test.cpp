#include "records/module_tips_file.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <map>
#include <random>
#include <sstream>
#include <string>

#include "records/messages.h"
#include "records/module_state.h"
#include "tests/support/child_program.h"
#include "tests/support/dialog_steps.h"
#include "tests/shared/file_times.h"
#include "tests/shared/import_patch.h"
#include "tests/shared/tips_readback.h"
#include "tests/shared/tips_text_helpers.h"
#include "tests/support/message_box_recorder.h"
#include "tests/support/temp_folder.h"
#include "tips/tips_file.h"
#include "tips/tips_text.h"

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

    // The next message box must be the given question; it gets the answer.
    static DialogStep Answer(int answer, std::string question) {
        return [answer, question](HWND box) {
            EXPECT_EQ(question, ItemText(box, 0xFFFF));
            Click(box, answer);
        };
    }

    // The question kTipsNotShownText asks for these items and this many lines.
    static std::string NotShownQuestion(const char* items, int lines) {
        return Formatted(kTipsNotShownText,
                         {items, lines == 1 ? "1 line" : std::to_string(lines) + " lines"});
    }
    // The question asked while the list holds none of the file's tips; what
    // it drops: "every tip", "the 1 tip", "the 2 tips".
    static std::string UnreadQuestion(const std::string& drops) {
        return Formatted(kTipsUnreadAtStartText, {drops});
    }
    static std::string Formatted(std::string text, std::initializer_list<std::string> parts) {
        for (const std::string& part : parts) text.replace(text.find("%s"), 2, part);
        return text;
    }

    void ExpectLastBoxUnowned(UINT style) {
        ASSERT_EQ(1u, g_boxes.size());
        EXPECT_EQ(nullptr, g_boxes[0].owner);
        EXPECT_EQ(style, g_boxes[0].style);
    }

    // For a write that must be refused: an old file, and other tips to write,
    // edited as the manager edits them.
    void WriteOldFile() {
        WriteBytes(tipsPath, old);
        ReadTipsFile();
        TipsList.ReplaceAt(0, "replacement");
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
    const char* notShown;  // the question's lines for what a save would drop; null: none
    int linesDropped = 0;
};

const char* const kZeroByte = "- a zero byte";
const char* const kLastLine = "- a last line without a line end";
const char* const kLineEnds = "- line ends other than CR LF";

// 1,000 tips with a zero byte in the second: the list holds the first alone.
std::string ThousandTipsZeroInTheSecond() {
    Tips tips;
    for (int i = 1; i <= 1000; ++i) tips.push_back("tip " + std::to_string(i));
    tips[1][1] = '\0';
    return TipsFileText(tips);
}

const ReadCase kReadCases[] = {
    {"two tips", "0000// current line\r\nA\r\nB\r\n", {"A", "B"}, false, nullptr},
    {"other counter value", "0042// current line\r\nA\r\n", {"A"}, false, nullptr},
    {"last tip without CR LF", "0000// current line\r\nA\r\nB", {"A"}, false, kLastLine, 1},
    {"LF-ended lines after the CR LF ones", "0000// current line\r\nA\r\nB\nC\n", {"A"}, false,
     kLineEnds, 2},
    {"lines of both kinds after the CR LF ones", "0000// current line\r\nA\r\nB\rC", {"A"},
     false, "- a last line without a line end\n- line ends other than CR LF", 2},
    {"lone CR inside a tip", "0000// current line\r\nA\rB\r\n", {"A\rB"}, false, nullptr},
    {"zero byte ends the text", std::string("0000// current line\r\nA\r\nB\0B\r\n", 30), {"A"},
     false, kZeroByte, 1},
    {"a zero byte in the second of 1,000 tips", ThousandTipsZeroInTheSecond(), {"tip 1"}, false,
     kZeroByte, 999},
    {"byte-order mark goes with the counter line", "\xEF\xBB\xBF" "0000\r\nA\r\n", {"A"}, false,
     nullptr},
    {"only the counter line", "0000// current line\r\n", {}, false, nullptr},
    {"LF-only line ends", "0000// current line\nA\nB\n", {}, true, kLineEnds, 3},
    {"no line at all", "one tip", {}, true, kLastLine, 1},
    {"UTF-16 as Notepad saves it", std::string("\xFF\xFE" "0\0\r\0\n\0A\0\r\0\n\0", 14), {}, true,
     kZeroByte, 2},
    {"empty file", "", {}, true, nullptr},
    {"zero byte before the first CR LF", std::string("00\0" "0\r\nA\r\n", 8), {}, true, kZeroByte,
     1},
};

// Every row is then saved: text the list does not show is not dropped without
// a Yes, and once the user said Yes nothing more is asked.
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

        g_boxes.clear();
        if (c.notShown) {
            const std::string question = NotShownQuestion(c.notShown, c.linesDropped);
            g_steps.push_back(Answer(IDNO, question));
            EXPECT_EQ(TipsSave::Declined, WriteTipsFile());
            EXPECT_EQ(c.bytes, ReadBytes(tipsPath));
            g_steps.push_back(Answer(IDYES, question));
            EXPECT_EQ(TipsSave::Written, WriteTipsFile());
            ASSERT_EQ(2u, g_boxes.size());
            EXPECT_EQ(NotifyWindow, g_boxes[1].owner);
            g_boxes.clear();
        }
        EXPECT_EQ(TipsSave::Written, WriteTipsFile());
        EXPECT_TRUE(g_boxes.empty());
        EXPECT_EQ(BuildTipsImage(TipsList), ReadBytes(tipsPath));
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

    EXPECT_EQ(TipsSave::Written, WriteTipsFile());
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

    EXPECT_EQ(TipsSave::Written, WriteTipsFile());
    EXPECT_EQ("0000// current line\r\nb, longer than B was\r\n\r\nE\r\n", ReadBytes(tipsPath));
}

TEST_F(TipsFile, WriterFileLengthIsTheCounterLineAndEveryTipWithItsCrLf) {
    TipsList.ReplaceAll({});
    EXPECT_EQ(TipsSave::Written, WriteTipsFile());  // a missing file is created
    EXPECT_EQ("0000// current line\r\n", ReadBytes(tipsPath));

    TipsList.ReplaceAll({"A", "", "B"});
    EXPECT_EQ(TipsSave::Written, WriteTipsFile());
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
    TipsList.ReplaceAt(0, "new");
    const int32_t result = WriteTipsFile() == TipsSave::Written;
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
    TipsList.ReplaceAt(0, "new");
    EXPECT_EQ(TipsSave::Written, WriteTipsFile());
    EXPECT_EQ("0000// current line\r\nnew\r\n", ReadBytes(longPath));
    EXPECT_EQ(Tips{"tips.rc"}, FilesIn(sub + "\\"));
    for (const std::string& name : FilesIn(sub + "\\")) DeleteFileA((sub + "\\" + name).c_str());
    RemoveDirectoryA(sub.c_str());
}

struct ChangeCase {
    const char* name;
    const char* other;  // what another program left in tips.rc; null: it deleted the file
    bool asks;
    bool afterOwnSave = false;  // the module saved the file before the other program came
    const char* whileAsked = nullptr;  // what it wrote while the question was up
};

const ChangeCase kChangeCases[] = {
    {"a tip line changed, same length", "0002// current line\r\nA\r\nX\r\n", true},
    {"a tip added", "0002// current line\r\nA\r\nB\r\nX\r\n", true},
    {"text after the last CR LF", "0002// current line\r\nA\r\nB\r\nX", true},
    {"the host's counter line alone", "0003// current line\r\nA\r\nB\r\n", false},
    {"the counter line alone, after our own save", "0003// current line\r\nA\r\nB\r\n", false,
     true},
    {"the file deleted", nullptr, false},
    {"a tip added again while asked", "0002// current line\r\nA\r\nB\r\nX\r\n", true, false,
     "0002// current line\r\nA\r\nB\r\nX\r\nY\r\n"},
};

TEST_F(TipsFile, WriterAsksBeforeReplacingTipsAnotherProgramChanged) {
    const std::string ours = "0000// current line\r\nA\r\nB\r\nours\r\n";
    for (const ChangeCase& c : kChangeCases) {
        for (const int answer : {IDNO, IDYES}) {
            SCOPED_TRACE(std::string(c.name) + (answer == IDYES ? ", Yes" : ", No"));
            WriteBytes(tipsPath, "0002// current line\r\nA\r\nB\r\n");
            ReadTipsFile();
            if (c.afterOwnSave) {
                EXPECT_EQ(TipsSave::Written, WriteTipsFile());
            }
            TipsList.Append("ours");
            if (c.other) {
                WriteBytes(tipsPath, c.other);
            } else {
                DeleteFileA(tipsPath.c_str());
            }
            g_boxes.clear();
            if (c.asks) {
                g_steps.push_back([&](HWND box) {
                    if (c.whileAsked) {
                        WriteBytes(tipsPath, c.whileAsked);
                        // A Yes agrees to the file as asked about: this change asks again.
                        if (answer == IDYES) g_steps.push_back([](HWND again) { Click(again, IDYES); });
                    }
                    Click(box, answer);
                });
            }

            const TipsSave saved = WriteTipsFile();

            const bool replaced = !c.asks || answer == IDYES;
            EXPECT_EQ(replaced ? TipsSave::Written : TipsSave::Declined, saved);
            EXPECT_EQ(replaced ? ours : c.whileAsked ? c.whileAsked : c.other, ReadBytes(tipsPath));
            EXPECT_EQ(!c.asks ? 0u : c.whileAsked && answer == IDYES ? 2u : 1u, g_boxes.size());
            EXPECT_EQ((Tips{"A", "B", "ours"}), TipsNow());
        }
        // Once written, the file holds what was last stamped: no question.
        g_boxes.clear();
        EXPECT_EQ(TipsSave::Written, WriteTipsFile());
        EXPECT_TRUE(g_boxes.empty());
    }
}

using RefusedWrite = TipsFile;

TEST_F(RefusedWrite, ReadOnlyFile) {
    WriteOldFile();
    ASSERT_TRUE(SetFileAttributesA(tipsPath.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(TipsSave::Failed, WriteTipsFile());
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
        // Without read sharing the file cannot be checked: the user is asked,
        // and Yes still meets the holder.
        if (share == 0) g_steps.push_back(Answer(IDYES, kTipsUncheckedText));
        EXPECT_EQ(TipsSave::Failed, WriteTipsFile());
        CloseHandle(other);
        ExpectOldFileAlone();
    }
}

using CreateFileFn = HANDLE(WINAPI*)(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD,
                                      HANDLE);
using WriteFileFn = BOOL(WINAPI*)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);

// What Windows answers and Wine does not, played by stand-ins for the module's
// imports. Each step of a write can be made to fail a number of times with an
// error; every call is counted and otherwise passed on.
enum class Step { Read, Probe, NewFile, Replace, InPlaceOpen, Write, SetEnd, Mutex, Count };
constexpr int kAlways = 1000;

struct Fault {
    Step step;
    DWORD error;
    int times;
};

using MoveFileExFn = BOOL(WINAPI*)(LPCSTR, LPCSTR, DWORD);
using SetEndOfFileFn = BOOL(WINAPI*)(HANDLE);
using CreateMutexFn = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, BOOL, LPCSTR);

struct RealCalls {
    CreateFileFn createFile;
    MoveFileExFn moveFile;
    WriteFileFn writeFile;
    SetEndOfFileFn setEndOfFile;
    CreateMutexFn createMutex;
};
RealCalls g_real;
DWORD g_slowDisk;  // milliseconds each write, cut and rename waits first
Fault g_faults[static_cast<int>(Step::Count)];
int g_calls[static_cast<int>(Step::Count)];

int& Calls(Step step) {
    return g_calls[static_cast<int>(step)];
}

// A holder that keeps each step on tips.rc and its new file this long from
// the step's first try, as a scanner looking at each file in turn would; 0: none.
DWORD g_holdEachStepMs;
DWORD g_firstTry[static_cast<int>(Step::Count)];

bool HeldAtThisMoment(Step step) {
    if (!g_holdEachStepMs || step > Step::Replace) return false;
    DWORD& first = g_firstTry[static_cast<int>(step)];
    if (Calls(step) == 1) first = GetTickCount();
    if (GetTickCount() - first >= g_holdEachStepMs) return false;
    SetLastError(ERROR_SHARING_VIOLATION);
    return true;
}

// Counts the call; true when it is to fail, its error set.
bool Fails(Step step) {
    const Fault& fault = g_faults[static_cast<int>(step)];
    if (++Calls(step) > fault.times) return HeldAtThisMoment(step);
    SetLastError(fault.error);
    return true;
}

// Which step of a write a CreateFileA call is; Step::Count for none.
Step OpenStep(LPCSTR path, DWORD access, DWORD disposition) {
    if (access == DELETE) return Step::Probe;
    if (disposition == CREATE_ALWAYS && path[strlen(path) - 1] == '~') return Step::NewFile;
    if (disposition == OPEN_EXISTING && (access & GENERIC_WRITE)) return Step::InPlaceOpen;
    if (disposition == OPEN_EXISTING && access == GENERIC_READ) return Step::Read;
    return Step::Count;
}

// Where the last new file was asked for.
std::string g_newFilePath;
// Set at every read of tips.rc, when there is one.
HANDLE g_readStarted;

HANDLE WINAPI WindowsCreateFile(LPCSTR path, DWORD access, DWORD share,
                                LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                                HANDLE model) {
    const Step step = OpenStep(path, access, disposition);
    if (step == Step::NewFile) g_newFilePath = path;
    if (step == Step::Read && g_readStarted) SetEvent(g_readStarted);
    if (step != Step::Count && Fails(step)) return INVALID_HANDLE_VALUE;
    // Windows truncates a hidden or system file only when asked for the same bits.
    const DWORD existing = GetFileAttributesA(path);
    if (disposition == CREATE_ALWAYS && existing != INVALID_FILE_ATTRIBUTES &&
        (existing & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM) & ~flags)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    return g_real.createFile(path, access, share, security, disposition, flags, model);
}

// Another program's write to tips.rc the moment the replace is done; none when null.
void (*g_afterReplace)(LPCSTR path);

BOOL WINAPI WindowsMoveFileEx(LPCSTR from, LPCSTR to, DWORD flags) {
    Sleep(g_slowDisk);
    if (Fails(Step::Replace) || !g_real.moveFile(from, to, flags)) return FALSE;
    if (g_afterReplace) g_afterReplace(to);
    return TRUE;
}

// A failing write, as a full disk fails it: half of the bytes land first. A
// fault without an error is a disk that takes half and reports success.
BOOL WINAPI WindowsWriteFile(HANDLE file, LPCVOID data, DWORD length, LPDWORD written,
                             LPOVERLAPPED overlapped) {
    Sleep(g_slowDisk);
    if (!Fails(Step::Write)) return g_real.writeFile(file, data, length, written, overlapped);
    const DWORD error = GetLastError();
    const BOOL wrote = g_real.writeFile(file, data, length / 2, written, overlapped);
    SetLastError(error);
    return error == ERROR_SUCCESS ? wrote : FALSE;
}

// What the file held when a SetEndOfFile failed: what a crash at that moment
// would have left.
std::string g_atFailedCut;

BOOL WINAPI WindowsSetEndOfFile(HANDLE file) {
    Sleep(g_slowDisk);
    if (!Fails(Step::SetEnd)) return g_real.setEndOfFile(file);
    const DWORD error = GetLastError();
    LARGE_INTEGER zero{}, here{};
    SetFilePointerEx(file, zero, &here, FILE_CURRENT);
    SetFilePointerEx(file, zero, nullptr, FILE_BEGIN);
    g_atFailedCut.assign(4096, '\0');
    DWORD read = 0;
    ReadFile(file, g_atFailedCut.data(), 4096, &read, nullptr);
    g_atFailedCut.resize(read);
    SetFilePointerEx(file, here, nullptr, FILE_BEGIN);
    SetLastError(error);
    return FALSE;
}

HANDLE WINAPI WindowsCreateMutex(LPSECURITY_ATTRIBUTES security, BOOL owned, LPCSTR name) {
    return Fails(Step::Mutex) ? nullptr : g_real.createMutex(security, owned, name);
}

// The stand-ins in place of this program's imports for the scope's duration,
// with the faults given and the counts at zero.
struct PlayWindows {
    ScopedImportPatch createFile{GetModuleHandleA(nullptr), "kernel32.dll", "CreateFileA",
                                 reinterpret_cast<void*>(&WindowsCreateFile)};
    ScopedImportPatch moveFile{GetModuleHandleA(nullptr), "kernel32.dll", "MoveFileExA",
                               reinterpret_cast<void*>(&WindowsMoveFileEx)};
    ScopedImportPatch writeFile{GetModuleHandleA(nullptr), "kernel32.dll", "WriteFile",
                                reinterpret_cast<void*>(&WindowsWriteFile)};
    ScopedImportPatch setEndOfFile{GetModuleHandleA(nullptr), "kernel32.dll", "SetEndOfFile",
                                   reinterpret_cast<void*>(&WindowsSetEndOfFile)};

    ScopedImportPatch createMutex{GetModuleHandleA(nullptr), "kernel32.dll", "CreateMutexA",
                                  reinterpret_cast<void*>(&WindowsCreateMutex)};

    explicit PlayWindows(std::initializer_list<Fault> faults) {
        for (Fault& fault : g_faults) fault = {};
        for (int& calls : g_calls) calls = 0;
        for (const Fault& fault : faults) g_faults[static_cast<int>(fault.step)] = fault;
        g_afterReplace = nullptr;
        g_slowDisk = 0;
        g_holdEachStepMs = 0;
        g_real = {reinterpret_cast<CreateFileFn>(createFile.original),
                  reinterpret_cast<MoveFileExFn>(moveFile.original),
                  reinterpret_cast<WriteFileFn>(writeFile.original),
                  reinterpret_cast<SetEndOfFileFn>(setEndOfFile.original),
                  reinterpret_cast<CreateMutexFn>(createMutex.original)};
        EXPECT_TRUE(g_real.createFile && g_real.moveFile && g_real.writeFile &&
                    g_real.setEndOfFile && g_real.createMutex);
    }
};

const Fault kNoNewFile = {Step::NewFile, ERROR_ACCESS_DENIED, kAlways};

TEST_F(RefusedWrite, ShortWriteReportedAsSuccess) {
    WriteOldFile();
    {
        const PlayWindows windows{{Step::Write, ERROR_SUCCESS, kAlways}};
        EXPECT_EQ(TipsSave::Failed, WriteTipsFile());
    }
    ExpectOldFileAlone();
}

TEST_F(RefusedWrite, ImageTooLargeForMemory) {
    WriteOldFile();
    // Tips that fit in a 32-bit process while one string holding them all cannot.
    const size_t tipLength = 1024 * 1024;
    const size_t tipCount = std::string().max_size() / tipLength + 8;
    TipsList.EraseAt(0);
    try {
        for (size_t i = 0; i < tipCount; ++i) TipsList.Append(std::string(tipLength, 'x'));
    } catch (const std::exception&) {
        TipsList.ReplaceAll({});
        GTEST_SKIP() << "no room for the tips themselves";
    }
    ExpectBox("Error caught", "Write File");
    EXPECT_EQ(TipsSave::Failed, WriteTipsFile());
    ExpectLastBoxUnowned(MB_TOPMOST);
    EXPECT_EQ(tipCount, TipsList.Count());
    TipsList.ReplaceAll({"replacement"});
    ExpectOldFileAlone();
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
        TipsList.ReplaceAll({"old"});
        if (c.attributes) {
            WriteBytes(tipsPath, old);
            ReadTipsFile();
            SetFileAttributesA(tipsPath.c_str(), c.attributes);
        }
        TipsList.ReplaceAt(0, "new");
        int32_t result;
        {
            const PlayWindows windows{kNoNewFile};
            result = WriteTipsFile() == TipsSave::Written;
        }
        SetFileAttributesA(tipsPath.c_str(), FILE_ATTRIBUTE_NORMAL);
        EXPECT_EQ(c.result, result);
        if (c.attributes) {
            EXPECT_EQ(c.result ? "0000// current line\r\nnew\r\n" : old, ReadBytes(tipsPath));
        }
        EXPECT_EQ(c.attributes ? Tips{"tips.rc"} : Tips{}, FilesIn(folder.path));
        EXPECT_TRUE(g_boxes.empty());
    }
}

// Scanners and indexers hold a file for a moment; Wine's files have no such
// holders, so the stand-ins refuse the reads of tips.rc as Windows would.
template <typename Work>
auto WithReadsHeld(int refused, DWORD error, Work work) {
    const PlayWindows windows{{Step::Read, error, refused}};
    return work();
}

struct HeldReadCase {
    const char* name;
    int refusedAtStart;  // reads of tips.rc refused at start-up; kAlways: every one
    int refusedAtSave;   // and at the comparison before the save
    DWORD error;
    int opens;           // of tips.rc to read, at the save if its reads are refused
    const char* drops;   // what the start-up question says is dropped; null: no such question
    const char* question = nullptr;  // any other question
};

const HeldReadCase kHeldReadCases[] = {
    {"start-up read held twice", 2, 0, ERROR_SHARING_VIOLATION, 3, nullptr},
    {"start-up read locked twice", 2, 0, ERROR_LOCK_VIOLATION, 3, nullptr},
    {"start-up read held throughout", kAlways, 0, ERROR_SHARING_VIOLATION, 7, "the 2 tips"},
    {"start-up read denied", kAlways, 0, ERROR_ACCESS_DENIED, 1, "the 2 tips"},
    {"start-up read and comparison held throughout", kAlways, kAlways, ERROR_SHARING_VIOLATION,
     7, "every tip"},
    {"comparison held twice", 0, 2, ERROR_SHARING_VIOLATION, 3, nullptr},
    {"comparison held throughout", 0, kAlways, ERROR_SHARING_VIOLATION, 7, nullptr,
     kTipsUncheckedText},
    {"comparison's path not found", 0, kAlways, ERROR_PATH_NOT_FOUND, 1, nullptr},
};

TEST_F(TipsFile, ReadsWaitForABriefHolderAndNeverReplaceWhatTheyCouldNotRead) {
    const std::string clean = "0002// current line\r\nA\r\nB\r\n";
    for (const HeldReadCase& c : kHeldReadCases) {
        SCOPED_TRACE(c.name);
        WriteBytes(tipsPath, clean);
        TipsList.ReplaceAll({"prior"});
        g_tipsFileStamp = {};  // as the module starts
        WithReadsHeld(c.refusedAtStart, c.error, [] { ReadTipsFile(); });
        const int opensAtStart = Calls(Step::Read);
        const bool read = c.refusedAtStart != kAlways;
        EXPECT_EQ((read ? Tips{"A", "B"} : Tips{"prior"}), TipsNow());
        EXPECT_TRUE(g_boxes.empty());  // start-up says nothing of a file it cannot open

        const std::string question = c.drops ? UnreadQuestion(c.drops) : c.question ? c.question : "";
        if (!question.empty()) g_steps.push_back(Answer(IDNO, question));
        const TipsSave saved = WithReadsHeld(c.refusedAtSave, c.error, [] { return WriteTipsFile(); });
        EXPECT_EQ(c.opens, c.refusedAtSave ? Calls(Step::Read) : opensAtStart);
        if (!question.empty()) {
            EXPECT_EQ(TipsSave::Declined, saved);
            EXPECT_EQ(clean, ReadBytes(tipsPath));
            // After a Yes the next save asks nothing.
            g_steps.push_back(Answer(IDYES, question));
            EXPECT_EQ(TipsSave::Written,
                      WithReadsHeld(c.refusedAtSave, c.error, [] { return WriteTipsFile(); }));
            g_boxes.clear();
            EXPECT_EQ(TipsSave::Written, WriteTipsFile());
            EXPECT_TRUE(g_boxes.empty());
        } else {
            EXPECT_EQ(TipsSave::Written, saved);
        }
        EXPECT_EQ(BuildTipsImage(TipsList), ReadBytes(tipsPath));
        g_boxes.clear();
    }
}

// A network drive answers path queries from its cache, and FAT keeps times to
// 2 s: another program's edit of the same size can leave the size and time the
// read saw. The stand-in here is SetFileTime.
TEST_F(TipsFile, AnEditThatLeavesTheSizeAndTimeAsTheyWereIsFound) {
    for (const int fileAge : {0, 3, 600}) {  // seconds before the read
        SCOPED_TRACE(fileAge);
        WriteBytes(tipsPath, "0000// current line\r\nA\r\n");
        const FILETIME stamped = SecondsFromNow(-fileAge);
        EXPECT_TRUE(SetLastWriteTime(tipsPath, stamped));
        ReadTipsFile();
        TipsList.Append("ours");
        WriteBytes(tipsPath, "0000// current line\r\nX\r\n");
        EXPECT_TRUE(SetLastWriteTime(tipsPath, stamped));
        g_steps.push_back(Answer(IDNO, kTipsChangedText));
        EXPECT_EQ(TipsSave::Declined, WriteTipsFile());
    }
}

// Another host of the same session, played by a thread of this program that
// takes the writers' mutex by the name the module gives it.
enum class OtherHost { SavesWhileThisWaits, EndedHoldingTheMutex, WaitsWhileThisSaves };

struct TurnCase {
    const char* name;
    OtherHost other;
    bool mutexDenied;  // this host may only open the mutex the other one made
    TipsSave saved;
};

const TurnCase kTurnCases[] = {
    {"another host saves while this one waits", OtherHost::SavesWhileThisWaits, false,
     TipsSave::Declined},
    {"the same, the mutex only opened", OtherHost::SavesWhileThisWaits, true, TipsSave::Declined},
    {"another host ended holding the mutex", OtherHost::EndedHoldingTheMutex, false,
     TipsSave::Written},
    {"another host waits while this one saves", OtherHost::WaitsWhileThisSaves, false,
     TipsSave::Written},
};

struct OtherHostThread {
    OtherHost role;
    std::string path;
    HANDLE mutex;
    HANDLE holding;  // set once it holds the mutex
    std::string seen;  // what it found in tips.rc once its turn came
};

DWORD WINAPI PlayOtherHost(void* parameter) {
    auto& host = *static_cast<OtherHostThread*>(parameter);
    if (host.role == OtherHost::WaitsWhileThisSaves) {
        // Its turn comes while this host's save is under way, not before.
        WaitForSingleObject(g_readStarted, 5000);
        if (WaitForSingleObject(host.mutex, 5000) != WAIT_OBJECT_0) return 1;
        host.seen = ReadBytes(host.path);
        ReleaseMutex(host.mutex);
        return 0;
    }
    WaitForSingleObject(host.mutex, INFINITE);
    SetEvent(host.holding);
    if (host.role == OtherHost::EndedHoldingTheMutex) return 0;
    Sleep(300);
    WriteBytes(host.path, "0000// current line\r\nthe other host's\r\n");
    ReleaseMutex(host.mutex);
    return 0;
}

TEST_F(TipsFile, SavesTakeTurnsThroughTheWritersMutex) {
    for (const TurnCase& c : kTurnCases) {
        SCOPED_TRACE(c.name);
        WriteOldFile();
        char name[kWriterMutexNameSize];
        ASSERT_TRUE(WriterMutexName(TipsPath, name));
        OtherHostThread host{c.other, tipsPath, CreateMutexA(nullptr, FALSE, name),
                             CreateEventA(nullptr, TRUE, FALSE, nullptr), ""};
        g_readStarted = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        const HANDLE thread = CreateThread(nullptr, 0, PlayOtherHost, &host, 0, nullptr);
        if (c.other == OtherHost::EndedHoldingTheMutex)
            WaitForSingleObject(thread, 5000);
        else if (c.other == OtherHost::SavesWhileThisWaits)
            WaitForSingleObject(host.holding, 5000);
        TipsSave saved;
        {
            const PlayWindows windows{c.mutexDenied ? Fault{Step::Mutex, ERROR_ACCESS_DENIED, kAlways}
                                                    : Fault{}};
            g_slowDisk = 100;  // the other host's turn would come in the middle of the save
            if (c.saved == TipsSave::Declined) g_steps.push_back(Answer(IDNO, kTipsChangedText));
            saved = WriteTipsFile();
        }
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 5000));
        EXPECT_EQ(c.saved, saved);
        if (c.other == OtherHost::WaitsWhileThisSaves) {
            EXPECT_EQ(BuildTipsImage(TipsList), host.seen);
        }
        for (HANDLE handle : {thread, host.mutex, host.holding, g_readStarted}) CloseHandle(handle);
        g_readStarted = nullptr;
    }
}

// Two hosts saving one tips.rc. The module's code is linked into this
// program, so the program run twice more is two instances of the module.
constexpr char kRaceTipsVariable[] = "CALVORIN_RACE_TIPS";
constexpr char kRaceHostVariable[] = "CALVORIN_RACE_HOST";
constexpr char kRaceStartVariable[] = "CALVORIN_RACE_START";  // names the start's objects
constexpr int kRaceSaves = 100;

std::string Variable(const char* name) {
    char value[MAX_PATH] = "";
    GetEnvironmentVariableA(name, value, MAX_PATH);
    return value;
}

// The last tip in the file, read with every sharing so that the other host's
// save goes on meanwhile.
std::string LastTipOf(const std::string& path) {
    for (int attempt = 0; attempt < 1000; ++attempt, Sleep(1)) {
        HANDLE file = CreateFileA(path.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) continue;
        char bytes[65536];
        DWORD read = 0;
        const BOOL ok = ReadFile(file, bytes, sizeof bytes, &read, nullptr);
        CloseHandle(file);
        const std::string text(bytes, read);
        const size_t end = text.rfind("\r\n");
        const size_t start = text.rfind("\r\n", end - 1);
        if (ok && start != std::string::npos) return text.substr(start + 2, end - start - 2);
    }
    ADD_FAILURE() << "cannot read " << path;
    return "";
}

// One host: reads tips.rc once, then adds a tip of its own and saves, again
// and again, answering Yes. Each save logs the tip that ends the file it
// agreed to replace: the one it wrote last, or the one a question showed.
TEST(TwoHosts, DISABLED_SaveOftenAnsweringYes) {
    const std::string path = Variable(kRaceTipsVariable);
    const std::string host = Variable(kRaceHostVariable);
    ASSERT_FALSE(path.empty());
    lstrcpynA(TipsPath, path.c_str(), kTipsPathSize);
    ReadTipsFile();
    ASSERT_EQ(Tips{"seed"}, TipsNow());
    std::string replaced = "seed";
    WatchDialogs();
    // A program's first message box is slow to come under Wine: the other host
    // would finish meanwhile.
    g_steps.push_back([](HWND box) { Click(box, IDOK); });
    MessageBoxA(nullptr, "", "", MB_OK);
    // Both hosts have read tips.rc before either saves.
    const std::string start = Variable(kRaceStartVariable);
    HANDLE ready = OpenSemaphoreA(SEMAPHORE_MODIFY_STATE, FALSE, start.c_str());
    HANDLE go = OpenEventA(SYNCHRONIZE, FALSE, (start + ".go").c_str());
    ASSERT_TRUE(ready && go);
    ASSERT_TRUE(ReleaseSemaphore(ready, 1, nullptr));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(go, 60000));
    CloseHandle(ready);
    CloseHandle(go);

    DialogStep answerYes;
    answerYes = [&](HWND box) {
        replaced = LastTipOf(path);
        g_steps.push_back(answerYes);  // the same save may ask again
        Click(box, IDYES);
    };
    std::string log;
    for (int i = 1; i <= kRaceSaves; ++i) {
        const std::string tip = host + std::to_string(i);
        TipsList.Append(tip);
        g_steps.push_back(answerYes);
        RestartDialogWatchdog();
        // The other host's look at the file can hold it just when this save
        // replaces it, which Windows refuses: nothing is written, and the save
        // is tried again.
        TipsSave saved = WriteTipsFile();
        for (int retry = 0; saved == TipsSave::Failed && retry < 20; ++retry)
            saved = WriteTipsFile();
        ASSERT_EQ(TipsSave::Written, saved);
        g_steps.clear();
        log += replaced + " " + tip + "\n";
        replaced = tip;
        // Now at once, now after a pause longer than a question takes: a host
        // saving faster than the other answers would keep it asking again.
        Sleep(static_cast<DWORD>(i % 5 * 15));
    }
    StopWatchingDialogs();
    WriteBytes(path + "." + host, log);
}

// A version that two saves agreed to replace was replaced once by a save that
// did not agree: it replaced the other host's newer write unasked.
TEST(TwoHosts, NeitherReplacesTheOthersNewerWriteUnasked) {
    TempFolder folder;
    const std::string path = folder.File("tips.rc");
    WriteBytes(path, "0000// current line\r\nseed\r\n");
    const std::string start = "calvorin.race." + std::to_string(GetCurrentProcessId());
    HANDLE ready = CreateSemaphoreA(nullptr, 0, 2, start.c_str());
    HANDLE go = CreateEventA(nullptr, TRUE, FALSE, (start + ".go").c_str());
    ASSERT_TRUE(ready && go);
    SetEnvironmentVariableA(kRaceTipsVariable, path.c_str());
    SetEnvironmentVariableA(kRaceStartVariable, start.c_str());
    HANDLE hosts[2] = {};
    for (int i = 0; i < 2; ++i) {
        SetEnvironmentVariableA(kRaceHostVariable, i ? "b" : "a");
        // Their boxes stay off this program's desktop.
        hosts[i] = StartThisProgramRunning("TwoHosts.DISABLED_SaveOftenAnsweringYes",
                                           "calvorin_race");
        ASSERT_TRUE(hosts[i]);
    }
    for (int i = 0; i < 2; ++i) WaitForSingleObject(ready, 60000);
    SetEvent(go);
    const DWORD waited = WaitForMultipleObjects(2, hosts, TRUE, 120000);
    for (HANDLE host : hosts) {
        DWORD exitCode = 99;
        GetExitCodeProcess(host, &exitCode);
        if (waited != WAIT_OBJECT_0) TerminateProcess(host, 3);
        EXPECT_EQ(0u, exitCode);
        CloseHandle(host);
    }
    CloseHandle(go);
    CloseHandle(ready);
    ASSERT_EQ(WAIT_OBJECT_0, waited) << "the hosts did not finish within two minutes";

    std::map<std::string, std::string> replacedBy;
    int unasked = 0, asked = 0;
    for (const char* host : {"a", "b"}) {
        std::istringstream log(ReadBytes(path + "." + host));
        std::string replaced, tip, own = "seed";
        int saves = 0;
        for (; log >> replaced >> tip; ++saves, own = tip) {
            if (!replacedBy.emplace(replaced, tip).second) ++unasked;
            if (replaced != own) ++asked;
        }
        EXPECT_EQ(kRaceSaves, saves) << host;
    }
    EXPECT_EQ(0, unasked);
    // The hosts took turns at least once; how often depends on the machine's
    // load (3 to 94 of 200 saves asked in the runs seen).
    EXPECT_LT(0, asked) << "the hosts never took turns";
    // Every save then replaced the one before it: one line of versions from the
    // seed to the file as it ends.
    std::string last = "seed";
    size_t versions = 0;
    for (auto next = replacedBy.find(last); next != replacedBy.end(); next = replacedBy.find(last)) {
        last = next->second;
        ++versions;
    }
    EXPECT_EQ(size_t{2 * kRaceSaves}, versions);
    EXPECT_EQ(last, LastTipOf(path));
}


// What already has the new file's name beside tips.rc.
enum class Stray { None, File, ReadOnlyFile, Folder };
constexpr int kAny = -1;  // a count that depends on the machine's timing

struct BehaviourCase {
    const char* name;
    Fault fault;
    int32_t result;
    int attempts;  // calls of the failing step
    int newFiles;
    bool inPlace;
    Stray stray = Stray::None;
    DWORD holdEachStepMs = 0;
    DWORD tookAtMostMs = 1500;
};

const BehaviourCase kBehaviourCases[] = {
    {"the replace meets a holder twice", {Step::Replace, ERROR_SHARING_VIOLATION, 2}, 1, 3, 1,
     false},
    {"the replace meets a scanner's handle twice", {Step::Replace, ERROR_ACCESS_DENIED, 2}, 1, 3,
     1, false},
    {"the replace is held throughout", {Step::Replace, ERROR_SHARING_VIOLATION, kAlways}, 0, 7,
     1, false},
    {"the replace is denied throughout", {Step::Replace, ERROR_ACCESS_DENIED, kAlways}, 0, 7, 1,
     false},
    {"the replace finds tips.rc gone", {Step::Replace, ERROR_FILE_NOT_FOUND, 1}, 0, 1, 1, false},
    {"the replace finds the folder gone", {Step::Replace, ERROR_PATH_NOT_FOUND, 1}, 0, 1, 1,
     false},
    {"the replace meets a write-protected disk", {Step::Replace, ERROR_WRITE_PROTECT, 1}, 0, 1,
     1, false},
    {"the probe meets a lock twice", {Step::Probe, ERROR_LOCK_VIOLATION, 2}, 1, 3, 1, false},
    {"the probe is held throughout", {Step::Probe, ERROR_SHARING_VIOLATION, kAlways}, 0, 7, 0,
     false},
    {"no right to delete tips.rc", {Step::Probe, ERROR_ACCESS_DENIED, kAlways}, 1, 1, 0, true},
    {"tips.rc gone at the probe is written new", {Step::Probe, ERROR_FILE_NOT_FOUND, 1}, 1, 1, 1,
     false},
    {"the new file's name is held twice", {Step::NewFile, ERROR_SHARING_VIOLATION, 2}, 1, 3, 3,
     false},
    {"the folder takes no new file", kNoNewFile, 1, 1, 1, true},
    {"the disk is full", {Step::NewFile, ERROR_DISK_FULL, kAlways}, 0, 1, 1, false},
    {"the new file's name pending deletion for a moment", {Step::NewFile, ERROR_ACCESS_DENIED, 2},
     1, 3, 3, false, Stray::File},
    {"the new file's name pending deletion throughout", {Step::NewFile, ERROR_ACCESS_DENIED,
     kAlways}, 0, 7, 7, false, Stray::File},
    {"a read-only file has the new file's name", {}, 0, 1, 0, false, Stray::ReadOnlyFile},
    {"a folder has the new file's name", {}, 0, 1, 7, false, Stray::Folder},
    {"the writers' mutex is denied", {Step::Mutex, ERROR_ACCESS_DENIED, kAlways}, 1, 1, 1, false},
    {"every step held 900 ms", {}, 0, kAny, kAny, false, Stray::None, 900, 3500},
};

TEST_F(TipsFile, WriterMeetsWhatWindowsAnswers) {
    const std::string strayPath = tipsPath.substr(0, tipsPath.size() - 1) + "~";
    for (const BehaviourCase& c : kBehaviourCases) {
        SCOPED_TRACE(c.name);
        WriteOldFile();
        if (c.stray == Stray::Folder) {
            ASSERT_TRUE(CreateDirectoryA(strayPath.c_str(), nullptr));
        } else if (c.stray != Stray::None) {
            WriteBytes(strayPath, "not ours");
            if (c.stray == Stray::ReadOnlyFile) {
                ASSERT_TRUE(SetFileAttributesA(strayPath.c_str(), FILE_ATTRIBUTE_READONLY));
            }
        }
        char mutexName[kWriterMutexNameSize];
        ASSERT_TRUE(WriterMutexName(TipsPath, mutexName));
        // An administrator's host made the mutex first: it may be opened, not created.
        const HANDLE othersMutex = CreateMutexA(nullptr, FALSE, mutexName);
        const DWORD start = GetTickCount();
        int32_t result;
        {
            const PlayWindows windows{c.fault};
            g_holdEachStepMs = c.holdEachStepMs;
            result = WriteTipsFile() == TipsSave::Written;
        }
        const DWORD took = GetTickCount() - start;
        CloseHandle(othersMutex);
        EXPECT_EQ(c.result, result);
        if (c.attempts != kAny) {
            EXPECT_EQ(c.attempts, Calls(c.fault.step));
        }
        if (c.newFiles != kAny) {
            EXPECT_EQ(c.newFiles, Calls(Step::NewFile));
        }
        if (c.newFiles > 0) {  // beside tips.rc, where the rename cannot cross a volume
            EXPECT_EQ(strayPath, g_newFilePath);
        }
        EXPECT_EQ(c.inPlace ? 1 : 0, Calls(Step::InPlaceOpen));
        EXPECT_LE(took, c.tookAtMostMs);
        // What had the new file's name is left as it was, unless the swap took it.
        if (c.stray != Stray::None && !c.result) {
            EXPECT_EQ(c.stray == Stray::Folder ? "" : "not ours", ReadBytes(strayPath));
            EXPECT_EQ(c.stray == Stray::ReadOnlyFile,
                      (GetFileAttributesA(strayPath.c_str()) & FILE_ATTRIBUTE_READONLY) != 0);
            SetFileAttributesA(strayPath.c_str(), FILE_ATTRIBUTE_NORMAL);
            EXPECT_TRUE(c.stray == Stray::Folder ? RemoveDirectoryA(strayPath.c_str())
                                                 : DeleteFileA(strayPath.c_str()));
        }
        if (c.result)
            EXPECT_EQ("0000// current line\r\nreplacement\r\n", ReadBytes(tipsPath));
        else
            ExpectOldFileAlone();
        EXPECT_EQ(Tips{"tips.rc"}, FilesIn(folder.path));
        EXPECT_TRUE(g_boxes.empty());
    }
}

struct FullDiskCase {
    const char* name;
    Fault fault;
    const char* tip;
    // For a failing SetEndOfFile, the text a crash at that moment would have
    // left as the reader takes it (up to the first zero byte): the old one,
    // or the new one.
    bool oldAtFault;
};

const FullDiskCase kFullDiskCases[] = {
    {"no room to grow the file", {Step::SetEnd, ERROR_DISK_FULL, 1}, "a tip longer than the old",
     true},
    {"the write stops half-way, longer text", {Step::Write, ERROR_DISK_FULL, 1},
     "a tip longer than the old", false},
    {"the write stops half-way, shorter text", {Step::Write, ERROR_DISK_FULL, 1}, "short", false},
    {"the cut fails", {Step::SetEnd, ERROR_DISK_FULL, 1}, "short", false},
};

TEST_F(RefusedWrite, FullDiskInPlace) {
    for (const FullDiskCase& c : kFullDiskCases) {
        SCOPED_TRACE(c.name);
        WriteOldFile();
        TipsList.ReplaceAt(0, c.tip);
        int32_t result;
        {
            const PlayWindows windows{kNoNewFile, c.fault};
            result = WriteTipsFile() == TipsSave::Written;
        }
        EXPECT_EQ(0, result);  // the "&Edit Tips" command says it failed
        EXPECT_EQ(1, Calls(Step::InPlaceOpen));
        if (c.fault.step == Step::SetEnd) {
            EXPECT_EQ(c.oldAtFault ? old : "0000// current line\r\n" + std::string(c.tip) + "\r\n",
                      g_atFailedCut.substr(0, g_atFailedCut.find('\0')));
        }
        TipsList.ReplaceAt(0, "replacement");
        ExpectOldFileAlone();
        EXPECT_TRUE(g_boxes.empty());
    }
}

TEST_F(TipsFile, WriterStampsWhatItWroteNotWhatCameAfter) {
    WriteOldFile();
    EXPECT_EQ(TipsSave::Written, WriteTipsFile());
    // Another program rewrites tips.rc, to the same length, right after the swap.
    TipsList.ReplaceAll({"mine"});
    {
        const PlayWindows windows{};
        g_afterReplace = [](LPCSTR path) { WriteBytes(path, "0000// current line\r\nthem\r\n"); };
        EXPECT_EQ(TipsSave::Written, WriteTipsFile());
    }
    TipsFileStamp seen;
    EXPECT_EQ(TipsFileChange::TipsChanged,
              CompareTipsFileAt(TipsPath, g_tipsFileStamp, TipsList, seen, WaitBudget(0)));
}

struct AttributeCase {
    const char* name;
    DWORD attributes;
    bool inPlace;
    DWORD stray;  // a swap file a crash left beside tips.rc; 0: none
};

const AttributeCase kAttributeCases[] = {
    {"hidden, swapped", FILE_ATTRIBUTE_HIDDEN, false, 0},
    {"hidden and system, swapped", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM, false, 0},
    {"hidden, in place", FILE_ATTRIBUTE_HIDDEN, true, 0},
    {"hidden and system, in place", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM, true, 0},
    {"hidden, a plain stray reused", FILE_ATTRIBUTE_HIDDEN, false, FILE_ATTRIBUTE_NORMAL},
    {"plain, a hidden stray reused", FILE_ATTRIBUTE_NORMAL, false, FILE_ATTRIBUTE_HIDDEN},
};

TEST_F(TipsFile, WriterKeepsHiddenAndSystemBits) {
    const DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    for (const AttributeCase& c : kAttributeCases) {
        SCOPED_TRACE(c.name);
        WriteOldFile();
        ASSERT_TRUE(SetFileAttributesA(tipsPath.c_str(), c.attributes));
        const std::string stray = tipsPath.substr(0, tipsPath.size() - 1) + "~";
        if (c.stray) {
            WriteBytes(stray, "left by a crash");
            ASSERT_TRUE(SetFileAttributesA(stray.c_str(), c.stray));
        }
        int32_t result;
        {
            const PlayWindows windows{c.inPlace ? kNoNewFile : Fault{}};
            result = WriteTipsFile() == TipsSave::Written;
        }
        EXPECT_EQ(1, result);
        EXPECT_EQ(c.attributes & kept, GetFileAttributesA(tipsPath.c_str()) & kept);
        SetFileAttributesA(tipsPath.c_str(), FILE_ATTRIBUTE_NORMAL);
        EXPECT_EQ("0000// current line\r\nreplacement\r\n", ReadBytes(tipsPath));
        EXPECT_EQ(Tips{"tips.rc"}, FilesIn(folder.path));
    }
}

struct KillCase {
    const char* name;
    bool inPlace;      // the folder takes no new file
    bool sameLength;   // the two texts
    bool exactBytes;   // else the reader's text (up to the first zero byte)
};

// In place, a text of another length needs a second call (the file grown
// first, or cut after), and a crash between the two leaves zero bytes after
// the old text or after the new one: the reader takes exactly one of them.
const KillCase kKillCases[] = {
    {"swapped", false, false, true},
    {"in place, the same length", true, true, true},
    {"in place, another length", true, false, false},
};

constexpr int kKills = 40;  // for each case

// The two texts a killed writer saves by turns.
Tips TurnTips(int turn, bool sameLength) {
    Tips tips;
    const int count = turn == 0 || sameLength ? 50 : 70;
    for (int i = 0; i < count; ++i)
        tips.push_back("tip " + std::to_string(100 + i) +
                       (turn ? " of the other text" : " of the first text"));
    return tips;
}

constexpr char kKillPathVariable[] = "CALVORINOR_KILLED_WRITER_TIPS";
constexpr char kKillCaseVariable[] = "CALVORINOR_KILLED_WRITER_CASE";
constexpr char kKillReadyVariable[] = "CALVORINOR_KILLED_WRITER_READY";

// The writer the next test kills, run only as its child: on a slow disk, so
// that kills often land inside a call, it saves the two texts by turns until
// it is killed.
TEST(KilledWriter, DISABLED_SavesByTurnsUntilKilled) {
    const std::string path = Variable(kKillPathVariable);
    const KillCase& c = kKillCases[atoi(Variable(kKillCaseVariable).c_str())];
    ASSERT_FALSE(path.empty());
    const PlayWindows windows{c.inPlace ? kNoNewFile : Fault{}};
    g_slowDisk = 1;
    TipsListStore texts[2];
    for (int turn : {0, 1}) {
        const Tips tips = TurnTips(turn, c.sameLength);
        texts[turn].ReplaceAll(TipTexts(tips.begin(), tips.end()));
    }
    TipsFileStamp stamp{};
    const HANDLE ready =
        OpenEventA(EVENT_MODIFY_STATE, FALSE, Variable(kKillReadyVariable).c_str());
    ASSERT_TRUE(ready && SetEvent(ready));
    for (unsigned turn = 1;; turn ^= 1)
        WriteTipsFileAt(path.c_str(), texts[turn], stamp, WaitBudget(3000));
}

TEST_F(TipsFile, AWriterKilledAtAnyMomentLeavesTheOldOrTheNewText) {
    SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
    const HANDLE nul = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   &inherited, OPEN_EXISTING, 0, nullptr);
    const std::string readyName =
        "calvorinor_killed_writer_" + std::to_string(GetCurrentProcessId());
    const HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, readyName.c_str());
    ASSERT_TRUE(ready);
    SetEnvironmentVariableA(kKillPathVariable, tipsPath.c_str());
    SetEnvironmentVariableA(kKillReadyVariable, readyName.c_str());
    const std::string swapPath = tipsPath.substr(0, tipsPath.size() - 1) + "~";
    const unsigned seed = GetTickCount();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    const DWORD start = GetTickCount();

    for (const KillCase& c : kKillCases) {
        SCOPED_TRACE(c.name);
        SetEnvironmentVariableA(kKillCaseVariable, std::to_string(&c - kKillCases).c_str());
        const std::string texts[2] = {TipsFileText(TurnTips(0, c.sameLength)),
                                      TipsFileText(TurnTips(1, c.sameLength))};
        WriteBytes(tipsPath, texts[0]);
        DeleteFileA(swapPath.c_str());
        int left[2] = {}, padded = 0, strays = 0;
        for (int kill = 0; kill < kKills; ++kill) {
            ResetEvent(ready);
            const HANDLE child = StartThisProgramRunning(
                "KilledWriter.DISABLED_SavesByTurnsUntilKilled", nullptr, nul);
            ASSERT_TRUE(child);
            const bool started = WaitForSingleObject(ready, 20000) == WAIT_OBJECT_0;
            if (started) Sleep(random() % 40);
            TerminateProcess(child, 1);
            const bool ended = WaitForSingleObject(child, 20000) == WAIT_OBJECT_0;
            CloseHandle(child);
            ASSERT_TRUE(started && ended) << "kill " << kill;

            const std::string bytes = ReadBytes(tipsPath);
            const std::string now = c.exactBytes ? bytes : bytes.substr(0, bytes.find('\0'));
            const bool whole = now == texts[0] || now == texts[1];
            EXPECT_TRUE(whole) << "kill " << kill << " left " << bytes.size() << " bytes";
            if (!whole) break;
            ++left[now == texts[1]];
            padded += now != bytes;
            const std::vector<std::string> files = FilesIn(folder.path);
            strays += files.size() > 1;
            EXPECT_TRUE(files == Tips{"tips.rc"} || files == (Tips{"tips.r~", "tips.rc"}) ||
                        files == (Tips{"tips.rc", "tips.r~"}))
                << "kill " << kill << ": " << files.size() << " files";
        }
        printf("%s: %d kills left the first text %d times, the other %d (%d with zero bytes "
               "after it); the swap file %d times\n",
               c.name, kKills, left[0], left[1], padded, strays);
        // Both texts were left: the writer was killed in the middle of its saves.
        EXPECT_GT(left[0], 0);
        EXPECT_GT(left[1], 0);
    }
    printf("%d kills in %lu ms\n", 3 * kKills, GetTickCount() - start);
    CloseHandle(ready);
    CloseHandle(nul);
}

}  // namespace
