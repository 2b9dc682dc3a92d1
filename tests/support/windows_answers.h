// What Windows answers and Wine does not, played by stand-ins for the module's
// imports. Each step of a write can be made to fail a number of times with an
// error; every call is counted and otherwise passed on.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>

// Read opens tips.rc to read it. Attributes never fails: tips.rc's attributes
// come back with the fault's "error" as bits added, as Windows shows a symbolic
// link (FILE_ATTRIBUTE_REPARSE_POINT) and Wine never does. ReadBytes is
// ReadFile, failing as Write does. Size never fails either: the file's size
// comes back with 4 GB added.
// clang-format off
enum class Step {
    Read, Probe, NewFile, Replace, InPlaceOpen, Write, SetEnd, Mutex, Attributes, Flush,
    ReadBytes, Size, Count
};
// clang-format on
constexpr int kAlways = 1000;

struct Fault {
    Step step;
    DWORD error;
    int times;
};

// A network drive that drops in the middle of a write, and stays gone.
constexpr Fault kDriveDropsWrite = {Step::Write, ERROR_NETNAME_DELETED, kAlways};
constexpr Fault kDriveDropsFlush = {Step::Flush, ERROR_NETNAME_DELETED, kAlways};

// The folder takes no new file.
constexpr Fault kNoNewFile = {Step::NewFile, ERROR_ACCESS_DENIED, kAlways};

// What the stand-ins play and what they saw; putting them in place resets it whole.
struct WindowsAnswers {
    Fault faults[static_cast<int>(Step::Count)];
    int calls[static_cast<int>(Step::Count)];
    DWORD firstTry[static_cast<int>(Step::Count)];  // tick of each step's first call
    DWORD slowDisk;  // milliseconds each write, cut and rename waits first
    // A holder that keeps each step on tips.rc and its new file this long from
    // the step's first try, as a scanner looking at each file in turn would; 0: none.
    DWORD holdEachStepMs;
    std::string newFilePath;  // where the last new file was asked for
    HANDLE readStarted;       // set at every read of tips.rc, when there is one
    // Another program's write to tips.rc the moment the replace is done, or just
    // before tips.rc is opened to be rewritten in place; none when null.
    void (*afterReplace)(LPCSTR path);
    void (*beforeInPlaceOpen)(LPCSTR path);
    // Another program's try at tips.rc just before each write; none when null.
    void (*beforeWrite)();
    // What the file held when a SetEndOfFile failed: what a crash at that moment
    // would have left.
    std::string atFailedCut;
};
extern WindowsAnswers g_answers;

// How often the step was called since the stand-ins were put in place.
int& Calls(Step step);

// The stand-ins in place of this program's imports for the scope's duration,
// with the faults given and the rest of g_answers reset. GlobalAlloc's blocks
// come back full of other bytes unless zeroing was asked for, as Windows' heap
// leaves them and Wine's fresh pages never do.
struct PlayWindows {
    explicit PlayWindows(std::initializer_list<Fault> faults);
    ~PlayWindows();
    PlayWindows(const PlayWindows&) = delete;
    PlayWindows& operator=(const PlayWindows&) = delete;
};

// What the work returns, done with Windows answering as the fault says.
template <typename Work>
auto Answering(Fault fault, Work work) {
    const PlayWindows windows{fault};
    return work();
}
