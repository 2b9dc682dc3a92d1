#include "tests/support/run_tests.h"

// For programs that load the built module from disk: the module's code is not
// linked in, so there is no instance to set; each test guards the module it loads.
int main(int argc, char** argv) {
    return RunTests(argc, argv);
}
