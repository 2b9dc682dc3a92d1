#include <windows.h>

#include "records/module_state.h"
#include "tests/support/run_tests.h"

int main(int argc, char** argv) {
    // The module's code and resources are linked into the test program itself.
    g_instance = GetModuleHandleA(nullptr);
    return RunTests(argc, argv);
}
