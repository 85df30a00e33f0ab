// The spooler's administration calls: what an administrator's tools call to
// remove printers, drivers, monitors and ports, to add ports and to choose
// the default printer. The program itself never calls them, so they are
// declared here rather than in win32.h; qzreg calls them.
#ifndef QZINST32_PLATFORM_HOST_SPOOLER_ADMIN_H_
#define QZINST32_PLATFORM_HOST_SPOOLER_ADMIN_H_

#include <string>

#include "platform/win32.h"

#ifndef ERROR_CALL_NOT_IMPLEMENTED
#define ERROR_CALL_NOT_IMPLEMENTED 120L
#endif
#ifndef ERROR_BUSY
#define ERROR_BUSY 170L
#endif
#ifndef ERROR_NOT_SUPPORTED
#define ERROR_NOT_SUPPORTED 50L
#endif
#ifndef ERROR_PRINTER_DRIVER_IN_USE
#define ERROR_PRINTER_DRIVER_IN_USE 3001L
#endif
#ifndef ERROR_PRINT_MONITOR_IN_USE
#define ERROR_PRINT_MONITOR_IN_USE 3008L
#endif

extern "C" {

// pDefault (a PRINTER_DEFAULTSA) is not read: every handle may administer.
BOOL WINAPI OpenPrinterA(LPSTR pPrinterName, HANDLE* phPrinter, LPVOID pDefault);
BOOL WINAPI DeletePrinter(HANDLE hPrinter);
BOOL WINAPI DeletePrinterDriverA(LPSTR pName, LPSTR pEnvironment, LPSTR pDriverName);
BOOL WINAPI DeleteMonitorA(LPSTR pName, LPSTR pEnvironment, LPSTR pMonitorName);
// Level 1 (PORT_INFO_1A); the emulation serves the "Local Port" monitor.
BOOL WINAPI AddPortExA(LPSTR pName, DWORD Level, LPBYTE lpBuffer, LPSTR lpMonitorName);
BOOL WINAPI DeletePortA(LPSTR pName, HWND hWnd, LPSTR pPortName);
// Windows 2000 and later; on the Windows 98 personality it fails with 120,
// as a call that its winspool does not export.
BOOL WINAPI SetDefaultPrinterA(LPCSTR pszPrinter);

}  // extern "C"

namespace qzhost {
namespace spool {

// The port monitor of Windows 2000/XP's Standard TCP/IP ports (tcpmon.dll).
constexpr char kTcpIpMonitor[] = "Standard TCP/IP Port";

// What XcvData's "AddPort" does for the Standard TCP/IP Port monitor: a RAW
// port to `host` (a name or a dotted address) at `portNumber`, kept under
// the monitor's Ports key. An error number: 87 on Windows 98, which has no
// such monitor; 3000 on NT when the monitor is not installed; 183 for a port
// that exists.
DWORD AddStandardTcpIpPort(const std::string& name, const std::string& host, DWORD portNumber);

// Makes `printer` (a printer that exists) the default, as each Windows keeps
// it: WIN.INI [windows] device= "name,driver,port" on Windows 98 (the driver
// part its driver file without extension), "name,winspool,port" on NT. An
// error number (1801 for an unknown printer).
DWORD MakeDefaultPrinter(const std::string& printer);

// The default printer's name, from [windows] device=; empty when none is.
std::string DefaultPrinterName();

}  // namespace spool
}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_SPOOLER_ADMIN_H_
