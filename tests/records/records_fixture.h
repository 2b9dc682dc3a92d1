// The fixture of the tests that read and write tips.rc through the module's
// ReadTipsFile and WriteTipsFile: a tips.rc of its own in a fresh folder, the
// dialogs and message boxes watched, and the questions a save may ask.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "records/messages.h"
#include "records/module_state.h"
#include "records/module_tips_file.h"
#include "tests/shared/temp_folder.h"
#include "tests/shared/tips_readback.h"
#include "tests/shared/tips_text_helpers.h"
#include "tests/support/dialog_steps.h"
#include "tests/support/message_box_recorder.h"
#include "tests/support/windows_answers.h"

// The name of the writers' mutex that the module takes for the file at `path`.
inline std::string MutexNameFor(const std::string& path) {
    char name[kWriterMutexNameSize] = "";
    EXPECT_TRUE(WriterMutexName(path.c_str(), name)) << path;
    return name;
}

// The text with each %s replaced by the next of the parts.
inline std::string Formatted(std::string text, std::initializer_list<std::string> parts) {
    for (const std::string& part : parts) text.replace(text.find("%s"), 2, part);
    return text;
}
// The question kTipsNotShownText asks for these items and this many lines.
inline std::string NotShownQuestion(const char* items, int lines) {
    return Formatted(kTipsNotShownText,
                     {items, lines == 1 ? "1 line" : std::to_string(lines) + " lines"});
}
// The question asked while the list holds none of the file's tips; what it
// drops: "every tip", "the 1 tip", "the 2 tips".
inline std::string UnreadQuestion(const std::string& drops) {
    return Formatted(kTipsUnreadAtStartText, {drops});
}

class TipsFile : public testing::Test {
protected:
    TempFolder folder;
    std::string tipsPath = folder.File("tips.rc");
    const std::string newFilePath = folder.File("tips.r~");  // the swap writes it, then renames it
    static constexpr char kOld[] = "0007// current line\r\nkeep me\r\n";
    std::string old = kOld;

    void SetUp() override {
        WatchDialogsAndBoxes();
        lstrcpynA(TipsPath, tipsPath.c_str(), kTipsPathSize);
        TipsList.ReplaceAll({"prior"});
    }
    void TearDown() override { StopWatchingDialogs(); }

    // The start-up read with Windows answering as the fault says. It shows the
    // box that says it found no tips, closed with OK, when `box`; else none.
    static void ReadExpectingBox(bool box, Fault fault = {}) {
        g_boxes.clear();
        if (box) g_steps.push_back(BoxAnswered(IDOK, "Error caught or no tips", "Read File"));
        Answering(fault, ReadTipsFile);
        EXPECT_EQ(box ? 1u : 0u, g_boxes.size());
        if (box) ExpectOneBox(nullptr, "Error caught or no tips", "Read File", MB_TOPMOST);
    }
    // A save with Windows answering as the fault says, which asks the question
    // when there is one: a No leaves tips.rc as `kept`, a Yes writes it, and the
    // next save asks nothing. How often the first save opened tips.rc to read.
    int ExpectSaveAsking(const std::string& question, const std::string& kept, Fault fault = {}) {
        const bool asks = !question.empty();
        g_boxes.clear();
        if (asks) g_steps.push_back(BoxAnswered(IDNO, question));
        EXPECT_EQ(asks ? TipsSave::Declined : TipsSave::Written, Answering(fault, WriteTipsFile));
        const int opens = Calls(Step::Read);
        if (asks) {
            EXPECT_EQ(kept, ReadBytes(tipsPath));
            g_steps.push_back(BoxAnswered(IDYES, question));
            EXPECT_EQ(TipsSave::Written, Answering(fault, WriteTipsFile));
            EXPECT_EQ(2u, g_boxes.size());
            for (const RecordedBox& box : g_boxes) EXPECT_EQ(NotifyWindow, box.owner);
            g_boxes.clear();
            EXPECT_EQ(TipsSave::Written, Answering({}, WriteTipsFile));
        }
        EXPECT_TRUE(g_boxes.empty());
        EXPECT_EQ(ImageText(TipsList), ReadBytes(tipsPath));
        return opens;
    }

    // For a write that must be refused: an old file, and other tips to write,
    // edited as the manager edits them.
    void WriteOldFile() {
        EndTipsFileSaves();  // as a new start: the first save makes the mutex
        WriteBytes(tipsPath, old);
        ReadTipsFile();
        TipsList.ReplaceAt(0, "replacement");
    }
    // The module's save with Windows answering as the faults say, each step on
    // tips.rc and its new file held that long at first.
    static TipsSave SavedAnswering(std::initializer_list<Fault> faults, DWORD holdEachStepMs = 0) {
        const PlayWindows windows{faults};
        g_answers.holdEachStepMs = holdEachStepMs;
        return WriteTipsFile();
    }
    // A save in place that a network drive cut off as it dropped, leaving its
    // old bytes to go back at the next chance.
    static void CutOffRewrite() {
        EXPECT_EQ(TipsSave::Failed,
                  SavedAnswering({kNoNewFile, kDriveDropsWrite, kDriveDropsFlush}));
        EXPECT_TRUE(g_tipsFile.unfinished.Pending());
    }
    // A refused write leaves the old file byte-identical and no file behind.
    void ExpectOldFileAlone() {
        EXPECT_EQ(old, ReadBytes(tipsPath));
        EXPECT_EQ(Tips{"tips.rc"}, FilesIn(folder.path));
        EXPECT_EQ(Tips{"replacement"}, TipsNow());
    }
};
