// Host only: the instance lock taken ahead of the program's own guard, so
// that a run can wait for it and a report's snapshot is taken under it.
#ifndef QZINST32_PLATFORM_HOST_INSTANCE_LOCK_H_
#define QZINST32_PLATFORM_HOST_INSTANCE_LOCK_H_

namespace qzhost {

// Takes the machine root's instance lock, trying again for up to `waitMs`
// (0: once). True when this process holds it; the guard's increment then
// uses it. False when another process still holds it: the increment then
// refuses the run (result 256) without trying again, so the run's outcome
// is the one decided here.
bool HoldInstanceLockAhead(int waitMs);

}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_INSTANCE_LOCK_H_
