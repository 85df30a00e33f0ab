// qzinst32 --explain: a saved trace told as runs, each with its command,
// personality, steps and result, and for a failure the call to blame, its
// error and what to check next (in the words of the failure line).
#ifndef QZINST32_PLATFORM_HOST_TRACEEXPLAIN_H_
#define QZINST32_PLATFORM_HOST_TRACEEXPLAIN_H_

#include <string>
#include <vector>

#include "platform/host/report/traceruns.h"

namespace qzhost {

struct RunExplanation {
  bool failed = false;  // a non-zero result, or a run the trace does not finish
  std::string call;     // the Win32 call to blame; empty when none is
  bool hasCode = false;
  unsigned long code = 0;
  std::string name;     // "ERROR_UNKNOWN_PRINTER_DRIVER"
  std::string meaning;  // the error's meaning with its object, or the result's
  std::string cause;    // the likely cause
  std::string next;     // what to check next; may be empty
};

RunExplanation ExplainRun(const TraceRun& run);

// The runs for people, and as one JSON object (docs/schemas/explain.schema.json).
std::string ExplainRunsText(const std::vector<TraceRun>& runs, size_t ignored);
std::string ExplainRunsJson(const std::vector<TraceRun>& runs, size_t ignored);

// Reads the log (`path`, or standard input for "-" or null) and prints the
// explanation. 0 when the log holds a run, 1 when it holds none or cannot be
// read (after a message on standard error).
int ExplainTraceFile(const char* path, bool json);

// --explain's arguments after the option ([FILE|-] [--json]); 120 after a
// message for others. Creates no machine.
int ExplainCommand(int argc, char** argv, bool json);

}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_TRACEEXPLAIN_H_
