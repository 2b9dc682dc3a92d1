#include "records/host_records.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>

// Host icon routines as the host writes them: the one argument arrives in EAX,
// the result leaves in EAX, the stack holds nothing for them.
extern "C" uint32_t __attribute__((regparm(1))) ComplementOfArgument(TrayIconRecord* record);
extern "C" uint32_t __attribute__((regparm(1))) IdOfRecord(TrayIconRecord* record);
asm(".text\n"
    ".globl _ComplementOfArgument\n"
    "_ComplementOfArgument:\n"
    "    notl %eax\n"
    "    ret\n"
    ".globl _IdOfRecord\n"
    "_IdOfRecord:\n"
    "    movl 8(%eax), %eax\n"  // TrayIconRecord.uID
    "    ret\n");

namespace {

// The host's record as the module receives it: routine addresses the compiler
// cannot see through, so every call goes through the declared pointer types.
HostInfo HostWith(void* routine) {
    volatile uint32_t address = reinterpret_cast<uint32_t>(routine);
    HostInfo host{};
    host.addIcon = reinterpret_cast<AddIconRoutine>(address);
    host.removeIcon = reinterpret_cast<RemoveIconRoutine>(address);
    return host;
}

TEST(HostIconRoutines, ArgumentTravelsInEax) {
    const HostInfo host = HostWith(reinterpret_cast<void*>(ComplementOfArgument));
    // A stack-based call stores a constant argument straight to the stack, so
    // only a call that loads it into EAX gets its complement back.
    EXPECT_EQ(~0x12345678u, host.addIcon(reinterpret_cast<TrayIconRecord*>(0x12345678)));
    EXPECT_EQ(~0x0BADF00Du, host.removeIcon(reinterpret_cast<TrayIconRecord*>(0x0BADF00D)));
}

TEST(HostIconRoutines, RoutineReadsTheRecordItIsHanded) {
    const HostInfo host = HostWith(reinterpret_cast<void*>(IdOfRecord));
    TrayIconRecord record{};
    record.cbSize = kTrayIconRecordSize;
    record.uID = 0x5A5A;
    EXPECT_EQ(0x5A5Au, host.addIcon(&record));
    record.uID = kTrayIconId;
    EXPECT_EQ(kTrayIconId, host.removeIcon(&record));
}

}  // namespace
