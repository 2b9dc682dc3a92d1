#include <windows.h>

#include <gtest/gtest.h>

#include "plugin/module_state.h"
#include "tests/support/crash_guard.h"

int main(int argc, char** argv) {
    // The module's code and resources are linked into the test program itself.
    g_instance = GetModuleHandleA(nullptr);
    InstallCrashGuard();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
