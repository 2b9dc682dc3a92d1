#include <gtest/gtest.h>

#include "tests/support/crash_guard.h"

// For programs that load the built module from disk: the module's code is not
// linked in, so there is no instance to set; each test guards the module it loads.
int main(int argc, char** argv) {
    InstallCrashGuard();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
