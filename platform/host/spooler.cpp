// Spooler: not built yet; every call fails.
#include "platform/win32.h"

extern "C" {
HANDLE WINAPI AddPrinterA(LPSTR, DWORD, LPBYTE) {
  SetLastError(ERROR_INVALID_PARAMETER);
  return nullptr;
}
BOOL WINAPI ClosePrinter(HANDLE) {
  SetLastError(ERROR_INVALID_HANDLE);
  return FALSE;
}
BOOL WINAPI AddPrinterDriverA(LPSTR, DWORD, LPBYTE) {
  SetLastError(ERROR_INVALID_PARAMETER);
  return FALSE;
}
BOOL WINAPI EnumPrinterDriversA(LPSTR, LPSTR, DWORD, LPBYTE, DWORD, LPDWORD pcbNeeded,
                                LPDWORD pcReturned) {
  *pcbNeeded = 0;
  *pcReturned = 0;
  return TRUE;
}
BOOL WINAPI AddMonitorA(LPSTR, DWORD, LPBYTE) {
  SetLastError(ERROR_INVALID_PARAMETER);
  return FALSE;
}
BOOL WINAPI EnumMonitorsA(LPSTR, DWORD, LPBYTE, DWORD, LPDWORD pcbNeeded, LPDWORD pcReturned) {
  *pcbNeeded = 0;
  *pcReturned = 0;
  return TRUE;
}
BOOL WINAPI AddPrintProcessorA(LPSTR, LPSTR, LPSTR, LPSTR) {
  SetLastError(ERROR_INVALID_PARAMETER);
  return FALSE;
}
BOOL WINAPI EnumPortsA(LPSTR, DWORD, LPBYTE, DWORD, LPDWORD pcbNeeded, LPDWORD pcReturned) {
  *pcbNeeded = 0;
  *pcReturned = 0;
  return TRUE;
}
}
