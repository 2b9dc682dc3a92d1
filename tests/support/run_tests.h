// What every test program's main does around RUN_ALL_TESTS.
#pragma once

// Moves the program to a desktop of its own, guards it against faults, runs
// the tests, and fails a run in which no test was selected.
int RunTests(int argc, char** argv);
