#include "tips/brief_holds.h"

#include <algorithm>
#include <iterator>

namespace {

// 945 ms for one step held throughout: long enough for a scanner's look at a
// small file, short enough that a refused save does not seem to hang.
constexpr DWORD kRetryWaits[] = {15, 30, 60, 120, 240, 480};
static_assert(std::size(kRetryWaits) == kHoldAttempts - 1, "one wait before each retry");

}  // namespace

bool IsBriefHold(DWORD error, HoldErrors which) {
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) return true;
    return which == HoldErrors::SharingOrDenied && error == ERROR_ACCESS_DENIED;
}

WaitBudget::WaitBudget(DWORD milliseconds) : start_(GetTickCount()), length_(milliseconds) {
}

DWORD WaitBudget::Left() const {
    // Unsigned differences stay right when the tick count wraps after 49 days.
    const DWORD spent = GetTickCount() - start_;
    return spent < length_ ? length_ - spent : 0;
}

bool WaitBeforeRetry(unsigned retry, const WaitBudget& budget) {
    if (retry == 0 || retry >= kHoldAttempts) return false;
    const DWORD left = budget.Left();
    if (left == 0) return false;
    Sleep(std::min(kRetryWaits[retry - 1], left));
    return true;
}
