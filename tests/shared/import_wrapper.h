// One imported function of a module taken over by a wrapper of the same
// signature and calling convention, which hands each call to `Behaviour` with
// whatever the slot held before: the real function, or another test's wrapper
// that was bound first. Every stand-in for an import is one: the handle ledger
// counts through it and the fault sweep fails calls through it, one over the
// other, over the message box recorder's.
#pragma once

#include <windows.h>

#include "tests/shared/import_patch.h"

template <auto& function, typename Behaviour, typename Fn = decltype(&function)>
struct ImportWrapper;

// What both conventions share; `Next` is the function pointer type.
template <typename Wrapper, typename Next>
struct ImportSlot {
    static inline Next next;
    // Takes the module's slot over from whatever holds it now; false when the
    // module does not import the function, or the wrapper holds it already.
    // A second BindOver leaves `next` as the first found it, so the wrapper
    // bound already still passes its calls on.
    static bool BindOver(HMODULE module, const char* dll, const char* name) {
        const auto bound = reinterpret_cast<Next>(BoundImport(module, dll, name));
        if (!bound || bound == &Wrapper::Call) return false;
        next = bound;
        return RebindImports(module, reinterpret_cast<void*>(next),
                             reinterpret_cast<void*>(&Wrapper::Call)) > 0;
    }
    // Gives the slot back to what held it before BindOver.
    static void Unbind(HMODULE module) {
        if (next)
            RebindImports(module, reinterpret_cast<void*>(&Wrapper::Call),
                          reinterpret_cast<void*>(next));
    }
};

template <auto& function, typename Behaviour, typename R, typename... A>
struct ImportWrapper<function, Behaviour, R(WINAPI*)(A...)>
    : ImportSlot<ImportWrapper<function, Behaviour>, R(WINAPI*)(A...)> {
    static R WINAPI Call(A... args) { return Behaviour::Call(ImportWrapper::next, args...); }
};

// The C runtime's functions (malloc and its kin) are cdecl.
template <auto& function, typename Behaviour, typename R, typename... A>
struct ImportWrapper<function, Behaviour, R(__cdecl*)(A...)>
    : ImportSlot<ImportWrapper<function, Behaviour>, R(__cdecl*)(A...)> {
    static R __cdecl Call(A... args) { return Behaviour::Call(ImportWrapper::next, args...); }
};

// A wrapper bound over one import of a module for the scope's duration.
template <typename Wrapper>
struct ScopedWrapper {
    HMODULE module;
    bool bound;  // false when the module does not import the function
    ScopedWrapper(HMODULE m, const char* dll, const char* name)
        : module(m), bound(Wrapper::BindOver(m, dll, name)) {}
    ~ScopedWrapper() {
        if (bound) Wrapper::Unbind(module);
    }
    ScopedWrapper(const ScopedWrapper&) = delete;
    ScopedWrapper& operator=(const ScopedWrapper&) = delete;
};

// One wrapper of a list that is bound over one module's imports together, and
// given back together.
struct WrapperBinding {
    const char* dll;
    const char* name;
    bool (*bindOver)(HMODULE module, const char* dll, const char* name);
    void (*unbind)(HMODULE module);
};

template <auto& function, typename Behaviour>
WrapperBinding BindingOf(const char* dll, const char* name) {
    using Wrapper = ImportWrapper<function, Behaviour>;
    return {dll, name, &Wrapper::BindOver, &Wrapper::Unbind};
}
