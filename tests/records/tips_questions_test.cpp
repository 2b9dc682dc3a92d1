#include "records/module_tips_file.h"

#include "tests/shared/file_times.h"
#include "tests/shared/tips_contents.h"
#include "tests/records/records_fixture.h"

namespace {

struct ChangeCase {
    const char* name;
    const char* other;  // what another program left in tips.rc; null: it deleted the file
    bool asks;
    bool afterOwnSave = false;         // the module saved the file before the other program came
    const char* whileAsked = nullptr;  // what it wrote while the question was up
    // Seconds before the read that the file's last-write time was, and stays
    // after the other program's write of the same size: a network drive
    // answering from its cache, or FAT's 2 s times, would show no change.
    // Negative: the write sets its own time.
    int timeKept = -1;
};

// The second tip changed to one of the same length.
const char* const kTipChanged = "0002// current line\r\nA\r\nX\r\n";

// clang-format off
const ChangeCase kChangeCases[] = {
    {"a tip line changed, same length", kTipChanged, true},
    {"a tip added", "0002// current line\r\nA\r\nB\r\nX\r\n", true},
    {"a line end's CR replaced, same size", "0002// current line\r\nAx\nB\r\n", true},
    {"text after the last CR LF", "0002// current line\r\nA\r\nB\r\nX", true},
    {"the host's counter line alone", "0003// current line\r\nA\r\nB\r\n", false},
    {"the counter line alone, after our own save", "0003// current line\r\nA\r\nB\r\n", false,
     true},
    {"the file deleted", nullptr, false},
    {"a tip added again while asked", "0002// current line\r\nA\r\nB\r\nX\r\n", true, false,
     "0002// current line\r\nA\r\nB\r\nX\r\nY\r\n"},
    {"same size, the time just read kept", kTipChanged, true, false, nullptr, 0},
    {"same size, a time 3 s old kept", kTipChanged, true, false, nullptr, 3},
    {"same size, a time 600 s old kept", kTipChanged, true, false, nullptr, 600},
};
// clang-format on

TEST_F(TipsFile, WriterAsksBeforeReplacingTipsAnotherProgramChanged) {
    const std::string ours = TipsFileText({"A", "B", "ours"});
    for (const ChangeCase& c : kChangeCases) {
        for (const int answer : {IDNO, IDYES}) {
            SCOPED_TRACE(std::string(c.name) + (answer == IDYES ? ", Yes" : ", No"));
            const FILETIME readTime = SecondsFromNow(-c.timeKept);
            const auto write = [&](const char* text) {
                WriteBytes(tipsPath, text);
                EXPECT_TRUE(c.timeKept < 0 || SetLastWriteTime(tipsPath, readTime));
            };
            write("0002// current line\r\nA\r\nB\r\n");
            ReadTipsFile();
            if (c.afterOwnSave) {
                EXPECT_EQ(TipsSave::Written, WriteTipsFile());
            }
            TipsList.Append("ours");
            if (c.other)
                write(c.other);
            else
                DeleteFileA(tipsPath.c_str());
            g_boxes.clear();
            if (c.asks) {
                g_steps.push_back([&](HWND box) {
                    EXPECT_EQ(kTipsChangedText, ItemText(box, kBoxTextId));
                    if (c.whileAsked) {
                        WriteBytes(tipsPath, c.whileAsked);
                        // A Yes agrees to the file as asked about: this change asks again.
                        if (answer == IDYES)
                            g_steps.push_back([](HWND again) { Click(again, IDYES); });
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

// A tips.rc of 20,000 tips, over a megabyte: compared a piece at a time.
struct LargeFileCase {
    const char* name;
    bool afterOwnSave;       // the save compares with its own hash, not the list's read
    bool changed;            // another program changed the last tip meanwhile
    bool unread;             // the start-up read was refused: the question counts every tip
    bool firstTip = false;   // the change is to the first tip, in the first piece, instead
    bool linked = false;     // a second name: the saves rewrite it in place
    size_t counterLine = 0;  // a first line this long instead of the counter line
};

// clang-format off
const LargeFileCase kLargeFileCases[] = {
    {"unchanged since the read", false, false, false},
    {"the last tip changed since the read", false, true, false},
    {"the first tip changed since the read", false, true, false, true},
    {"unchanged since our save", true, false, false},
    {"the last tip changed since our save", true, true, false},
    {"never read", false, false, true},
    {"unchanged since our save through a link", true, false, false, false, true},
    {"unchanged since the read, a first line of 5,000 bytes", false, false, false, false, false,
     5000},
};
// clang-format on

TEST_F(TipsFile, LargeFilesAreComparedAPieceAtATime) {
    const std::string large = TipsFileText(NumberedTips(20000));
    for (const LargeFileCase& c : kLargeFileCases) {
        SCOPED_TRACE(c.name);
        const std::string secondName = folder.File("second.rc");
        DeleteFileA(secondName.c_str());
        WriteBytes(tipsPath, c.counterLine ? std::string(c.counterLine, '9') +
                                                 large.substr(kCounterLine.size())
                                           : large);
        ASSERT_TRUE(!c.linked || CreateHardLinkA(secondName.c_str(), tipsPath.c_str(), nullptr));
        g_tipsFile.stamp = {};
        Answering({Step::Read, ERROR_SHARING_VIOLATION, c.unread ? kAlways : 0}, ReadTipsFile);
        if (c.afterOwnSave) {
            TipsList.Append("saved");
            EXPECT_EQ(TipsSave::Written, WriteTipsFile());
        }
        std::string other = ReadBytes(tipsPath);
        if (c.changed) other[c.firstTip ? 30 : other.size() - 3] ^= 1;
        WriteBytes(tipsPath, other);
        TipsList.Append("ours");
        ExpectSaveAsking(c.unread    ? UnreadQuestion("the 20000 tips")
                         : c.changed ? kTipsChangedText
                                     : "",
                         other);
        TipsList.ReplaceAll({});
    }
}

struct HeldReadCase {
    const char* name;
    int refusedAtStart;  // reads of tips.rc refused at start-up; kAlways: every one
    int refusedAtSave;   // and at the comparison before the save
    DWORD error;
    int opens;                  // of tips.rc to read, at the save if its reads are refused
    std::string question = "";  // the save's; none when empty
    // What is refused: the open, or, on a file that opened, its read (short,
    // yet reported whole) or its size (4 GB more than it is).
    Step step = Step::Read;
};

// clang-format off
const HeldReadCase kHeldReadCases[] = {
    {"start-up read held twice", 2, 0, ERROR_SHARING_VIOLATION, 3},
    {"start-up read locked twice", 2, 0, ERROR_LOCK_VIOLATION, 3},
    {"start-up read held throughout", kAlways, 0, ERROR_SHARING_VIOLATION, kHoldAttempts,
     UnreadQuestion("the 2 tips")},
    {"start-up read denied", kAlways, 0, ERROR_ACCESS_DENIED, 1, UnreadQuestion("the 2 tips")},
    {"start-up read and comparison held throughout", kAlways, kAlways, ERROR_SHARING_VIOLATION,
     kHoldAttempts, UnreadQuestion("every tip")},
    {"comparison held twice", 0, 2, ERROR_SHARING_VIOLATION, 3},
    {"comparison held throughout", 0, kAlways, ERROR_SHARING_VIOLATION, kHoldAttempts,
     kTipsUncheckedText},
    {"comparison's path not found", 0, kAlways, ERROR_PATH_NOT_FOUND, 1},
    {"start-up read short, reported whole", kAlways, 0, ERROR_SUCCESS, 1,
     UnreadQuestion("the 2 tips"), Step::ReadBytes},
    {"comparison read short, reported whole", 0, kAlways, ERROR_SUCCESS, 1, kTipsUncheckedText,
     Step::ReadBytes},
    {"start-up finds 4 GB or more", kAlways, 0, ERROR_SUCCESS, 1, UnreadQuestion("the 2 tips"),
     Step::Size},
    {"comparison finds 4 GB or more", 0, kAlways, ERROR_SUCCESS, 1, kTipsUncheckedText, Step::Size},
};
// clang-format on

TEST_F(TipsFile, ReadsWaitForABriefHolderAndNeverReplaceWhatTheyCouldNotRead) {
    const std::string clean = "0002// current line\r\nA\r\nB\r\n";
    for (const HeldReadCase& c : kHeldReadCases) {
        SCOPED_TRACE(c.name);
        RestartDialogWatchdog();  // the rows' waits add up past the watchdog's time
        WriteBytes(tipsPath, clean);
        TipsList.ReplaceAll({"prior"});
        g_tipsFile.stamp = {};  // as the module starts
        const bool read = c.refusedAtStart != kAlways;
        // Start-up says nothing of a file it cannot open; one it opened but
        // could not read leaves no tips, and says so.
        const bool readBox = !read && c.step != Step::Read;
        ReadExpectingBox(readBox, {c.step, c.error, c.refusedAtStart});
        const int opensAtStart = Calls(Step::Read);
        EXPECT_EQ((read ? Tips{"A", "B"} : readBox ? Tips{} : Tips{"prior"}), TipsNow());
        const int opensAtSave =
            ExpectSaveAsking(c.question, clean, {c.step, c.error, c.refusedAtSave});
        EXPECT_EQ(c.opens, c.refusedAtSave ? opensAtSave : opensAtStart);
    }
}

// Another host of the same session, played by a thread of this program that
// takes the writers' mutex by the name the module gives it.
enum class OtherHost {
    SavesWhileThisWaits,
    EndedHoldingTheMutex,
    WaitsWhileThisSaves,
    HoldsPastTheBudget
};

struct TurnCase {
    const char* name;
    OtherHost other;
    bool mutexDenied;  // this host may only open the mutex the other one made
    TipsSave saved;
    bool unfinished = false;  // a cut-off rewrite's old bytes wait to go back
};

// clang-format off
const TurnCase kTurnCases[] = {
    {"another host saves while this one waits", OtherHost::SavesWhileThisWaits, false,
     TipsSave::Declined},
    {"the same, the mutex only opened", OtherHost::SavesWhileThisWaits, true, TipsSave::Declined},
    {"another host ended holding the mutex", OtherHost::EndedHoldingTheMutex, false,
     TipsSave::Written},
    {"another host waits while this one saves", OtherHost::WaitsWhileThisSaves, false,
     TipsSave::Written},
    // Its save hangs: this one gives up in time, and never writes beside it.
    {"another host holds the mutex past the budget", OtherHost::HoldsPastTheBudget, false,
     TipsSave::Failed},
    // They go back in the save's turn and budget, never beside the other's save.
    {"the same, with old bytes to put back", OtherHost::HoldsPastTheBudget, false,
     TipsSave::Failed, true},
};
// clang-format on

struct OtherHostThread {
    OtherHost role;
    std::string path;
    Handle mutex;
    // Set once it holds the mutex, and once this host's save reads tips.rc.
    Handle holding{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    Handle readStarted{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    std::string seen = "";  // what it found in tips.rc once its turn came
};

DWORD WINAPI PlayOtherHost(void* parameter) {
    auto& host = *static_cast<OtherHostThread*>(parameter);
    if (host.role == OtherHost::WaitsWhileThisSaves) {
        // Its turn comes while this host's save is under way, not before.
        WaitForSingleObject(host.readStarted.Get(), 5000);
        if (WaitForSingleObject(host.mutex.Get(), 5000) != WAIT_OBJECT_0) return 1;
        host.seen = ReadBytes(host.path);
    } else {
        WaitForSingleObject(host.mutex.Get(), INFINITE);
        SetEvent(host.holding.Get());
        if (host.role == OtherHost::EndedHoldingTheMutex) return 0;
        Sleep(host.role == OtherHost::HoldsPastTheBudget ? 4500 : 300);
        if (host.role == OtherHost::SavesWhileThisWaits)
            WriteBytes(host.path, TipsFileText({"the other host's"}));
    }
    ReleaseMutex(host.mutex.Get());
    return 0;
}

TEST_F(TipsFile, SavesTakeTurnsThroughTheWritersMutex) {
    for (const TurnCase& c : kTurnCases) {
        SCOPED_TRACE(c.name);
        WriteOldFile();
        if (c.unfinished) CutOffRewrite();
        const std::string fileBefore = ReadBytes(tipsPath);
        OtherHostThread host{c.other, tipsPath,
                             Handle(CreateMutexA(nullptr, FALSE, MutexNameFor(TipsPath).c_str()))};
        const Handle thread(CreateThread(nullptr, 0, PlayOtherHost, &host, 0, nullptr));
        if (c.other == OtherHost::EndedHoldingTheMutex)
            WaitForSingleObject(thread.Get(), 5000);
        else if (c.other != OtherHost::WaitsWhileThisSaves)
            WaitForSingleObject(host.holding.Get(), 5000);
        if (c.saved == TipsSave::Declined) g_steps.push_back(BoxAnswered(IDNO, kTipsChangedText));
        const DWORD start = GetTickCount();
        const Fault mutex = {Step::Mutex, ERROR_ACCESS_DENIED, c.mutexDenied ? kAlways : 0};
        const TipsSave saved = Answering(mutex, [&] {
            g_answers.slowDisk = 100;  // the other host's turn would come in the middle of the save
            g_answers.readStarted = host.readStarted.Get();
            return WriteTipsFile();
        });
        EXPECT_LE(GetTickCount() - start, 3500u);
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread.Get(), 5000));
        EXPECT_EQ(c.saved, saved);
        if (c.saved == TipsSave::Failed) {
            EXPECT_EQ(c.unfinished, g_tipsFile.unfinished.Pending());
            if (c.unfinished)
                EXPECT_EQ(fileBefore, ReadBytes(tipsPath));
            else
                ExpectOldFileAlone();
        }
        if (c.other == OtherHost::WaitsWhileThisSaves) {
            EXPECT_EQ(ImageText(TipsList), host.seen);
        }
    }
}

}  // namespace
