// The single-instance counter shared by every running instance of the program.
//
// One 32-bit cell per program (per machine root on the host), -1 before any
// instance runs. Incrementing returns the new value: 0 means "the only one".
// Each build defines these once: platform/windows/ with a shared data section,
// platform/host/ with a lock the system releases when a process dies.
#ifndef QZINST32_PLATFORM_INSTANCE_GUARD_H_
#define QZINST32_PLATFORM_INSTANCE_GUARD_H_

#include "platform/win32.h"

LONG IncrementInstanceCounter();
LONG DecrementInstanceCounter();

#endif  // QZINST32_PLATFORM_INSTANCE_GUARD_H_
