// Spooler helpers shared by the commands.
#include "inst32/spooler.h"

#include "inst32/context.h"
#include "inst32/orlstring.h"
#include "inst32/trace.h"

BOOL AddSpoolerMonitor(COrlString& csName, COrlString& csFile) {
  MONITOR_INFO_2A monInfo;
  monInfo.pName = csName.GetWritable();
  monInfo.pEnvironment = const_cast<LPSTR>(ContextIsNT() ? QZ_ENV_NTX86 : QZ_ENV_WIN40);
  monInfo.pDLLName = csFile.GetWritable();
  if (AddMonitorA(nullptr, 2, reinterpret_cast<LPBYTE>(&monInfo))) {
    DbgTrace("AddMonitor() Succeed!\n");
    return TRUE;
  }
  DWORD dwError = GetLastError();
  if (dwError == ERROR_ALREADY_EXISTS || dwError == ERROR_PRINT_MONITOR_ALREADY_INSTALLED) {
    DbgTrace("AddMonitor() Succeed!\n");
    return TRUE;
  }
  DbgTrace("AddMonitor() Failed! ERROR=%d <0x%8.8lX>\n", static_cast<int>(dwError),
           static_cast<unsigned long>(dwError));
  return FALSE;
}
