#include "records/module_tips_file.h"

#include <optional>
#include <vector>

#include "tests/records/records_fixture.h"

namespace {

struct ReadCase {
    const char* name;
    std::string bytes;
    Tips tips;
    const char* notShown = nullptr;  // the question's lines for what a save would drop
    int linesDropped = 0;
    bool box = false;  // the read tells the user it found no tips
};

const char* const kZeroByte = "- a zero byte";
const char* const kLastLine = "- a last line without a line end";
const char* const kLineEnds = "- line ends other than CR LF";

// 1,000 tips with a zero byte in the second: the list holds the first alone.
std::string ThousandTipsZeroInTheSecond() {
    Tips tips = NumberedTips(1000);
    tips[1][1] = '\0';
    return TipsFileText(tips);
}

// clang-format off
const ReadCase kReadCases[] = {
    {"two tips", TipsFileText({"A", "B"}), {"A", "B"}},
    {"other counter value", "0042// current line\r\nA\r\n", {"A"}},
    {"last tip without CR LF", TipsFileText({"A"}) + "B", {"A"}, kLastLine, 1},
    {"LF-ended lines after the CR LF ones", TipsFileText({"A"}) + "B\nC\n", {"A"}, kLineEnds, 2},
    {"lines of both kinds after the CR LF ones", TipsFileText({"A"}) + "B\rC", {"A"},
     "- a last line without a line end\n- line ends other than CR LF", 2},
    {"lone CR inside a tip", TipsFileText({"A\rB"}), {"A\rB"}},
    {"zero byte ends the text", TipsFileText({"A", std::string("B\0B", 3)}), {"A"}, kZeroByte, 1},
    // What a crash leaves of a file grown in place: nothing is lost, nothing asked.
    {"zero bytes alone after the last line end", TipsFileText({"A"}) + std::string(3, '\0'), {"A"}},
    // What a crash leaves of a file shrunk in place: the old tail is text.
    {"the new text, a zero byte, the old tail", TipsFileText({"new"}) + '\0' + "ld\r\nold 2\r\n",
     {"new"}, kZeroByte, 2},
    {"a zero byte in the second of 1,000 tips", ThousandTipsZeroInTheSecond(), NumberedTips(1),
     kZeroByte, 999},
    {"byte-order mark goes with the counter line", "\xEF\xBB\xBF" "0000\r\nA\r\n", {"A"}},
    {"only the counter line", TipsFileText({}), {}},
    {"LF-only line ends", "0000// current line\nA\nB\n", {}, kLineEnds, 3, true},
    {"no line at all", "one tip", {}, kLastLine, 1, true},
    {"UTF-16 as Notepad saves it", std::string("\xFF\xFE" "0\0\r\0\n\0A\0\r\0\n\0", 14), {},
     kZeroByte, 2, true},
    {"empty file", "", {}, nullptr, 0, true},
    {"zero byte before the first CR LF", std::string("00\0" "0\r\nA\r\n", 8), {}, kZeroByte, 1,
     true},
};
// clang-format on

// Every row is then saved: text the list does not show is not dropped without
// a Yes, and once the user said Yes nothing more is asked. The reads get
// their memory as Windows gives it, not zeroed.
TEST_F(TipsFile, ReaderTakesEveryLineAfterTheCounterLine) {
    for (const ReadCase& c : kReadCases) {
        SCOPED_TRACE(c.name);
        WriteBytes(tipsPath, c.bytes);
        TipsList.ReplaceAll({"prior"});
        ReadExpectingBox(c.box);
        EXPECT_EQ(c.tips, TipsNow());
        ExpectSaveAsking(c.notShown ? NotShownQuestion(c.notShown, c.linesDropped) : "", c.bytes);
    }
}

TEST_F(TipsFile, ReaderLeavesTheTipsWhenTheFileCannotBeOpened) {
    ReadTipsFile();  // no file yet
    EXPECT_EQ(Tips{"prior"}, TipsNow());

    WriteBytes(tipsPath, TipsFileText({"A"}));
    const Handle writer(
        CreateFileA(tipsPath.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(writer.Valid());
    ReadTipsFile();
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
    WriteBytes(tipsPath, TipsFileText({"A", "B", "C", "D"}));
    ReadTipsFile();
    TipsList.ReplaceAt(1, "b, longer than B was");
    TipsList.EraseAt(0);
    TipsList.Append("E");
    TipsList.EraseSorted({1});
    TipsList.ReplaceAt(1, "");
    EXPECT_EQ((Tips{"b, longer than B was", "", "E"}), TipsNow());

    EXPECT_EQ(TipsSave::Written, WriteTipsFile());
    EXPECT_EQ(TipsFileText({"b, longer than B was", "", "E"}), ReadBytes(tipsPath));
}

TEST_F(TipsFile, WriterFileLengthIsTheCounterLineAndEveryTipWithItsCrLf) {
    TipsList.ReplaceAll({});
    EXPECT_EQ(TipsSave::Written, WriteTipsFile());  // a missing file is created
    EXPECT_EQ(TipsFileText({}), ReadBytes(tipsPath));

    TipsList.ReplaceAll({"A", "", "B"});
    EXPECT_EQ(TipsSave::Written, WriteTipsFile());
    EXPECT_EQ(TipsFileText({"A", "", "B"}), ReadBytes(tipsPath));
    EXPECT_TRUE(g_boxes.empty());
}

// tips.rc named relative to the current folder, and by a path of the full
// 259 characters: the swap's own files must fit beside it too.
TEST_F(TipsFile, WriterRewritesTheFileHoweverItsPathIsGiven) {
    const std::string sub =
        folder.path + std::string(kTipsPathSize - 1 - folder.path.size() - 8, 'd');
    const std::string longPath = sub + "\\tips.rc";
    ASSERT_EQ(259u, longPath.size());
    ASSERT_TRUE(CreateDirectoryA(sub.c_str(), nullptr));
    char previous[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryA(folder.path.c_str()));
    for (const std::string& path : {std::string("tips.rc"), longPath}) {
        SCOPED_TRACE(path);
        WriteBytes(path, TipsFileText({"old"}));
        lstrcpyA(TipsPath, path.c_str());
        ReadTipsFile();
        TipsList.ReplaceAt(0, "new");
        EXPECT_EQ(TipsSave::Written, WriteTipsFile());
        EXPECT_EQ(TipsFileText({"new"}), ReadBytes(path));
    }
    SetCurrentDirectoryA(previous);
    EXPECT_EQ(Tips{"tips.rc"}, FilesIn(sub + "\\"));
    for (const std::string& name : FilesIn(sub + "\\")) DeleteFileA((sub + "\\" + name).c_str());
    RemoveDirectoryA(sub.c_str());
}

using RefusedWrite = TipsFile;

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
    g_steps.push_back(BoxAnswered(IDOK, "Error caught", "Write File"));
    EXPECT_EQ(TipsSave::Failed, WriteTipsFile());
    ExpectOneBox(nullptr, "Error caught", "Write File", MB_TOPMOST);
    EXPECT_EQ(tipCount, TipsList.Count());
    TipsList.ReplaceAll({"replacement"});
    ExpectOldFileAlone();
}

constexpr int kAny = -1;  // a count that depends on the machine's timing
// The attributes of a tips.rc that is not there.
constexpr DWORD kNoTipsRc = INVALID_FILE_ATTRIBUTES;
// What a save keeps of tips.rc's attributes.
constexpr DWORD kKept = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
constexpr TipsSave kFailed = TipsSave::Failed;

struct BehaviourCase {
    const char* name;
    Fault fault{};
    TipsSave saved = TipsSave::Written;
    int attempts = 1;  // calls of the failing step
    int newFiles = 1;
    int inPlace = 0;       // opens of tips.rc to rewrite it in place
    DWORD attributes = 0;  // given to tips.rc before the save; 0: as written
    // Another program's handle on tips.rc through the save shares these.
    std::optional<DWORD> holderShares = std::nullopt;
    // What already has the new file's name beside tips.rc: a file with these
    // attributes, or a folder (FILE_ATTRIBUTE_DIRECTORY); 0: nothing.
    DWORD stray = 0;
    DWORD holdEachStepMs = 0;
    DWORD tookAtMostMs = 1500;
    bool secondName = false;  // a hard link to tips.rc beside it, which must see the new tips
};

// clang-format off
const BehaviourCase kBehaviourCases[] = {
    {.name = "the replace meets a holder twice",
     .fault = {Step::Replace, ERROR_SHARING_VIOLATION, 2}, .attempts = 3},
    {.name = "the replace meets a scanner's handle twice",
     .fault = {Step::Replace, ERROR_ACCESS_DENIED, 2}, .attempts = 3},
    {.name = "the replace is held throughout",
     .fault = {Step::Replace, ERROR_SHARING_VIOLATION, kAlways}, .saved = kFailed,
     .attempts = kHoldAttempts},
    {.name = "the replace is denied throughout",
     .fault = {Step::Replace, ERROR_ACCESS_DENIED, kAlways}, .saved = kFailed,
     .attempts = kHoldAttempts},
    {.name = "the replace finds tips.rc gone", .fault = {Step::Replace, ERROR_FILE_NOT_FOUND, 1},
     .saved = kFailed},
    {.name = "the replace finds the folder gone",
     .fault = {Step::Replace, ERROR_PATH_NOT_FOUND, 1}, .saved = kFailed},
    {.name = "the replace meets a write-protected disk",
     .fault = {Step::Replace, ERROR_WRITE_PROTECT, 1}, .saved = kFailed},
    {.name = "the probe meets a lock twice", .fault = {Step::Probe, ERROR_LOCK_VIOLATION, 2},
     .attempts = 3},
    {.name = "the probe is held throughout",
     .fault = {Step::Probe, ERROR_SHARING_VIOLATION, kAlways}, .saved = kFailed,
     .attempts = kHoldAttempts, .newFiles = 0},
    {.name = "no right to delete tips.rc", .fault = {Step::Probe, ERROR_ACCESS_DENIED, kAlways},
     .newFiles = 0, .inPlace = 1},
    {.name = "tips.rc gone at the probe is written new",
     .fault = {Step::Probe, ERROR_FILE_NOT_FOUND, 1}},
    {.name = "the new file's name is held twice",
     .fault = {Step::NewFile, ERROR_SHARING_VIOLATION, 2}, .attempts = 3, .newFiles = 3},
    {.name = "the folder takes no new file: tips.rc rewritten in place", .fault = kNoNewFile,
     .inPlace = 1},
    {.name = "the folder takes no new file, tips.rc read-only", .fault = kNoNewFile,
     .saved = kFailed, .attempts = 0, .newFiles = 0, .attributes = FILE_ATTRIBUTE_READONLY},
    {.name = "the folder takes no new file, tips.rc missing: it cannot be made",
     .fault = kNoNewFile, .saved = kFailed, .inPlace = 1, .attributes = kNoTipsRc},
    // Refused before tips.rc is even read.
    {.name = "a read-only tips.rc", .saved = kFailed, .attempts = 0, .newFiles = 0,
     .attributes = FILE_ATTRIBUTE_READONLY},
    {.name = "the disk is full", .fault = {Step::NewFile, ERROR_DISK_FULL, kAlways},
     .saved = kFailed},
    {.name = "a short write reported as success", .fault = {Step::Write, ERROR_SUCCESS, kAlways},
     .saved = kFailed},
    {.name = "the new file's name pending deletion for a moment",
     .fault = {Step::NewFile, ERROR_ACCESS_DENIED, 2}, .attempts = 3, .newFiles = 3,
     .stray = FILE_ATTRIBUTE_NORMAL},
    {.name = "the new file's name pending deletion throughout",
     .fault = {Step::NewFile, ERROR_ACCESS_DENIED, kAlways}, .saved = kFailed,
     .attempts = kHoldAttempts, .newFiles = kHoldAttempts, .stray = FILE_ATTRIBUTE_NORMAL},
    {.name = "a read-only file has the new file's name", .saved = kFailed, .newFiles = 0,
     .stray = FILE_ATTRIBUTE_READONLY},
    {.name = "a folder has the new file's name", .saved = kFailed, .newFiles = kHoldAttempts,
     .stray = FILE_ATTRIBUTE_DIRECTORY},
    // Hidden and system bits kept, swapped or in place, and whatever bits a
    // crash left on a swap file that is reused.
    {.name = "a hidden tips.rc", .attributes = FILE_ATTRIBUTE_HIDDEN},
    {.name = "a hidden system tips.rc",
     .attributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM},
    {.name = "a hidden tips.rc, in place", .fault = kNoNewFile, .inPlace = 1,
     .attributes = FILE_ATTRIBUTE_HIDDEN},
    {.name = "a hidden system tips.rc, in place", .fault = kNoNewFile, .inPlace = 1,
     .attributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM},
    {.name = "a hidden tips.rc, a plain swap file reused", .attributes = FILE_ATTRIBUTE_HIDDEN,
     .stray = FILE_ATTRIBUTE_NORMAL},
    {.name = "a plain tips.rc, a hidden swap file reused", .stray = FILE_ATTRIBUTE_HIDDEN},
    // Held without delete sharing, tips.rc can be neither swapped nor
    // rewritten; an indexer's handle, which shares delete, still keeps out the
    // rewrite in place, which must read the bytes it would put back.
    {.name = "held, nothing shared", .saved = kFailed, .attempts = 0, .newFiles = 0,
     .holderShares = 0},
    {.name = "held, reading shared", .saved = kFailed, .attempts = 0, .newFiles = 0,
     .holderShares = FILE_SHARE_READ},
    {.name = "held, reading and writing shared", .saved = kFailed, .attempts = 0, .newFiles = 0,
     .holderShares = FILE_SHARE_READ | FILE_SHARE_WRITE},
    {.name = "held by an indexer", .fault = kNoNewFile, .saved = kFailed,
     .inPlace = kHoldAttempts, .holderShares = FILE_SHARE_READ | FILE_SHARE_DELETE},
    {.name = "the writers' mutex is denied", .fault = {Step::Mutex, ERROR_ACCESS_DENIED, kAlways}},
    // Its name taken by another kind of object: the save goes on without one.
    {.name = "no writers' mutex to be had",
     .fault = {Step::Mutex, ERROR_INVALID_HANDLE, kAlways}},
    {.name = "every step held 900 ms", .saved = kFailed, .attempts = kAny,
     .newFiles = kAny, .holdEachStepMs = 900, .tookAtMostMs = 3500},
    // A rename would replace only the one name, so a link is rewritten through.
    {.name = "tips.rc has a second name", .attempts = kAny, .newFiles = 0,
     .inPlace = 1, .secondName = true},
    {.name = "tips.rc is a symbolic link",
     .fault = {Step::Attributes, FILE_ATTRIBUTE_REPARSE_POINT, kAlways}, .attempts = kAny,
     .newFiles = 0, .inPlace = 1},
};
// clang-format on

TEST_F(TipsFile, WriterMeetsWhatWindowsAnswers) {
    const std::string secondName = folder.File("backup.rc");
    for (const BehaviourCase& c : kBehaviourCases) {
        SCOPED_TRACE(c.name);
        WriteOldFile();
        ASSERT_TRUE(!c.secondName ||
                    CreateHardLinkA(secondName.c_str(), tipsPath.c_str(), nullptr));
        if (c.attributes == kNoTipsRc) {
            DeleteFileA(tipsPath.c_str());
        } else if (c.attributes) {
            ASSERT_TRUE(SetFileAttributesA(tipsPath.c_str(), c.attributes));
        }
        const bool strayFolder = c.stray == FILE_ATTRIBUTE_DIRECTORY;
        if (strayFolder) {
            ASSERT_TRUE(CreateDirectoryA(newFilePath.c_str(), nullptr));
        } else if (c.stray) {
            WriteBytes(newFilePath, "not ours");
            ASSERT_TRUE(SetFileAttributesA(newFilePath.c_str(), c.stray));
        }
        Handle holder(c.holderShares ? CreateFileA(tipsPath.c_str(), GENERIC_READ, *c.holderShares,
                                                   nullptr, OPEN_EXISTING, 0, nullptr)
                                     : nullptr);
        ASSERT_EQ(c.holderShares.has_value(), holder.Valid());
        // An administrator's host made the mutex first: it may be opened, not created.
        const Handle othersMutex(CreateMutexA(nullptr, FALSE, MutexNameFor(TipsPath).c_str()));
        const DWORD start = GetTickCount();
        EXPECT_EQ(c.saved, SavedAnswering({c.fault}, c.holdEachStepMs));
        EXPECT_LE(GetTickCount() - start, c.tookAtMostMs);
        holder = Handle();
        if (c.attempts != kAny) {
            EXPECT_EQ(c.attempts, Calls(c.fault.step));
        }
        if (c.newFiles != kAny) {
            EXPECT_EQ(c.newFiles, Calls(Step::NewFile));
        }
        if (c.newFiles > 0) {  // beside tips.rc, where the rename cannot cross a volume
            EXPECT_EQ(newFilePath, g_answers.newFilePath);
        }
        EXPECT_EQ(c.inPlace, Calls(Step::InPlaceOpen));
        EXPECT_EQ(c.attributes & kKept, GetFileAttributesA(tipsPath.c_str()) & kKept);
        SetFileAttributesA(tipsPath.c_str(), FILE_ATTRIBUTE_NORMAL);
        // What had the new file's name is left as it was, unless the swap took it.
        if (c.stray && c.saved != TipsSave::Written) {
            EXPECT_EQ(strayFolder ? "" : "not ours", ReadBytes(newFilePath));
            EXPECT_EQ(c.stray & FILE_ATTRIBUTE_READONLY,
                      GetFileAttributesA(newFilePath.c_str()) & FILE_ATTRIBUTE_READONLY);
            SetFileAttributesA(newFilePath.c_str(), FILE_ATTRIBUTE_NORMAL);
            EXPECT_TRUE(strayFolder ? RemoveDirectoryA(newFilePath.c_str())
                                    : DeleteFileA(newFilePath.c_str()));
        }
        if (c.secondName) {
            EXPECT_EQ(TipsFileText({"replacement"}), ReadBytes(secondName));
            EXPECT_EQ(TipsSave::Written, SavedAnswering({})) << "a second save asks nothing";
            EXPECT_TRUE(DeleteFileA(secondName.c_str()));
        }
        if (c.saved == TipsSave::Written)
            EXPECT_EQ(TipsFileText({"replacement"}), ReadBytes(tipsPath));
        else if (c.attributes != kNoTipsRc)
            ExpectOldFileAlone();
        EXPECT_EQ(c.attributes == kNoTipsRc ? Tips{} : Tips{"tips.rc"}, FilesIn(folder.path));
        EXPECT_TRUE(g_boxes.empty());
    }
}

struct FullDiskCase {
    const char* name;
    Fault fault;
    const char* tip = "";
    // For a failing SetEndOfFile, the text a crash at that moment would have
    // left as the reader takes it (up to the first zero byte): the old one,
    // or the new one.
    bool oldAtFault = false;
    Fault also[2] = {};  // further steps failing with it
    // The old bytes could not go back at once: tips.rc stays part new until
    // the drive is back and the failure's box is answered.
    bool backOnceAnswered = false;
    size_t tipBytes = 0;     // instead of `tip`: a tip this long, written a piece at a time
    size_t oldTipBytes = 0;  // instead of the old tip: one this long, its tail zeroed past a piece
};

const char* const kLonger = "a tip longer than the old";
constexpr Fault kNoRightToDelete = {Step::Probe, ERROR_ACCESS_DENIED, kAlways};

// clang-format off
const FullDiskCase kFullDiskCases[] = {
    {.name = "no room to grow the file", .fault = {Step::SetEnd, ERROR_DISK_FULL, 1},
     .tip = kLonger, .oldAtFault = true},
    {.name = "the write stops half-way, longer text", .fault = {Step::Write, ERROR_DISK_FULL, 1},
     .tip = kLonger},
    {.name = "the write stops half-way, shorter text", .fault = {Step::Write, ERROR_DISK_FULL, 1},
     .tip = "short"},
    {.name = "the cut fails", .fault = {Step::SetEnd, ERROR_DISK_FULL, 1}, .tip = "short"},
    {.name = "the cut fails after a text 3 MB shorter", .fault = {Step::SetEnd, ERROR_DISK_FULL, 1},
     .tip = "short", .oldTipBytes = 3 << 20},
    // The cut goes on although the old bytes' flush failed.
    {.name = "the flushes fail, longer text", .fault = {Step::Flush, ERROR_WRITE_FAULT, 2},
     .tip = kLonger},
    {.name = "every write fails", .fault = {Step::Write, ERROR_WRITE_FAULT, kAlways},
     .tip = kLonger, .backOnceAnswered = true},
    // Half a line lands; the old bytes can be cut back to their length, no more.
    {.name = "the drive drops in the middle of the write", .fault = kDriveDropsWrite,
     .tip = kLonger, .also = {kDriveDropsFlush}, .backOnceAnswered = true},
    {.name = "the drive drops in the middle of a text longer than a piece",
     .fault = kDriveDropsWrite, .also = {kDriveDropsFlush}, .backOnceAnswered = true,
     .tipBytes = 1536 * 1024},
    // Without the old bytes to put back nothing is written, and nothing asked
    // (no right to delete tips.rc sends the save in place from the start).
    {.name = "the old bytes cannot be read", .fault = {Step::ReadBytes, ERROR_SUCCESS, kAlways},
     .tip = "new", .also = {kNoRightToDelete}},
    {.name = "tips.rc held throughout",
     .fault = {Step::InPlaceOpen, ERROR_SHARING_VIOLATION, kAlways}, .tip = "new",
     .also = {kNoRightToDelete}},
};
// clang-format on

TEST_F(RefusedWrite, FullDiskInPlace) {
    for (const FullDiskCase& c : kFullDiskCases) {
        SCOPED_TRACE(c.name);
        old = c.oldTipBytes ? TipsFileText({std::string(c.oldTipBytes, 'o')}) : kOld;
        WriteOldFile();
        TipsList.ReplaceAt(0, c.tipBytes ? std::string(c.tipBytes, 'x') : c.tip);
        // The "&Edit Tips" command says it failed.
        EXPECT_EQ(kFailed, SavedAnswering({kNoNewFile, c.fault, c.also[0], c.also[1]}));
        EXPECT_EQ(c.fault.step == Step::InPlaceOpen ? int{kHoldAttempts} : 1,
                  Calls(Step::InPlaceOpen));
        if (c.fault.step == Step::SetEnd && c.also[0].times == 0) {
            const std::string text =
                g_answers.atFailedCut.substr(0, g_answers.atFailedCut.find('\0'));
            EXPECT_EQ(c.oldAtFault ? old : TipsFileText({c.tip}), text);
            EXPECT_EQ(std::string::npos, g_answers.atFailedCut.find_first_not_of('\0', text.size()))
                << "the old tail left after the text";
        }
        TipsList.ReplaceAt(0, "replacement");
        if (c.backOnceAnswered) {
            const std::string partNew = ReadBytes(tipsPath);
            EXPECT_NE(old, partNew);
            EXPECT_EQ(old.size(), partNew.size()) << "cut back though no byte went back";
            EXPECT_TRUE(g_tipsFile.unfinished.Pending());
        } else {
            ExpectOldFileAlone();
        }
        // The box answered, with the drive back.
        EXPECT_TRUE(PutBackUnfinishedTipsRewrite());
        EXPECT_FALSE(g_tipsFile.unfinished.Pending());
        ExpectOldFileAlone();
        EXPECT_TRUE(g_boxes.empty());
    }
}

// A rewrite in place that a dropped drive cut off keeps the old bytes for its
// next chance: the failure's box answered, the next OK, the stop. Each puts
// them back over whatever the rewrite could have left, and leaves another
// program's save alone; a chance whose put-back fails keeps them for the next.
enum class Chance { BoxAnswered, NextOk, Stop };
enum class Left { OldLength, NewLength, PartZeroBytes, AnotherProgramsSave };

struct PutBackCase {
    Chance chance;
    Left left;
    int failsFirst = 0;          // chances, the drive still gone, before this one
    bool attemptedLost = false;  // memory ran out for the text being written
};

std::vector<PutBackCase> PutBackCases() {
    std::vector<PutBackCase> cases;
    for (Chance chance : {Chance::BoxAnswered, Chance::NextOk, Chance::Stop})
        for (Left left :
             {Left::OldLength, Left::NewLength, Left::PartZeroBytes, Left::AnotherProgramsSave})
            cases.push_back({chance, left});
    cases.push_back({Chance::Stop, Left::OldLength, 2});
    cases.push_back({Chance::BoxAnswered, Left::OldLength, 0, true});
    return cases;
}

TEST_F(RefusedWrite, CutOffRewriteIsPutBackAtItsNextChance) {
    const std::string attempted = TipsFileText({"replacement"});
    const std::string theirs = TipsFileText({"theirs"});
    // The old length: the old text's first half, the new text's second.
    const std::string left[] = {old.substr(0, 15) + attempted.substr(15, old.size() - 15),
                                attempted, old + std::string(attempted.size() - old.size(), '\0'),
                                theirs};
    for (const PutBackCase& c : PutBackCases()) {
        SCOPED_TRACE(testing::Message() << "chance " << static_cast<int>(c.chance) << ", left "
                                        << static_cast<int>(c.left) << ", fails first "
                                        << c.failsFirst << (c.attemptedLost ? ", text lost" : ""));
        WriteOldFile();
        CutOffRewrite();
        if (c.attemptedLost) g_tipsFile.unfinished.attempted = TipsImage{};
        const std::string& now = left[static_cast<int>(c.left)];
        WriteBytes(tipsPath, now);
        for (int i = 0; i < c.failsFirst; ++i) {
            const PlayWindows windows{kDriveDropsWrite, kDriveDropsFlush};
            EXPECT_FALSE(PutBackUnfinishedTipsRewrite());
            EXPECT_EQ(now, ReadBytes(tipsPath));
        }
        const bool stays = c.left == Left::AnotherProgramsSave;
        switch (c.chance) {
        case Chance::BoxAnswered: EXPECT_TRUE(PutBackUnfinishedTipsRewrite()); break;
        case Chance::NextOk:
            // Put back, the file is the one last read, and the save goes on.
            if (stays) g_steps.push_back(BoxAnswered(IDNO, kTipsChangedText));
            EXPECT_EQ(stays ? TipsSave::Declined : TipsSave::Written, WriteTipsFile());
            break;
        case Chance::Stop: EndTipsFileSaves(); break;
        }
        EXPECT_FALSE(g_tipsFile.unfinished.Pending());
        EXPECT_EQ(stays                        ? theirs
                  : c.chance == Chance::NextOk ? attempted
                                               : old,
                  ReadBytes(tipsPath));
    }
}

// Another program writes tips.rc around a save: right after the swap, its
// text is not stamped as ours; just as the rewrite in place opens the file,
// the comparison made on that same handle sees it and asks.
TEST_F(TipsFile, WriterMeetsAnotherProgramsWriteAroundTheSave) {
    WriteOldFile();
    EXPECT_EQ(TipsSave::Written, WriteTipsFile());
    // Rewritten to the same length, right after the swap.
    TipsList.ReplaceAll({"mine"});
    {
        const PlayWindows windows{};
        g_answers.afterReplace = [](LPCSTR path) { WriteBytes(path, TipsFileText({"them"})); };
        EXPECT_EQ(TipsSave::Written, WriteTipsFile());
    }
    EXPECT_EQ(TipsFileChange::TipsChanged,
              CompareTipsFileAt(TipsPath, g_tipsFile.stamp, WaitBudget(0)).change);

    WriteOldFile();
    g_steps.push_back(BoxAnswered(IDNO, kTipsChangedText));
    {
        const PlayWindows windows{kNoNewFile};
        g_answers.beforeInPlaceOpen = [](LPCSTR path) { WriteBytes(path, TipsFileText({"them"})); };
        EXPECT_EQ(TipsSave::Declined, WriteTipsFile());
    }
    EXPECT_EQ(TipsFileText({"them"}), ReadBytes(tipsPath));

    // While the rewrite in place writes, no other program opens tips.rc.
    WriteOldFile();
    {
        const PlayWindows windows{kNoNewFile};
        g_answers.beforeWrite = [] {
            const Handle other(CreateFileA(TipsPath, GENERIC_WRITE,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                           nullptr, OPEN_EXISTING, 0, nullptr));
            EXPECT_FALSE(other.Valid()) << "another program opened tips.rc to write";
        };
        EXPECT_EQ(TipsSave::Written, WriteTipsFile());
    }
}

}  // namespace
