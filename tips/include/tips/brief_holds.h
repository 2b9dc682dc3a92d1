// Virus scanners, the search indexer and sync clients open a file for a moment
// after it changes. A step on tips.rc that meets such a holder is tried again a
// few times, with growing waits of about a second in all, before it fails.
#pragma once

#include <windows.h>

// Which errors count as a brief hold. A sharing or lock violation always does.
// ERROR_ACCESS_DENIED does only where a scanner's handle causes it (replacing
// the file); elsewhere it is a lasting refusal (no right to create or delete),
// and waiting would only delay the answer.
enum class HoldErrors { SharingOnly, SharingOrDenied };

bool IsBriefHold(DWORD error, HoldErrors which);

// Waits before try number `retry` (1 for the first retry); false once the
// retries are used up. The waits run on the host's user-interface thread, so
// they stay short.
bool WaitBeforeRetry(unsigned retry);

// Calls attempt() until it returns true, fails with an error that is not a
// brief hold, or the retries are used up. The last error is left for the caller.
template <typename Attempt>
bool RetryWhileHeld(HoldErrors which, Attempt attempt) {
    for (unsigned retry = 1;; ++retry) {
        if (attempt()) return true;
        const DWORD error = GetLastError();
        if (!IsBriefHold(error, which) || !WaitBeforeRetry(retry)) {
            SetLastError(error);
            return false;
        }
    }
}
