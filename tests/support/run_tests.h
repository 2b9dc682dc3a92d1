// What every test program's main does around RUN_ALL_TESTS.
#pragma once

// What a run in which every selected test skipped, and none failed, returns:
// CTest's SKIP_RETURN_CODE and the test bundle's run-tests.cmd count it as
// skipped. A failed test's output may say "[  PASSED  ] 0 tests." too.
constexpr int kAllTestsSkipped = 77;

// Moves the program to a desktop of its own, guards it against faults, runs
// the tests, and fails a run in which no test was selected.
int RunTests(int argc, char** argv);
