// Reading a tips file into a tips list, and writing a list back to a file,
// given the file's path. These show nothing: the caller decides what the user
// is told. Every wait for another program's brief hold on the file comes out
// of the budget the caller gives.
#pragma once

#include <cstdint>

#include "tips/brief_holds.h"
#include "tips/tips_list.h"
#include "tips/tips_stamp.h"

enum class TipsReadResult {
    NotOpened,     // the list is as it was
    Read,          // the list holds the file's tips
    NoTipsOrFault, // no line at all (the list is emptied), or a fault while splitting
};

// Fills the list from the file at path: the counter line is skipped, every later
// line ended by CR LF is a tip. Unless the file could not be opened, the stamp
// records what the file held; when it could not be opened or read, the stamp
// says so.
TipsReadResult ReadTipsFileAt(const char* path, TipsListStore& list, TipsFileStamp& stamp,
                              const WaitBudget& budget);

enum class TipsWriteResult {
    Written,
    NotWritten,    // the file is as it was
    ImageFailed,   // the text could not be built in memory; the file is as it was
};

// Rewrites the file at path from the list, swapping the new text in whole so
// that a failure at any step, or a crash, leaves the old file as it was. A
// file still held when the budget runs out is refused, as is a read-only one.
// When the folder takes no new file, the file may be written but not deleted,
// or it is a link (a hard link's other names, a symbolic link's target), it
// is rewritten in place, the old bytes put back if that fails.
// Hidden and system bits stay. Once written, the stamp records what was written.
TipsWriteResult WriteTipsFileAt(const char* path, const TipsListStore& list,
                                TipsFileStamp& stamp, const WaitBudget& budget);

enum class TipsFileChange {
    Unchanged,    // the tips part is the one stamped; the counter line may differ
    TipsChanged,
    Vanished,     // there is no file at path
    Unreadable,   // the file is there but could not be read now
};

// Whether the tips part of the file at path is still the stamped one, read
// from the file itself every time. The list is the one the stamp's read
// filled; once it holds other text than that read's, the tips part counts as
// changed. Once the file was read, `seen` records the length of its tips part,
// and their hash when they changed.
TipsFileChange CompareTipsFileAt(const char* path, const TipsFileStamp& stamp,
                                 const TipsListStore& list, TipsFileStamp& seen,
                                 const WaitBudget& budget);
