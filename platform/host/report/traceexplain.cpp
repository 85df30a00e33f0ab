// Explaining the runs of a trace.
#include "platform/host/report/traceexplain.h"

#include <stdio.h>

#include "platform/host/machine/hostfile.h"
#include "platform/host/report/exitstatus.h"
#include "platform/host/report/failure.h"
#include "platform/host/report/jsontext.h"
#include "platform/host/report/report.h"
#include "platform/host/report/win32errors.h"

namespace qzhost {
namespace {

// Causes of results that no failing call explains, by command and result
// (command 0: any), in the words of the result-code table.
struct ResultCause {
  unsigned long command;
  unsigned result;
  const char* cause;
  const char* next;
};
const ResultCause kCauses[] = {
    {1, 0x0406,
     "the port was not created: a standard name (LPT*, COM*, FILE:), an empty or "
     "over-long name, or the key or the WIN.INI [Ports] entry cannot be written",
     "give the network port a name of its own"},
    {5, 0x0400,
     "the NetTrans key cannot be opened, no TCP/IP transport has an address, or the "
     "profile file cannot be written",
     "check HKLM\\System\\CurrentControlSet\\Services\\Class\\NetTrans and the profile file"},
    {257, 0x0400,
     "neither marking key opens, or the setup key cannot take the backup or the "
     "new source path",
     "check HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Setup"},
    {258, 0x0400, "a saved source path cannot be put back (it stays saved)",
     "check HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Setup"},
    {4, 0x0402, "the parameter is empty, or the uninstall key cannot be opened",
     "check the setup script's command line"},
    {0, 0x0402,
     "the command text is empty, or the parameter lacks the INF file, the printer "
     "section or the port",
     "check the setup script's command line"},
    {0, 0x0403, "unknown command number", "check the setup script's command line"},
    {0, 0x0100, "another instance is running on this machine",
     "run the step again when the other one has ended (the host program: --wait waits for it)"},
};

// What to check after a call failed with `code`.
std::string NextAfterCall(const TraceRun& run, const TraceStep& step) {
  switch (step.error) {
    case 1797:
      return run.isNT == 1 ? "install the printer's \"Windows NT x86\" driver first, as the "
                             "package's NT setup does (on the emulated machine: qzreg driver "
                             "add \"" +
                                 run.driver + "\" --environment \"Windows NT x86\" ...)"
                           : "see why the driver was not added in the steps before";
    case 1796:
      return "create the port first (command 1), or name a port the machine has";
    case 1798:
      return "check the INF's PrintProcessor key";
    case 126:
      return "copy the monitor's DLL into the system directory before command 2";
    case 2:
      return step.call == "RegOpenKeyExA" ? "check that the key exists" : "";
    case 3:
      return "create the folder of the profile file first";
    case 5:
      return "run the setup with administrator rights";
  }
  return {};
}

// The last failed step with an error number, or null.
const TraceStep* FailedCallStep(const TraceRun& run) {
  for (auto it = run.steps.rbegin(); it != run.steps.rend(); ++it)
    if (it->outcome == TraceStep::kFailed && it->hasError) return &*it;
  return nullptr;
}

void ExplainCall(const TraceRun& run, const TraceStep& step, RunExplanation* out) {
  out->call = step.call.empty() ? step.name : step.call;
  out->hasCode = true;
  out->code = step.error;
  out->name = Win32ErrorName(step.error);
  out->meaning = Win32ErrorMeaning(step.error, step.kind, step.object);
  out->cause = out->call + " failed with " + std::to_string(out->code) + " " + out->name + " (" +
               out->meaning + ")";
  if (step.error == 1797 && run.isNT == 1) out->cause += std::string("; ") + kNtDriverHint;
  out->next = NextAfterCall(run, step);
}

// A failure that no call explains.
void ExplainResult(const TraceRun& run, RunExplanation* out) {
  const char* meaning = ResultMeaning(run.result);
  out->meaning = meaning ? meaning : "a result code outside the table";
  out->cause = out->meaning;
  if (run.command == 2 && run.result == 0x0415 && !run.inf.empty()) {
    out->cause = "the INF " + run.inf + " [" + run.section + "] gave " +
                 (run.infEmpty ? "the print driver no name" : "a support object nothing") +
                 ": the file, the section or a key it needs is missing";
    out->next = CheckInfHint(run.inf, run.section);
    return;
  }
  if (run.command == 3 && run.result == 0x0400 && !run.inf.empty()) {
    out->cause = "the printer section has no \"Win95DeviceID\", or " + std::string(kEnumNodeCause) +
                 "\"" + run.port + "\"";
    out->next = CheckInfHint(run.inf, run.section) + " " + run.port;
    return;
  }
  for (const ResultCause& c : kCauses) {
    if (c.result != run.result || (c.command != 0 && c.command != run.command)) continue;
    out->cause = c.cause;
    out->next = c.next;
    return;
  }
}

}  // namespace

RunExplanation ExplainRun(const TraceRun& run) {
  RunExplanation out;
  if (!run.finished) {
    out.failed = true;
    out.meaning = "the run has no end in the trace";
    out.cause = "the trace ends before the run did: the process was ended, or the log was cut";
    out.next = "look for the rest of the log of this process";
    return out;
  }
  if (run.result == 0) return out;
  out.failed = true;
  const TraceStep* step = FailedCallStep(run);
  if (step != nullptr)
    ExplainCall(run, *step, &out);
  else
    ExplainResult(run, &out);
  return out;
}

namespace {

std::string Personality(int isNT) {
  return isNT == 1 ? "Windows NT" : isNT == 0 ? "Windows 98" : "";
}

std::string ResultLine(unsigned result) {
  const char* meaning = ResultMeaning(result);
  char text[200];
  snprintf(text, sizeof text, "%u (0x%04X), %s", result, result,
           meaning ? meaning : "a result code outside the table");
  return text;
}

std::string StepText(const TraceStep& step) {
  std::string text = step.name + " -> " + TraceOutcomeName(step.outcome);
  if (step.hasError) text += ", error " + std::to_string(step.error);
  return text;
}

std::string RunHeader(const TraceRun& run, size_t index) {
  std::string where = run.process.empty() ? "" : "process " + run.process + ", ";
  return "run " + std::to_string(index + 1) + " (" + where + TraceFormName(run.form) +
         " log, lines " + std::to_string(run.firstLine) + "-" + std::to_string(run.lastLine) +
         ")\n";
}

void AppendField(std::string* out, const char* label, const std::string& value) {
  if (!value.empty()) *out += "  " + std::string(label) + value + "\n";
}

}  // namespace

std::string ExplainRunsText(const std::vector<TraceRun>& runs, size_t ignored) {
  std::string out;
  for (size_t i = 0; i < runs.size(); ++i) {
    const TraceRun& run = runs[i];
    const RunExplanation why = ExplainRun(run);
    out += (i ? "\n" : "") + RunHeader(run, i);
    AppendField(&out, "command:     ", run.commandText);
    if (run.dispatched)
      AppendField(
          &out, "             ",
          "command " + std::to_string(run.command) + ", parameter \"" + run.parameter + "\"");
    AppendField(&out, "personality: ", Personality(run.isNT));
    if (!run.steps.empty()) out += "  steps:\n";
    for (const TraceStep& step : run.steps) out += "    " + StepText(step) + "\n";
    AppendField(&out, "result:      ", run.finished ? ResultLine(run.result) : "none");
    if (why.failed) {
      if (!why.call.empty())
        AppendField(
            &out, "failed call: ",
            why.call + ", " + std::to_string(why.code) + " " + why.name + " (" + why.meaning + ")");
      AppendField(&out, "cause:       ", why.cause);
      AppendField(&out, "check next:  ", why.next);
    }
    AppendField(&out, "message:     ", run.hostMessage);
  }
  if (runs.empty()) out += "no run of qzinst32 in the trace\n";
  if (ignored) out += "(" + std::to_string(ignored) + " lines outside any run)\n";
  return out;
}

namespace {

std::string OrNull(const std::string& text) { return text.empty() ? "null" : JsonString(text); }

std::string StepsJson(const TraceRun& run) {
  std::string out = "[";
  for (size_t i = 0; i < run.steps.size(); ++i) {
    const TraceStep& s = run.steps[i];
    JsonObject step;
    step.Add("step", s.name).Add("outcome", TraceOutcomeName(s.outcome));
    step.AddRaw("error", s.hasError ? std::to_string(s.error) : "null");
    step.AddRaw("call", OrNull(s.call)).Add("text", s.text);
    out += (i ? ", " : "") + step.Text();
  }
  return out + "]";
}

std::string FailureJson(const RunExplanation& why) {
  if (!why.failed) return "null";
  JsonObject failure;
  failure.AddRaw("call", OrNull(why.call))
      .AddRaw("code", why.hasCode ? std::to_string(why.code) : "null")
      .AddRaw("name", OrNull(why.name))
      .Add("meaning", why.meaning)
      .Add("cause", why.cause)
      .AddRaw("next", OrNull(why.next));
  return failure.Text();
}

std::string RunJson(const TraceRun& run) {
  JsonObject out;
  char hex[16];
  snprintf(hex, sizeof hex, "0x%04X", run.result);
  const char* meaning = ResultMeaning(run.result);
  out.AddRaw("process", OrNull(run.process))
      .Add("form", TraceFormName(run.form))
      .AddNumber("first_line", run.firstLine)
      .AddNumber("last_line", run.lastLine)
      .Add("command_text", run.commandText)
      .AddRaw("command", run.dispatched ? std::to_string(run.command) : "null")
      .AddRaw("parameter", run.dispatched ? JsonString(run.parameter) : "null")
      .AddRaw("personality", OrNull(Personality(run.isNT)))
      .AddRaw("steps", StepsJson(run))
      .AddBool("finished", run.finished)
      .AddRaw("result", run.finished ? std::to_string(run.result) : "null")
      .AddRaw("result_hex", run.finished ? JsonString(hex) : "null")
      .AddRaw("meaning", run.finished ? JsonString(meaning ? meaning
                                                           : "a result code outside "
                                                             "the table")
                                      : "null")
      .AddRaw("exit_status",
              run.finished ? std::to_string(ExitStatusForResult(run.result)) : "null")
      .AddRaw("failure", FailureJson(ExplainRun(run)))
      .AddRaw("message", OrNull(run.hostMessage));
  return out.Text();
}

}  // namespace

std::string ExplainRunsJson(const std::vector<TraceRun>& runs, size_t ignored) {
  std::string list = "[";
  for (size_t i = 0; i < runs.size(); ++i) list += (i ? ",\n  " : "\n  ") + RunJson(runs[i]);
  list += runs.empty() ? "]" : "\n]";
  JsonObject out;
  out.AddRaw("runs", list).AddNumber("ignored_lines", ignored);
  return out.Text();
}

int ExplainTraceFile(const char* path, bool json) {
  std::string log, why;
  const bool standardInput = path == nullptr || std::string(path) == "-";
  if (standardInput) {
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, stdin)) > 0) log.append(buffer, n);
    if (ferror(stdin)) why = "cannot read standard input";
  } else if (!ReadWholeFile(path, &log, &why) && why.empty()) {
    why = std::string("cannot read ") + path;
  }
  if (!why.empty()) {
    fprintf(stderr, "qzinst32: %s\n", why.c_str());
    return 1;
  }
  size_t ignored = 0;
  std::vector<TraceRun> runs = SplitTraceRuns(ReadTraceLines(log), &ignored);
  std::string text = json ? ExplainRunsJson(runs, ignored) + "\n" : ExplainRunsText(runs, ignored);
  fputs(text.c_str(), stdout);
  return runs.empty() ? 1 : 0;
}

}  // namespace qzhost

namespace qzhost {

int ExplainCommand(int argc, char** argv, bool json) {
  const char* path = nullptr;
  for (int i = 0; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--json") {
      json = true;
    } else if (path == nullptr && (arg == "-" || arg.compare(0, 1, "-") != 0)) {
      path = argv[i];
    } else {
      fprintf(stderr, "qzinst32: --explain takes [FILE|-] [--json], not '%s' (try --help)\n",
              argv[i]);
      return kExitUsage;
    }
  }
  return ExplainTraceFile(path, json);
}

}  // namespace qzhost
