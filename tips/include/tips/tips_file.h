// Reading a tips file into a tips list, and writing a list back to a file.
// These show nothing: the caller decides what the user is told.
#pragma once

#include <cstdint>

#include "tips/tips_list.h"
#include "tips/tips_stamp.h"

enum class TipsReadResult {
    NotOpened,     // the list is as it was
    Read,          // the list holds the file's tips
    NoTipsOrFault, // no line at all (the list is emptied), or a fault while splitting
};

// Fills the list from the file at path: the counter line is skipped, every later
// line ended by CR LF is a tip. A file that another program holds for a moment
// is waited for. Unless the file could not be opened, the stamp records what
// the file held; when it could not be opened or read, the stamp says so.
TipsReadResult ReadTipsFrom(const char* path, TipsListStore& list, TipsFileStamp& stamp);

enum class TipsWriteResult {
    Written,
    NotWritten,    // the file is as it was
    ImageFailed,   // the text could not be built in memory; the file is as it was
};

// Rewrites the file at path from the list, swapping the new text in whole so
// that a failure at any step, or a crash, leaves the old file as it was. Each
// step waits a moment for a program that holds the file briefly; a file still
// held is refused, as is a read-only one. When the folder takes no new file, or
// the file may be written but not deleted, it is rewritten in place, the old
// bytes put back if that fails. Hidden and system bits stay. Once written, the
// stamp records the size and the last-write time the writer gave the file.
TipsWriteResult WriteTipsTo(const char* path, const TipsListStore& list, TipsFileStamp& stamp);

enum class TipsFileChange {
    Unchanged,    // the tips part is the one stamped; the counter line may differ
    TipsChanged,
    Vanished,     // there is no file at path
    Unreadable,   // the file is there but could not be read now
};

// Whether the tips part of the file at path is still the stamped one. A file
// whose size and last-write time are the stamped ones is not read, unless that
// time was too recent to tell a later change by. A file that another program
// holds for a moment is waited for. The list is the one the stamp's read
// filled; once it holds other text than that read's, the tips part counts as
// changed. Once the file was read, `seen` records what it holds now.
TipsFileChange CompareTipsFile(const char* path, const TipsFileStamp& stamp,
                               const TipsListStore& list, TipsFileStamp& seen);
