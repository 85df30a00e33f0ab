// The machine-readable result of one run.
#include "platform/host/report/report.h"

#include <stdio.h>

#include "inst32/resultcodes.h"
#include "platform/host/report/changes_format.h"
#include "platform/host/report/exitstatus.h"
#include "platform/host/report/jsontext.h"

namespace qzhost {

const char* ResultMeaning(unsigned result) {
  static const struct {
    unsigned code;
    const char* meaning;
  } kTable[] = {
      {QZ_RESULT_OK, "success"},
      {QZ_RESULT_RUNNING, "another instance is running on this machine"},
      {QZ_RESULT_NO_CONTEXT, "the install context could not be allocated"},
      {QZ_RESULT_NOTHING_DONE, "nothing found or nothing could be opened"},
      {QZ_RESULT_BAD_PARAM, "empty command text, or a bad or missing parameter"},
      {QZ_RESULT_FAILED_BIT | QZ_RESULT_UNKNOWN_CMD, "unknown command number"},
      {QZ_RESULT_KEY_NOT_CREATED, "a registry key could not be created"},
      {QZ_RESULT_FAILED_BIT | QZ_RESULT_PORT_NOT_CREATED, "the port was not created"},
      {QZ_RESULT_NO_DRIVER_OBJ, "the print driver object could not be created"},
      {QZ_RESULT_NO_PORTMON_OBJ, "the port monitor object could not be created"},
      {QZ_RESULT_NO_LANGMON_OBJ, "the language monitor object could not be created"},
      {QZ_RESULT_NO_PRINTPROC_OBJ, "the print processor object could not be created"},
      {QZ_RESULT_NO_PRINTER_INFO, "the printer information could not be gathered"},
      {QZ_RESULT_INSTALL_FAILED, "a printer support object could not be installed"},
      {QZ_RESULT_ADD_PRINTER_FAILED, "the spooler refused to add the printer"},
  };
  for (const auto& row : kTable) {
    if (row.code == result) return row.meaning;
  }
  return nullptr;
}

namespace {

std::string ErrorJson(const RunFailure& failure) {
  JsonObject error;
  if (failure.call.empty()) {
    error.AddRaw("call", "null").AddRaw("code", "null").AddRaw("name", "null");
  } else {
    error.Add("call", failure.call).AddNumber("code", failure.code).Add("name", failure.name);
  }
  error.Add("meaning", failure.meaning).Add("message", failure.line);
  return error.Text();
}

}  // namespace

std::string ReportJson(const RunFacts& facts, const MachineChanges& changes) {
  char hex[16];
  snprintf(hex, sizeof hex, "0x%04X", facts.result);
  const char* meaning = ResultMeaning(facts.result);
  JsonObject report;
  report.AddNumber("command", facts.command)
      .Add("parameter", facts.parameter)
      .AddNumber("result", facts.result)
      .Add("result_hex", hex)
      .Add("meaning", meaning ? meaning : "a result code outside the table")
      .AddNumber("exit_status", static_cast<unsigned long>(ExitStatusForResult(facts.result)))
      .AddBool("what_if", facts.whatIf)
      .AddBool("changed", !changes.empty())
      .AddRaw("changes", ChangesAsJson(changes));
  if (facts.result != 0) report.AddRaw("error", ErrorJson(facts.failure));
  return report.Text();
}

}  // namespace qzhost
