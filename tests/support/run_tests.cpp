#include "tests/support/run_tests.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "host/crash_guard.h"

namespace {

// A fault fails the running test; CTest shows the output up to it.
void FailTheRunningTest(const char* what) {
    ADD_FAILURE() << what;
}

}  // namespace

int RunTests(int argc, char** argv) {
    // The foreground window and the keyboard focus belong to a desktop: on one
    // of its own, a program's dialogs keep both while other test programs run
    // beside it, and the module taking the foreground for its menus disturbs
    // no one else. Run alone (the test bundle's run-tests.cmd says so), it
    // stays on the input desktop: Windows moves the cursor and hands over the
    // foreground only there, where Wine does so on any desktop.
    char alone[2] = "";
    const bool runAlone = GetEnvironmentVariableA("CALVORINOR_TESTS_ALONE", alone, sizeof alone);
    // The program's second processes run beside it: each takes a desktop.
    SetEnvironmentVariableA("CALVORINOR_TESTS_ALONE", nullptr);
    if (!runAlone) {
        const std::string name = "calvorinor_tests_" + std::to_string(GetCurrentProcessId());
        HDESK desktop = CreateDesktopA(name.c_str(), nullptr, nullptr, 0, GENERIC_ALL, nullptr);
        if (!desktop || !SetThreadDesktop(desktop)) {
            std::fprintf(stderr, "cannot switch to a desktop of our own, error %lu\n",
                         GetLastError());
            return 1;
        }
    }
    InstallCrashGuard(FailTheRunningTest);
    testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    const testing::UnitTest& run = *testing::UnitTest::GetInstance();
    // A filter that names no test would otherwise pass.
    if (run.test_to_run_count() == 0) {
        std::fprintf(stderr, "no test matched\n");
        return 1;
    }
    if (result == 0 && run.successful_test_count() == 0) return kAllTestsSkipped;
    return result;
}
