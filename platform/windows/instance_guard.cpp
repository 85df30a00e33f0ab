// Windows build: the single-instance counter in a shared data section.
//
// Only what differs on Windows lives in this folder. Every process started
// from the same program file maps the same ".shared" section, so the cell is
// one per program file; it vanishes with the last process that maps it.
#include "platform/instance_guard.h"

LONG g_lInstanceCounter __attribute__((section(".shared"), shared)) = -1;

LONG IncrementInstanceCounter() { return InterlockedIncrement(&g_lInstanceCounter); }

LONG DecrementInstanceCounter() { return InterlockedDecrement(&g_lInstanceCounter); }
