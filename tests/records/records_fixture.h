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
#include "tests/support/dialog_steps.h"
#include "tests/support/message_box_recorder.h"
#include "tests/support/windows_answers.h"

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

    // The next message box must be the given one; it is closed with OK.
    void ExpectBox(const char* text, const char* caption) {
        g_steps.push_back(BoxAnswered(IDOK, text, caption));
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

    // For a write that must be refused: an old file, and other tips to write,
    // edited as the manager edits them.
    void WriteOldFile() {
        EndTipsFileSaves();  // as a new start: the first save makes the mutex
        WriteBytes(tipsPath, old);
        ReadTipsFile();
        TipsList.ReplaceAt(0, "replacement");
    }
    // The module's save with Windows answering as the faults say, each step on
    // tips.rc and its new file held that long at first: 1 when it wrote tips.rc.
    static int32_t SavedAnswering(std::initializer_list<Fault> faults, DWORD holdEachStepMs = 0) {
        const PlayWindows windows{faults};
        g_answers.holdEachStepMs = holdEachStepMs;
        return WriteTipsFile() == TipsSave::Written;
    }
    // A save in place that a network drive cut off as it dropped, leaving its
    // old bytes to go back at the next chance.
    static void CutOffRewrite() {
        EXPECT_EQ(0, SavedAnswering({kNoNewFile, kDriveDropsWrite, kDriveDropsFlush}));
        EXPECT_TRUE(g_tipsFile.unfinished.Pending());
    }
    // A refused write leaves the old file byte-identical and no file behind.
    void ExpectOldFileAlone() {
        EXPECT_EQ(old, ReadBytes(tipsPath));
        EXPECT_EQ(Tips{"tips.rc"}, FilesIn(folder.path));
        EXPECT_EQ(Tips{"replacement"}, TipsNow());
    }
};
