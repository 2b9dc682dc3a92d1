// The module's tips.rc: the file at TipsPath read into TipsList and written
// back from it, with the message boxes the user sees.
#pragma once

#include <cstddef>

// Fills TipsList from the file at TipsPath. A file that cannot be opened leaves
// TipsList as it was; a file without any line empties it and says so.
void ReadTipsFile();

enum class TipsSave {
    Written,
    Failed,    // the file is as it was; the caller says so
    Declined,  // the user chose to keep the file as it is; nothing was written
};

// Rewrites the file at TipsPath from TipsList, one module instance at a time.
// It first asks, in a box owned by NotifyWindow, whether to replace the file
// when the file's tips may be ones TipsList lacks: another program changed
// them since they were read or written here, the file cannot be read to tell,
// it could not be read at start-up, or it holds text the list does not show.
// All its waits together end within about 3 s. TipsList is never changed.
// It shows "Error caught" when the new text cannot be built in memory; every
// other failure, and that one too, the caller reports.
TipsSave WriteTipsFile();

// Puts back the old bytes of a rewrite of tips.rc in place that was cut off
// part-way, where there are any; true when nothing is left to put back.
bool PutBackUnfinishedTipsRewrite();

// The stop: the last chance for a cut-off rewrite's old bytes to go back, and
// the writers' mutex let go; the next save makes it anew.
void EndTipsFileSaves();

// The name of the mutex that instances of the module take to save the file at
// path, the same for every spelling of that path; false when the path has none.
constexpr size_t kWriterMutexNameSize = 80;
bool WriterMutexName(const char* path, char (&name)[kWriterMutexNameSize]);
