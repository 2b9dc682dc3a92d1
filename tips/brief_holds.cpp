#include "tips/brief_holds.h"

namespace {

// 945 ms in all: long enough for a scanner's look at a small file, short
// enough that a refused save does not seem to hang.
constexpr DWORD kRetryWaits[] = {15, 30, 60, 120, 240, 480};

}  // namespace

bool IsBriefHold(DWORD error, HoldErrors which) {
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) return true;
    return which == HoldErrors::SharingOrDenied && error == ERROR_ACCESS_DENIED;
}

bool WaitBeforeRetry(unsigned retry) {
    if (retry == 0 || retry > sizeof kRetryWaits / sizeof kRetryWaits[0]) return false;
    Sleep(kRetryWaits[retry - 1]);
    return true;
}
