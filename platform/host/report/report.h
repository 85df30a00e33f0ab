// The machine-readable result of one run: --report json.
#ifndef QZINST32_PLATFORM_HOST_REPORT_H_
#define QZINST32_PLATFORM_HOST_REPORT_H_

#include <string>

#include "platform/host/report/changes.h"
#include "platform/host/report/failure.h"

namespace qzhost {

// What the run was and how it ended.
struct RunFacts {
  unsigned long command = 0;  // the number as the dispatcher read it
  std::string parameter;      // as the dispatcher split it off
  unsigned result = 0;        // the 16-bit result code
  bool whatIf = false;        // the changes are those the run would make
  RunFailure failure;         // why a run with a non-zero result failed
};

// The meaning of a result code from the result-code table; null for a code
// outside it.
const char* ResultMeaning(unsigned result);

// One JSON object: command, parameter, result (decimal and "0x0403"), its
// meaning, the exit status, whether anything changed, and the changes; for a
// non-zero result an "error" object (call, code, name, meaning, message),
// whose call, code and name are null when no Win32 call is to blame.
std::string ReportJson(const RunFacts& facts, const MachineChanges& changes);

}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_REPORT_H_
