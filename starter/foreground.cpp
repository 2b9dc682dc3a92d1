#include <windows.h>

#include "records/starter_api.h"

// The system refuses the foreground to a thread that does not hold the input
// focus, which leaves a popup menu that never closes when the user clicks
// elsewhere. Sharing the foreground thread's input state for the call lifts that.
// The host's second value tells its own library how to go about it; this one
// needs no such hint.
int WINAPI SetForeWndFix(HWND window, DWORD) {
    if (!window || !IsWindow(window)) return 0;
    const DWORD ours = GetCurrentThreadId();
    const HWND current = GetForegroundWindow();
    const DWORD theirs = current ? GetWindowThreadProcessId(current, nullptr) : 0;
    const bool attached = theirs && theirs != ours && AttachThreadInput(ours, theirs, TRUE);
    BringWindowToTop(window);
    const BOOL done = SetForegroundWindow(window);
    if (attached) AttachThreadInput(ours, theirs, FALSE);
    return done ? 1 : 0;
}
