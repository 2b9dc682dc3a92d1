#include "tips/brief_holds.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace {

// However late in its budget a retry comes, its wait ends with the budget.
TEST(BriefHolds, NoWaitOutlastsItsBudget) {
    const struct {
        unsigned retry;
        DWORD budget;
        bool waits;
        DWORD tookAtMostMs;
    } cases[] = {{1, 1000, true, 100},
                 {kHoldAttempts - 1, 40, true, 140},
                 {kHoldAttempts - 1, 0, false, 50},
                 {kHoldAttempts, 1000, false, 50}};
    for (const auto& c : cases) {
        const WaitBudget budget(c.budget);
        const DWORD start = GetTickCount();
        EXPECT_EQ(c.waits, WaitBeforeRetry(c.retry, budget)) << c.retry;
        EXPECT_LE(GetTickCount() - start, c.tookAtMostMs) << c.retry;
    }
}

}  // namespace
