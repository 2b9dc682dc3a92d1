// Reading a tips file into a tips list, and writing a list back to a file,
// given the file's path. These show nothing: the caller decides what the user
// is told. Every wait for another program's brief hold on the file comes out
// of the budget the caller gives.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string_view>

#include "tips/brief_holds.h"
#include "tips/tips_file_steps.h"
#include "tips/tips_list.h"
#include "tips/tips_stamp.h"
#include "tips/tips_text.h"
#include "win/handles.h"

enum class TipsReadResult {
    NotOpened,    // the list is as it was
    Read,         // the list holds the file's tips
    NoLines,      // the file holds no line at all: the list is emptied
    NotRead,      // the file opened but could not be read: the list is emptied
    SplitFailed,  // memory ran out while the lines were cut: the list is as it was
};

// Fills the list from the file at path: the counter line is skipped, every later
// line ended by CR LF is a tip. Unless the file could not be opened, the stamp
// records what the file held; when it could not be opened or read, the stamp
// says so.
TipsReadResult ReadTipsFileAt(const char* path, TipsListStore& list, TipsFileStamp& stamp,
                              const WaitBudget& budget);

enum class TipsFileChange {
    Unchanged,  // the tips part is the one stamped; the counter line may differ
    TipsChanged,
    Vanished,    // there is no file at path
    Unreadable,  // the file is there but could not be read now
};

// What a comparison of the file with the stamp found. Once the file was read,
// `fileNow` says what its tips part holds: its length, its hash, and its
// lines where a question names them.
struct TipsFileComparison {
    TipsFileChange change = TipsFileChange::Unreadable;
    TipsPartSeen fileNow{};
};

// Whether the tips part of the file at path is still the stamped one, read
// from the file itself every time.
TipsFileComparison CompareTipsFileAt(const char* path, const TipsFileStamp& stamp,
                                     const WaitBudget& budget);

// A rewrite in place cut off part-way whose old bytes could not go back at
// once (the drive dropped): they wait here, with the text that was being
// written, for the next chance.
struct UnfinishedRewrite {
    FileBytes old;
    TipsImage attempted;
    bool Pending() const { return old.block.Get() != nullptr; }
};

enum class TipsWriteResult {
    Written,
    NotWritten,   // the file is as it was
    ImageFailed,  // the text could not be built in memory; the file is as it was
    NotAhead,     // the comparison's answer stopped the save; nothing was written
    LeftChanged,  // a rewrite in place failed and its old bytes wait to go back
};

struct TipsSaveOutcome {
    TipsWriteResult result = TipsWriteResult::NotWritten;
    TipsFileComparison found;      // what the comparison before the save found
    UnfinishedRewrite unfinished;  // with LeftChanged
};

// Told what the comparison found, says whether the save goes on.
using GoAhead = std::function<bool(const TipsFileComparison&)>;

// Compares the file at path with the stamp, hands goAhead what it found, and
// then rewrites the file from the list, swapping the new text in whole so
// that a failure at any step, or a crash, leaves the old file as it was. A
// file still held when the budget runs out is refused, as is a read-only one.
// When the folder takes no new file, the file may be written but not deleted,
// or it is a link (a hard link's other names, a symbolic link's target), it
// is rewritten in place through one handle that shares nothing from the
// comparison to the end, and the old bytes are put back if that fails.
// Hidden and system bits stay. Once written, the stamp records what was written.
TipsSaveOutcome SaveTipsFileAt(const char* path, const TipsListStore& list, TipsFileStamp& stamp,
                               const WaitBudget& budget, const GoAhead& goAhead);

// Puts the old bytes of an unfinished rewrite back, unless the file now holds
// something that rewrite could not have left: another program's save, which
// stays. True when nothing is left to put back.
bool PutBackUnfinishedRewrite(const char* path, UnfinishedRewrite& unfinished,
                              const WaitBudget& budget);
