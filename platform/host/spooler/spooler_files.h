// Where Windows takes the files of a monitor, a print processor and a
// printer driver from, and whether they are there.
//
// Windows loads a monitor's DLL from the system directory, a print
// processor's from the print-processor directory of its environment, and
// copies a driver's files from the printer-driver directory of its
// environment; a file that is missing fails the call. The emulation loads
// nothing: a file that is there counts as a good one. The Add* calls and the
// INF pre-flight ask the same functions, so both name the same files.
#ifndef QZINST32_PLATFORM_HOST_SPOOLER_FILES_H_
#define QZINST32_PLATFORM_HOST_SPOOLER_FILES_H_

#include <string>
#include <vector>

#include "platform/win32.h"

namespace qzhost {
namespace spool {

// One file a spooler call looks for.
struct ComponentFile {
  std::string windowsPath;  // where Windows looks, C:\WINDOWS\... ("" for a name it refuses)
  std::string hostPath;     // that place on the host ("" when it cannot be mapped)
  bool present = false;     // a regular file is there
};

// The folders of an environment as the spooler resolves it ("Windows 4.0",
// "Windows NT x86"). Windows 98 keeps both kinds in the system directory; NT
// in %sysdir%\spool\DRIVERS\W32X86 (or \WIN40) and %sysdir%\spool\PRTPROCS\...
std::string PrinterDriverDirectory(const std::string& env);
std::string PrintProcessorDirectory(const std::string& env);

// The files each call looks for. None when the call answers "installed"
// before it looks (a monitor or print processor of that name, built-in ones
// included: Windows has them in its own DLLs). A monitor's or a print
// processor's DLL is named without a path; a driver's files may also be
// named by a full path (C:\...), which is where they are then looked for.
std::vector<ComponentFile> MonitorFiles(const std::string& name, const std::string& dll);
std::vector<ComponentFile> ProcessorFiles(const std::string& env, const std::string& name,
                                          const std::string& dll);
std::vector<ComponentFile> DriverFiles(const std::string& env,
                                       const std::vector<std::string>& files);

// The errors a missing file gives: AddMonitorA 126 on NT, 87 on Windows 98;
// AddPrintProcessorA the same (the spooler loads the DLL as it loads a
// monitor's); AddPrinterDriverA 2 on both (the copy of a missing file).
DWORD MissingMonitorFileError();
DWORD MissingProcessorFileError();
constexpr DWORD kMissingDriverFileError = ERROR_FILE_NOT_FOUND;

// ERROR_SUCCESS when every file is present, else `error`.
DWORD AllPresentOr(const std::vector<ComponentFile>& files, DWORD error);

}  // namespace spool
}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_SPOOLER_FILES_H_
