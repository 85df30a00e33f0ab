// Why a run failed.
#include "platform/host/report/failure.h"

#include <stdio.h>
#include <unistd.h>

#include "platform/host/machine/machine.h"
#include "platform/host/report/checkinf.h"
#include "platform/host/report/report.h"
#include "platform/host/report/win32errors.h"

namespace qzhost {

const char kNtDriverHint[] =
    "on Windows NT the printer's \"Windows NT x86\" driver must be installed before command 2";
const char kWaitHint[] = "--wait waits for it";
const char kEnumNodeCause[] =
    "the registry's Enum tree (below BIOS and Root) has no node of the port ";

namespace {

// The INF file as the command parameter must have named it: a path with a
// blank only passes in double quotes.
std::string AsWritten(const std::string& file) {
  return file.find(' ') == std::string::npos ? file : "\"" + file + "\"";
}

}  // namespace

// Quoted for the shell, so that the check can be pasted as it stands.
std::string CheckInfHint(const std::string& file, const std::string& section) {
  return "check it with qzinst32 --check-inf " + ShellWord(AsWritten(file)) + " " +
         ShellWord(section);
}

namespace {

std::string ResultText(unsigned result) {
  const char* meaning = ResultMeaning(result);
  char text[200];
  snprintf(text, sizeof text, "result %u (0x%04X), %s", result, result,
           meaning ? meaning : "a result code outside the table");
  return text;
}

// Whether a finding of the INF check stops the command: any error for
// command 2; for command 3 a missing file or section, or no device id.
bool Stops(const InfProblem& p, unsigned long command) {
  if (command == 3)
    return p.key.empty() ? p.severity == InfProblem::kError : p.key == "Win95DeviceID";
  return p.severity == InfProblem::kError;
}

// The first finding of the INF check that stops the command, without its
// note on command 2.
bool InfFault(const InfRef& inf, unsigned codePage, bool isNT, std::string* what) {
  if (inf.file.empty()) return false;
  InfCheck check = CheckPrinterInf(AsWritten(inf.file), inf.section, codePage, isNT);
  for (const InfProblem& p : check.problems) {
    if (!Stops(p, inf.command)) continue;
    std::string message = p.message.substr(0, p.message.find("; command 2 ends"));
    *what = "the INF " + inf.file + " [" + inf.section + "]" + (p.key.empty() ? "" : " " + p.key) +
            ": " + message;
    return true;
  }
  return false;
}

}  // namespace

RunFailure ExplainFailure(unsigned result, const InfRef& inf, const FailedCall* call,
                          unsigned codePage, bool isNT, bool waited) {
  RunFailure failure;
  failure.line = ResultText(result);
  const char* meaning = ResultMeaning(result);
  failure.meaning = meaning ? meaning : "a result code outside the table";
  if (result == 0x0100) {
    failure.line += waited ? "; it still ran when the wait ended" : std::string("; ") + kWaitHint;
    return failure;
  }
  std::string infFault;
  if (InfFault(inf, codePage, isNT, &infFault)) {
    // The program reads the INF through the profile calls, which answer a
    // missing file, section or key with the default and error 2.
    failure.call = "GetPrivateProfileStringA";
    failure.code = 2;
    failure.name = Win32ErrorName(2);
    failure.meaning = infFault;
    failure.line += ": " + infFault + "; " + CheckInfHint(inf.file, inf.section);
    return failure;
  }
  if (call == nullptr) {
    if (inf.command == 3 && result == 0x0400) {
      // The lookup reads the Enum tree without a failing call.
      failure.meaning = kEnumNodeCause + ("\"" + inf.port + "\"");
      failure.line += ": " + failure.meaning;
    }
    return failure;
  }
  failure.call = call->call;
  failure.code = call->error;
  failure.name = Win32ErrorName(call->error);
  failure.meaning = Win32ErrorMeaning(call->error, call->kind, call->object);
  failure.line += ": " + failure.call + " failed with " + std::to_string(failure.code) + " " +
                  failure.name + " (" + failure.meaning + ")";
  // Access denied because the root cannot be written at all: said plainly,
  // where the user would otherwise look for a permission on one file or key.
  if (call->error == ERROR_ACCESS_DENIED && access(MachineRoot().c_str(), W_OK) != 0)
    failure.line += "; the machine root " + MachineRoot() + " is read-only or not writable";
  if (call->error == 1797 && isNT) {
    failure.line += std::string("; ") + kNtDriverHint;
  }
  return failure;
}

}  // namespace qzhost
