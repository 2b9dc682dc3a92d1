#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/support/crash_guard.h"

// For programs that load the built module from disk: the module's code is not
// linked in, so there is no instance to set; each test guards the module it loads.
int main(int argc, char** argv) {
    // The module takes the foreground before each popup menu. On a desktop of
    // its own, that leaves the focus of test programs running beside it alone.
    const std::string name = "calvorinor_tests_" + std::to_string(GetCurrentProcessId());
    HDESK desktop = CreateDesktopA(name.c_str(), nullptr, nullptr, 0, GENERIC_ALL, nullptr);
    if (!desktop || !SetThreadDesktop(desktop)) {
        std::fprintf(stderr, "cannot switch to a desktop of our own, error %lu\n", GetLastError());
        return 1;
    }
    InstallCrashGuard();
    testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    // A filter that names no test would otherwise pass.
    if (testing::UnitTest::GetInstance()->test_to_run_count() == 0) {
        std::fprintf(stderr, "no test matched\n");
        return 1;
    }
    return result;
}
