// Why a run failed, in one line for people and as fields for the report.
#ifndef QZINST32_PLATFORM_HOST_FAILURE_H_
#define QZINST32_PLATFORM_HOST_FAILURE_H_

#include <string>

#include "platform/host/machine/failedcall.h"

namespace qzhost {

// The INF file, printer section and port a command 2 or 3 was given;
// empty for other commands.
struct InfRef {
  unsigned long command = 0;
  std::string file;
  std::string section;
  std::string port;
};

struct RunFailure {
  std::string call;        // the Win32 call to blame; empty when none is
  unsigned long code = 0;  // its error number
  std::string name;        // "ERROR_UNKNOWN_PORT"
  std::string meaning;     // plain words, naming the object
  std::string line;        // "result 1046 (0x0416), ...: AddPrinterA failed with ..."
};

// Words that the failure line and the trace explanation (--explain) share.
extern const char kNtDriverHint[];   // after 1797 on Windows NT
extern const char kWaitHint[];       // after 256
extern const char kEnumNodeCause[];  // command 3 without a hardware node: "... of the port "
// "check it with qzinst32 --check-inf FILE SECTION"
std::string CheckInfHint(const std::string& file, const std::string& section);

// Explains a non-zero result. A fault in the INF (a missing file, section or
// key, as the INF check finds it) comes first, as it stops a command before
// any call fails; else the last failed call; else the result's meaning alone.
// `waited` tells that the run waited for the instance guard (--wait).
RunFailure ExplainFailure(unsigned result, const InfRef& inf, const FailedCall* call,
                          unsigned codePage, bool isNT, bool waited = false);

}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_FAILURE_H_
