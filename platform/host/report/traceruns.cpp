// Runs and steps read from the program's own trace formats.
#include "platform/host/report/traceruns.h"

#include <stdlib.h>

#include <map>
#include <regex>

namespace qzhost {
namespace {

// The routine names of the trace and the Win32 call each one makes, with
// the kind of object a failure is about.
struct RoutineCall {
  const char* routine;
  const char* call;
  const char* kind;
};
const RoutineCall kRoutines[] = {
    {"AddMonitor", "AddMonitorA", "monitor"},
    {"AddPrintProcessor", "AddPrintProcessorA", "print processor"},
    {"AddPrinter", "AddPrinterA", "printer"},
    {"AddPrinterDriver", "AddPrinterDriverA", "driver"},
    {"WritePrivateProfileString", "WritePrivateProfileStringA", "file"},
    {"EnumPorts", "EnumPortsA", ""},
};

const RoutineCall* FindRoutine(const std::string& routine) {
  for (const RoutineCall& r : kRoutines)
    if (routine == r.routine) return &r;
  return nullptr;
}

const std::regex kCmd(R"(^Cmd=`(\d+)' Param=`(.*)'$)");
const std::regex kIsNT(R"(^IsNT == (-?\d+)$)");
const std::regex kResult(R"(^WinMain\(\)=0x([0-9A-Fa-f]{1,8})$)");
const std::regex kPrnSect(R"(^PrnSect=(.*) Port=(.*)$)");
const std::regex kDriverName(R"(^COrlPrintDriver\(\): name==(.*); File==(.*)$)");
const std::regex kProcessorName(R"(^COrlPrintProcessor\.name=(.*), COrlPrintProcessor\.file=)");
const std::regex kObjectFor(R"(^COrlPortMonitor\(\) for (.*)$)");
const std::regex kSucceed(R"(^(\w+)\(\) [Ss]ucceed ?!$)");
const std::regex kFailedError(
    R"(^(\w+)\(\) (?:Failed! ERROR=|failed: ERROR )(-?\d+) ?<0x[0-9A-Fa-f]+>$)");
const std::regex kDriverFailed(
    R"(^AddPrinterDriver\(\) failed: name=(.*); drv=.*; err=(-?\d+) ?<0x[0-9A-Fa-f]+>$)");
const std::regex kOpenFailed(R"(^Failed opening (.*): ERROR (-?\d+) <0x[0-9A-Fa-f]+>$)");
const std::regex kInstalled(R"(^(.*) Installed == (\d+)$)");
const std::regex kPortFailed(R"(^Failed to create port `(.*)'$)");
const std::regex kEnter(R"(^enter: (.*)$)");
const std::regex kFinished(R"(^finished: (.*)$)");
const std::regex kFound(R"(^GetPnPEnumKey\(\) found: (.*)$)");
// Failures the trace states without an error number.
const std::regex kPlainFailure(
    R"(^(Failed installing printer support objects|Failed getting printer info|GetPnPEnumKey\(\) Failed!|\w+\(\) failed: hkPath not opened|Failed GetDelimitedPrinterObject\(\)|FAILED EnumMonitors\(\)!|FAILED! Create/Open error -?\d+|EnumPorts\(\) FAILED: \d+|No INF file or no INF section string|Invalid string '.*'|.*Memory failure!|.*FAILED memory Allocation!)$)");

unsigned long Number(const std::string& text) {
  return static_cast<unsigned long>(strtol(text.c_str(), nullptr, 10));
}

TraceStep Step(const std::string& name, TraceStep::Outcome outcome, const std::string& text) {
  TraceStep step;
  step.name = name;
  step.outcome = outcome;
  step.text = text;
  return step;
}

// What a failing call was about, from what the run read before.
void NameObject(const TraceRun& run, TraceStep* step) {
  const RoutineCall* routine = FindRoutine(step->name);
  if (routine == nullptr) return;
  step->call = routine->call;
  step->kind = routine->kind;
  if (step->name == "AddPrinter") {
    if (step->error == 1796)
      step->kind = "port", step->object = run.port;
    else if (step->error == 1797)
      step->kind = "driver", step->object = run.driver;
    else if (step->error == 1798)
      step->kind = "print processor", step->object = run.processor;
    else
      step->object = run.printer;
  } else if (step->name == "AddPrintProcessor") {
    step->object = run.processor;
  } else if (step->name == "AddMonitor") {
    // The monitor that was found missing last is the one being added.
    for (auto it = run.steps.rbegin(); it != run.steps.rend(); ++it)
      if (it->outcome == TraceStep::kAbsent) {
        step->object = it->name.substr(0, it->name.find(" ON "));
        break;
      }
  } else if (step->name == "WritePrivateProfileString") {
    step->object = run.parameter;
  }
}

// Reads the facts a line states into the run.
void ReadFacts(const std::string& text, TraceRun* run) {
  std::smatch m;
  if (std::regex_match(text, m, kCmd)) {
    run->dispatched = true;
    run->command = static_cast<unsigned long>(strtoul(m[1].str().c_str(), nullptr, 10));
    run->parameter = m[2];
  } else if (std::regex_match(text, m, kIsNT)) {
    run->isNT = Number(m[1]) != 0;
  } else if (text.compare(0, 9, "INF file=") == 0) {
    run->inf = text.substr(9);
  } else if (std::regex_match(text, m, kPrnSect)) {
    run->section = m[1];
    run->port = m[2];
  } else if (std::regex_match(text, m, kDriverName)) {
    run->driver = m[1];
    run->infEmpty = run->driver.empty();
  } else if (std::regex_match(text, m, kProcessorName)) {
    run->processor = m[1];
  } else if (std::regex_match(text, m, kObjectFor)) {
    run->printer = m[1] == "(null)" ? std::string() : m[1].str();
  }
}

// The step a line reports; false for a line that reports none.
bool ReadStep(const std::string& text, const TraceRun& run, TraceStep* step) {
  std::smatch m;
  if (std::regex_match(text, m, kSucceed)) {
    *step = Step(m[1], TraceStep::kDone, text);
    if (const RoutineCall* routine = FindRoutine(m[1])) step->call = routine->call;
  } else if (std::regex_match(text, m, kDriverFailed)) {
    *step = Step("AddPrinterDriver", TraceStep::kFailed, text);
    step->hasError = true;
    step->error = Number(m[2]);
    NameObject(run, step);
    step->object = m[1];
    return true;
  } else if (std::regex_match(text, m, kFailedError)) {
    *step = Step(m[1], TraceStep::kFailed, text);
    step->hasError = true;
    step->error = Number(m[2]);
    NameObject(run, step);
    return true;
  } else if (std::regex_match(text, m, kOpenFailed)) {
    *step = Step("open " + m[1].str(), TraceStep::kFailed, text);
    step->hasError = true;
    step->error = Number(m[2]);
    step->call = "RegOpenKeyExA";
    step->kind = "key";
    step->object = m[1];
  } else if (std::regex_match(text, m, kInstalled)) {
    *step = Step(m[1], Number(m[2]) ? TraceStep::kPresent : TraceStep::kAbsent, text);
  } else if (std::regex_match(text, m, kPortFailed)) {
    *step = Step("create port " + m[1].str(), TraceStep::kFailed, text);
  } else if (std::regex_match(text, m, kEnter)) {
    *step = Step(m[1], TraceStep::kEntered, text);
  } else if (std::regex_match(text, m, kFinished)) {
    *step = Step(m[1], TraceStep::kDone, text);
  } else if (std::regex_match(text, m, kFound)) {
    *step = Step("GetPnPEnumKey " + m[1].str(), TraceStep::kDone, text);
  } else if (std::regex_match(text, kPlainFailure)) {
    *step = Step(text, TraceStep::kFailed, text);
  } else {
    return false;
  }
  return true;
}

}  // namespace

const char* TraceOutcomeName(TraceStep::Outcome outcome) {
  switch (outcome) {
    case TraceStep::kDone:
      return "done";
    case TraceStep::kFailed:
      return "failed";
    case TraceStep::kPresent:
      return "installed already";
    case TraceStep::kAbsent:
      return "not installed";
    case TraceStep::kEntered:
      return "entered";
  }
  return "done";
}

std::vector<TraceRun> SplitTraceRuns(const std::vector<TraceLine>& lines, size_t* ignored) {
  std::vector<TraceRun> runs;
  std::map<std::string, size_t> open;  // process -> index of its run that has not ended
  std::map<std::string, size_t> last;  // process -> its last run, for the host's failure line
  size_t outside = 0;
  for (const TraceLine& line : lines) {
    const std::string& text = line.text;
    if (text.compare(0, 13, "lpstrCmdLine=") == 0) {
      TraceRun run;
      run.process = line.process;
      run.form = line.form;
      run.firstLine = run.lastLine = line.lineNumber;
      run.commandText = text.substr(13);
      open[line.process] = last[line.process] = runs.size();
      runs.push_back(run);
      continue;
    }
    if (text.compare(0, 10, "qzinst32: ") == 0) {
      auto it = last.find(line.process);
      if (it != last.end() && text.compare(10, 7, "result ") == 0)
        runs[it->second].hostMessage = text;
      continue;
    }
    auto it = open.find(line.process);
    if (it == open.end()) {
      ++outside;
      continue;
    }
    TraceRun& run = runs[it->second];
    run.lastLine = line.lineNumber;
    std::smatch m;
    if (std::regex_match(text, m, kResult)) {
      run.finished = true;
      run.result = static_cast<unsigned>(strtoul(m[1].str().c_str(), nullptr, 16));
      open.erase(it);
      continue;
    }
    ReadFacts(text, &run);
    TraceStep step;
    if (ReadStep(text, run, &step)) run.steps.push_back(step);
  }
  if (ignored != nullptr) *ignored = outside;
  return runs;
}

}  // namespace qzhost
