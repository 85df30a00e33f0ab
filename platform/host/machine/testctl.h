// Test controls of the emulated machine: fresh machines, chosen failures.
//
// Only tests and host tools include this; win32.h never reaches it. A test
// makes a fresh machine (in a temporary folder, or with the registry in
// memory), picks personality and code page, and makes a named call fail.
#ifndef QZINST32_PLATFORM_HOST_TESTCTL_H_
#define QZINST32_PLATFORM_HOST_TESTCTL_H_

#include <string>

#include "platform/host/machine/machine.h"
#include "platform/win32.h"

namespace qzhost {

struct TestMachineOptions {
  Personality os = Personality::kWin98;
  unsigned codePage = 1252;
  bool inMemoryRegistry = false;
  // Module path GetModuleFileNameA reports; empty keeps the real one.
  std::string moduleFileName;
};

// Creates a fresh machine in a new temporary folder and makes it current.
// Returns the folder; RemoveTestMachine deletes it.
std::string UseTestMachine(const TestMachineOptions& options = {});
void RemoveTestMachine();

// Makes the next `count` calls of `api` (its SDK name, "AddMonitorA") fail
// with `error`, after letting `skip` calls pass. Registry calls return the
// error; spooler calls return FALSE/NULL and set it as the last error.
void FailCall(const char* api, DWORD error, int count = 1, int skip = 0);
// Makes the allocation after `skip` more (GlobalAlloc or nothrow new) fail.
void FailAllocation(int skip = 0, int count = 1);
void ClearFailures();

// Used by the emulation: true (and *error set) when this call must fail.
bool ShouldFail(const char* api, DWORD* error);
bool ShouldFailAllocation();

// Overrides the module path on the current machine ("C:\SETUP\QZINST32.EXE").
void SetModuleFileName(const std::string& path);

// Captures the trace instead of sending it to its sink; Take returns and clears.
void CaptureTrace(bool on);
std::string TakeTrace();

}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_TESTCTL_H_
