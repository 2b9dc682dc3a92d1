#include "tips/brief_holds.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace {

// However late in its budget a retry comes, its wait ends with the budget.
TEST(BriefHolds, NoWaitOutlastsItsBudget) {
    // Retry, budget, whether it waits, and how long it may take at most.
    const DWORD cases[][4] = {{1, 1000, 1, 100}, {6, 40, 1, 140}, {6, 0, 0, 50}, {7, 1000, 0, 50}};
    for (const auto& c : cases) {
        const WaitBudget budget(c[1]);
        const DWORD start = GetTickCount();
        EXPECT_EQ(c[2] != 0, WaitBeforeRetry(c[0], budget)) << c[0];
        EXPECT_LE(GetTickCount() - start, c[3]) << c[0];
    }
}

}  // namespace
