// AddPrintProcessorA: print processors under Environments\<env>\Print Processors.
#include <string>

#include "platform/host/machine/failedcall.h"
#include "platform/host/machine/testctl.h"
#include "platform/host/spooler/spooler_files.h"
#include "platform/host/spooler/spooler_layout.h"
#include "platform/host/spooler/spooler_ports.h"
#include "platform/host/spooler/spooler_store.h"
#include "platform/win32.h"

namespace qzhost {
namespace spool {
namespace {

DWORD AddProcessor(LPSTR pName, LPSTR pEnvironment, LPSTR pPathName, LPSTR pPrintProcessorName) {
  if (!IsLocalServer(pName)) return ERROR_INVALID_NAME;
  std::string env;
  DWORD dwError = ERROR_SUCCESS;
  if (!ResolveEnvironment(pEnvironment, &env, &dwError)) return dwError;
  if (pPathName == nullptr || pPathName[0] == '\0' || IsBadKeyName(pPrintProcessorName)) {
    return ERROR_INVALID_PARAMETER;
  }
  // Windows 2000 also refuses a processor that is there (Wine overwrites it);
  // the emulation refuses on both personalities. "WinPrint" is seeded, so it
  // is refused the same way, as Windows 95 refuses its built-in one.
  const std::string path = PrintProcessorsKey(env) + "\\" + pPrintProcessorName;
  if (KeyExists(path)) return ERROR_PRINT_PROCESSOR_ALREADY_INSTALLED;
  // A new one's DLL must be in the print-processor directory.
  if (AllPresentOr(ProcessorFiles(env, pPrintProcessorName, pPathName), ERROR_MOD_NOT_FOUND) !=
      ERROR_SUCCESS) {
    return MissingProcessorFileError();
  }
  return ChangeOutsideLists([&] { return StoreComponent(path, pPathName); });
}

}  // namespace
}  // namespace spool
}  // namespace qzhost

extern "C" BOOL WINAPI AddPrintProcessorA(LPSTR pName, LPSTR pEnvironment, LPSTR pPathName,
                                          LPSTR pPrintProcessorName) {
  DWORD dwError = 0;
  if (!qzhost::ShouldFail("AddPrintProcessorA", &dwError))
    dwError = qzhost::spool::AddProcessor(pName, pEnvironment, pPathName, pPrintProcessorName);
  if (dwError != ERROR_SUCCESS) {
    qzhost::NoteFailedCall("AddPrintProcessorA", dwError, "print processor",
                           pPrintProcessorName ? pPrintProcessorName : "");
    SetLastError(dwError);
    return FALSE;
  }
  return TRUE;
}
