// Printer handles of the emulated spooler: small tokens that remember the
// printer they were opened on.
#ifndef QZINST32_PLATFORM_HOST_SPOOLER_HANDLES_H_
#define QZINST32_PLATFORM_HOST_SPOOLER_HANDLES_H_

#include <string>

#include "platform/win32.h"

namespace qzhost {
namespace spool {

// A new handle on the printer `name` (as stored). Tokens are never reused
// within a process, so a stale or doubled ClosePrinter is always caught.
HANDLE NewPrinterHandle(const std::string& name);
// The printer of an open handle; false for a handle that is not open.
bool PrinterOfHandle(HANDLE hPrinter, std::string* name);
// False for a handle that is not open.
bool ReleasePrinterHandle(HANDLE hPrinter);

}  // namespace spool
}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_SPOOLER_HANDLES_H_
