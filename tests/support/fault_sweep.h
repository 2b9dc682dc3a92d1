// Fails the module's calls of one kind the way SQLite's fault sweeps do: the
// Nth call since the plan was armed fails, once (a transient failure) or with
// every call after it until the plan is disarmed (memory, a disk or the window
// manager that stays out). Windows under pressure fails these calls and Wine
// on a quiet machine does not, so each is played by a stand-in bound into the
// module's import table over whatever the slot held (the handle ledger's and
// the box recorder's wrappers included), to which every other call goes on.
#pragma once

#include <windows.h>

enum class CallKind { Memory, File, Window, Count };
// By kind, for a failure's message.
inline const char* const kCallKindNames[] = {"memory", "file", "window"};

struct FaultPlan {
    CallKind kind;
    int failAt;       // the first call to fail, counted from 1
    bool persistent;  // and every call of the kind after it
};

// The module's imports of every kind, rebound for the scope's duration; they
// pass every call on until Arm.
class FailingCalls {
public:
    explicit FailingCalls(HMODULE module);
    ~FailingCalls();
    FailingCalls(const FailingCalls&) = delete;
    FailingCalls& operator=(const FailingCalls&) = delete;

    static void Arm(FaultPlan plan) {
        plan_ = plan;
        calls_ = failed_ = 0;
        armed_ = true;
    }
    static void Disarm() { armed_ = false; }
    // How many calls of the armed kind were failed since Arm.
    static int Failed() { return failed_; }
    // Counts a call of `kind`; true when the armed plan fails it.
    static bool Fails(CallKind kind);
    // After FreeLibrary: the import table is gone, nothing is bound back.
    void ModuleUnloaded();

private:
    static inline FaultPlan plan_;
    static inline bool armed_ = false;
    static inline int calls_ = 0, failed_ = 0;
    HMODULE module_;
};
