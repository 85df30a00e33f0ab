// The runs of the program in a trace: from "lpstrCmdLine=" to
// "WinMain()=0x....", per process, with the facts and steps each line states.
#ifndef QZINST32_PLATFORM_HOST_TRACERUNS_H_
#define QZINST32_PLATFORM_HOST_TRACERUNS_H_

#include <string>
#include <vector>

#include "platform/host/report/tracelines.h"

namespace qzhost {

// One step the trace reports with its outcome.
struct TraceStep {
  enum Outcome { kDone, kFailed, kPresent, kAbsent, kEntered };
  std::string name;  // "AddPrinter", "open key ...", "Halden Port Monitor ON LPT1:"
  Outcome outcome = kDone;
  bool hasError = false;
  unsigned long error = 0;  // the error number the line gives
  std::string call;         // the Win32 call behind the step ("AddPrinterA"); may be empty
  std::string kind;         // what `object` is ("port", "driver", "key")
  std::string object;
  std::string text;  // the trace line
};

const char* TraceOutcomeName(TraceStep::Outcome outcome);

struct TraceRun {
  std::string process;
  TraceForm form = TraceForm::kHost;
  size_t firstLine = 0, lastLine = 0;
  std::string commandText;  // lpstrCmdLine=
  bool dispatched = false;  // a "Cmd=" line was seen
  unsigned long command = 0;
  std::string parameter;
  int isNT = -1;  // "IsNT == n"; -1 when the trace does not say
  // Command 2 and 3: what the printer object read.
  std::string inf, section, port, printer, driver, processor;
  bool infEmpty = false;  // the driver object read no name from the INF
  std::vector<TraceStep> steps;
  bool finished = false;  // "WinMain()=" was seen
  unsigned result = 0;
  std::string hostMessage;  // the host program's "qzinst32: result ..." line, if any
};

// The runs of the lines in order of their first line; lines of a process
// outside a run are counted in *ignored when it is given.
std::vector<TraceRun> SplitTraceRuns(const std::vector<TraceLine>& lines, size_t* ignored);

}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_TRACERUNS_H_
