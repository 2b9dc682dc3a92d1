// Reading a tips file into a tips list, and writing a list back to a file.
// These show nothing: the caller decides what the user is told.
#pragma once

#include "tips/tips_list.h"

enum class TipsReadResult {
    NotOpened,     // the list is as it was
    Read,          // the list holds the file's tips
    NoTipsOrFault, // no line at all (the list is emptied), or a fault while splitting
};

// Fills the list from the file at path: the counter line is skipped, every later
// line ended by CR LF is a tip.
TipsReadResult ReadTipsFrom(const char* path, TipsListStore& list);

enum class TipsWriteResult {
    Written,
    NotWritten,    // the file is as it was
    ImageFailed,   // the text could not be built in memory; the file is as it was
};

// Rewrites the file at path from the list, swapping the new text in whole so
// that a failure at any step leaves the old file as it was.
TipsWriteResult WriteTipsTo(const char* path, const TipsListStore& list);
