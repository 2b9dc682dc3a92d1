// The plug-in's popup menu, dialogs and message boxes run modal loops on the
// host's thread, and those loops dispatch the host's messages too. A host may
// stop the plug-in and unload it from such a handler, while the code that
// started the loop is still below it on the stack.
#pragma once

#include <windows.h>

// Holds a reference to the module while it lives, so the code a modal loop
// returns to is still mapped. The reference goes back at the end of the scope
// only when the plug-in was not stopped meanwhile: a stopped plug-in's host may
// have let go of its own reference, and this one then keeps the module loaded
// until the process ends.
class StayLoaded {
public:
    StayLoaded();
    ~StayLoaded();
    StayLoaded(const StayLoaded&) = delete;
    StayLoaded& operator=(const StayLoaded&) = delete;

    // True once the plug-in has been stopped since the scope began: the
    // command that ran the loop must then show and write nothing more.
    bool StoppedMeanwhile() const;

private:
    HMODULE module_ = nullptr;
    unsigned stopsBefore_;
};

// Every message box the plug-in shows goes through here: the module stays
// loaded while it is up, and EndOpenMessageBoxes can find it.
int ShowMessageBox(HWND owner, const char* text, const char* caption, UINT style);

// For the shut-down: ends every box ShowMessageBox has open, answered No (or
// Cancel where it has no No), and counts the stop for StayLoaded.
void EndOpenMessageBoxes();
void NoteModuleStopped();

// For a window procedure, dialog procedure, hook or entry point: whatever the
// C++ runtime throws (running out of memory above all) must not unwind through
// user32 or the host's frames. What work threw for is left undone, the user
// is told in a box owned by `owner`, and `failed` is returned. While memory
// stays out, the work of every window the box's loop serves fails as well:
// those failures are told by the box already up.
void ShowOutOfMemory(HWND owner);
template <typename Result, typename Work>
Result CatchAtBoundary(HWND owner, Result failed, Work work) noexcept {
    try {
        return work();
    } catch (...) {
        ShowOutOfMemory(owner);
        return failed;
    }
}
