// What Windows answers and Wine does not, played by stand-ins for the module's
// imports. Each step of a write can be made to fail a number of times with an
// error; every call is counted and otherwise passed on.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>

#include "tests/shared/import_patch.h"

// Read opens tips.rc to read it. Attributes never fails: tips.rc's attributes come back with the fault's "error" as
// bits added, as Windows shows a symbolic link (FILE_ATTRIBUTE_REPARSE_POINT)
// and Wine never does. ReadBytes is ReadFile, failing as Write does. Size
// never fails either: the file's size comes back with 4 GB added.
enum class Step {
    Read, Probe, NewFile, Replace, InPlaceOpen, Write, SetEnd, Mutex, Attributes, Flush,
    ReadBytes, Size, Count
};
constexpr int kAlways = 1000;

struct Fault {
    Step step;
    DWORD error;
    int times;
};

// The folder takes no new file.
constexpr Fault kNoNewFile = {Step::NewFile, ERROR_ACCESS_DENIED, kAlways};

// How often the step was called since the stand-ins were put in place.
int& Calls(Step step);

extern DWORD g_slowDisk;  // milliseconds each write, cut and rename waits first
// A holder that keeps each step on tips.rc and its new file this long from
// the step's first try, as a scanner looking at each file in turn would; 0: none.
extern DWORD g_holdEachStepMs;
// Where the last new file was asked for.
extern std::string g_newFilePath;
// Set at every read of tips.rc, when there is one.
extern HANDLE g_readStarted;
// Another program's write to tips.rc the moment the replace is done, or just
// before tips.rc is opened to be rewritten in place; none when null.
extern void (*g_afterReplace)(LPCSTR path);
extern void (*g_beforeInPlaceOpen)(LPCSTR path);
// Another program's try at tips.rc just before each write; none when null.
extern void (*g_beforeWrite)();
// What the file held when a SetEndOfFile failed: what a crash at that moment
// would have left.
extern std::string g_atFailedCut;

// The stand-ins in place of this program's imports for the scope's duration,
// with the faults given and the counts at zero. GlobalAlloc's blocks come back
// full of other bytes unless zeroing was asked for, as Windows' heap leaves
// them and Wine's fresh pages never do.
struct PlayWindows {
    ScopedImportPatch createFile;
    ScopedImportPatch moveFile;
    ScopedImportPatch writeFile;
    ScopedImportPatch setEndOfFile;
    ScopedImportPatch createMutex;
    ScopedImportPatch getFileAttributes;
    ScopedImportPatch readFile;
    ScopedImportPatch getFileSize;
    ScopedImportPatch globalAlloc;
    ScopedImportPatch flushFileBuffers;

    explicit PlayWindows(std::initializer_list<Fault> faults);
};

// Scanners and indexers hold a file for a moment; Wine's files have no such
// holders, so the stand-ins refuse the reads of tips.rc as Windows would.
template <typename Work>
auto WithReadsHeld(int refused, DWORD error, Work work) {
    const PlayWindows windows{{Step::Read, error, refused}};
    return work();
}
