#include <cxxabi.h>

#include <cstddef>

#include "records/module_state.h"

// Where the C++ runtime keeps the exceptions in flight. The win32 flavour's own
// record is thread-local storage that libgcc makes with calloc and malloc at a
// thread's first throw, and it calls abort() when they fail: the first
// bad_alloc on the host's thread while memory is out would end the host. The
// module's code runs only on the host's thread, so one record made at load
// serves it, and a throw then needs nothing beyond the runtime's emergency pool.
// libsupc++'s __cxa_eh_globals on x86: the chain of caught exceptions, and
// how many are thrown and not yet caught.
static_assert(sizeof(ExceptionsInFlight) == 8 && offsetof(ExceptionsInFlight, uncaught) == 4);

namespace __cxxabiv1 {

extern "C" __cxa_eh_globals* __cxa_get_globals() noexcept {
    return reinterpret_cast<__cxa_eh_globals*>(&g_exceptionsInFlight);
}

extern "C" __cxa_eh_globals* __cxa_get_globals_fast() noexcept {
    return reinterpret_cast<__cxa_eh_globals*>(&g_exceptionsInFlight);
}

}  // namespace __cxxabiv1
