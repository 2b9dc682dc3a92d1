// Virus scanners, the search indexer and sync clients open a file for a moment
// after it changes. A step on tips.rc that meets such a holder is tried again,
// with growing waits, until it passes or the time its caller allows runs out.
#pragma once

#include <windows.h>

// Which errors count as a brief hold. A sharing or lock violation always does.
// ERROR_ACCESS_DENIED does only where a scanner's handle causes it (replacing
// the file, or a name that is still pending deletion); elsewhere it is a
// lasting refusal (no right to create or delete), and waiting would only delay
// the answer.
enum class HoldErrors { SharingOnly, SharingOrDenied };

bool IsBriefHold(DWORD error, HoldErrors which);

// The waiting time one user action allows, all its steps together. The waits
// run on the host's user-interface thread, and Windows calls a window that
// has not pumped its messages for 5 s not responding.
class WaitBudget {
public:
    explicit WaitBudget(DWORD milliseconds);
    // Milliseconds left; 0 once spent.
    DWORD Left() const;

private:
    DWORD start_;
    DWORD length_;
};

// Tries of one held step in all: the first, and one after each wait.
constexpr unsigned kHoldAttempts = 7;

// Waits before try number `retry` (1 for the first retry), never past the
// budget; false once the retries or the budget are used up.
bool WaitBeforeRetry(unsigned retry, const WaitBudget& budget);

// Calls attempt() until it returns true, fails with an error that is not a
// brief hold, or the retries or the budget are used up. The last error is left
// for the caller.
template <typename Attempt>
bool RetryWhileHeld(HoldErrors which, const WaitBudget& budget, Attempt attempt) {
    for (unsigned retry = 1;; ++retry) {
        if (attempt()) return true;
        const DWORD error = GetLastError();
        if (!IsBriefHold(error, which) || !WaitBeforeRetry(retry, budget)) {
            SetLastError(error);
            return false;
        }
    }
}
