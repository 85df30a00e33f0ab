// AddPrinterA and ClosePrinter: printers under Control\Print\Printers.
#include <cstring>
#include <iterator>
#include <string>

#include "platform/host/machine/failedcall.h"
#include "platform/host/machine/machine.h"
#include "platform/host/machine/testctl.h"
#include "platform/host/spooler/spooler_handles.h"
#include "platform/host/spooler/spooler_layout.h"
#include "platform/host/spooler/spooler_ports.h"
#include "platform/host/spooler/spooler_store.h"
#include "platform/win32.h"

namespace qzhost {
namespace spool {
namespace {

// DEVMODEA begins with a 32-byte device name, then dmSpecVersion,
// dmDriverVersion, dmSize and dmDriverExtra (WORDs); the record is dmSize
// bytes followed by dmDriverExtra bytes of the driver's own.
constexpr size_t kDevModeSizeOffset = 36;
constexpr size_t kDevModeHeader = 40;

DWORD DevModeBytes(LPDEVMODEA pDevMode) {
  const BYTE* p = reinterpret_cast<const BYTE*>(pDevMode);
  WORD dmSize = 0;
  WORD dmDriverExtra = 0;
  memcpy(&dmSize, p + kDevModeSizeOffset, sizeof(WORD));
  memcpy(&dmDriverExtra, p + kDevModeSizeOffset + sizeof(WORD), sizeof(WORD));
  return static_cast<DWORD>(dmSize) + dmDriverExtra;
}

// Printer names become one registry key and appear in "name,driver,port"
// device strings, so a comma or backslash cannot be part of one.
bool IsValidPrinterName(const char* name) {
  return !IsBadKeyName(name) && strchr(name, ',') == nullptr;
}

// The checks of AddPrinterA after the arguments: the printer must be new and
// everything it names installed for the machine's own environment.
DWORD CheckPrinter(const PRINTER_INFO_2A& info) {
  if (!IsValidPrinterName(info.pPrinterName)) return ERROR_INVALID_PRINTER_NAME;
  if (KeyExists(PrinterKey(info.pPrinterName))) return ERROR_PRINTER_ALREADY_EXISTS;
  const std::string env = OwnEnvironment();
  if (IsBadKeyName(info.pPrintProcessor) ||
      !KeyExists(PrintProcessorsKey(env) + "\\" + info.pPrintProcessor)) {
    return ERROR_UNKNOWN_PRINTPROCESSOR;
  }
  if (IsBadKeyName(info.pDriverName) ||
      !KeyExists(DriversKey(env, MachineIsNT()) + "\\" + info.pDriverName)) {
    return ERROR_UNKNOWN_PRINTER_DRIVER;
  }
  if (!PortListKnown(info.pPortName)) return ERROR_UNKNOWN_PORT;
  return ERROR_SUCCESS;
}

LONG WritePrinterValues(StoreKey* key, const PRINTER_INFO_2A& info) {
  const NamedText kTexts[] = {
      {kPrinterName, info.pPrinterName},    {kPrinterShareName, info.pShareName},
      {kPrinterPort, info.pPortName},       {kPrinterDriver, info.pDriverName},
      {kPrinterDescription, info.pComment}, {kPrinterLocation, info.pLocation},
      {kPrinterSepFile, info.pSepFile},     {kPrinterPrintProcessor, info.pPrintProcessor},
      {kPrinterDatatype, info.pDatatype},   {kPrinterParameters, info.pParameters},
  };
  const NamedDword kNumbers[] = {
      {kPrinterAttributes, info.Attributes},
      {kPrinterPriority, info.Priority},
      {kPrinterDefaultPriority, info.DefaultPriority},
      {kPrinterStartTime, info.StartTime},
      {kPrinterUntilTime, info.UntilTime},
      {kPrinterStatus, 0},  // Status is ignored
  };
  LONG lResult = key->WriteStrings(kTexts, std::size(kTexts));
  if (lResult == ERROR_SUCCESS) lResult = key->WriteDwords(kNumbers, std::size(kNumbers));
  if (lResult != ERROR_SUCCESS) return lResult;
  if (info.pDevMode == nullptr) return key->WriteBinary(kPrinterDevMode, nullptr, 0);
  return key->WriteBinary(kPrinterDevMode, reinterpret_cast<const BYTE*>(info.pDevMode),
                          DevModeBytes(info.pDevMode));
}

// Creates the printer's key with all its values, atomically.
DWORD StorePrinter(const PRINTER_INFO_2A& info) {
  return StoreKeyAtomically(PrinterKey(info.pPrinterName),
                            [&info](StoreKey* key) { return WritePrinterValues(key, info); });
}

// The driver as WIN.INI names it: its driver file without the extension
// ("HRT2210" for HRT2210.DRV), as Windows 3.x and 9x write it.
std::string DriverAsWinIniNamesIt(const char* pDriverName) {
  StoreKey key;
  std::string file;
  if (key.Open(DriversKey(OwnEnvironment(), MachineIsNT()) + "\\" + pDriverName) == ERROR_SUCCESS)
    key.ReadString(kDriverFile, &file);
  file = file.substr(file.find_last_of("\\/:") + 1);
  return file.substr(0, file.find('.'));
}

// Windows 98 keeps the default printer in WIN.INI [windows] device=
// "name,driver,port", and a printer added with PRINTER_ATTRIBUTE_DEFAULT
// becomes it (Microsoft documents the attribute as "the default printer in
// the system" for 95/98/Me). NT keeps the default per user and takes no
// default from the attribute: it is stored with the printer and nothing more.
void MakeDefaultOnWindows98(const PRINTER_INFO_2A& info) {
  if (MachineIsNT() || (info.Attributes & PRINTER_ATTRIBUTE_DEFAULT) == 0) return;
  const std::string ports = info.pPortName;
  const std::string device = std::string(info.pPrinterName) + "," +
                             DriverAsWinIniNamesIt(info.pDriverName) + "," +
                             ports.substr(0, ports.find(','));
  WriteProfileStringA("windows", "device", device.c_str());
}

DWORD CheckArguments(LPSTR pName, DWORD Level, LPBYTE pPrinter) {
  if (!IsLocalServer(pName)) return ERROR_INVALID_NAME;
  if (Level != 2) return ERROR_INVALID_LEVEL;
  if (pPrinter == nullptr) return ERROR_INVALID_PARAMETER;
  const PRINTER_INFO_2A* pInfo = reinterpret_cast<const PRINTER_INFO_2A*>(pPrinter);
  if (pInfo->pPrinterName == nullptr || pInfo->pPortName == nullptr ||
      pInfo->pDriverName == nullptr || pInfo->pPrintProcessor == nullptr) {
    return ERROR_INVALID_PARAMETER;
  }
  if (pInfo->pDevMode != nullptr && DevModeBytes(pInfo->pDevMode) < kDevModeHeader) {
    return ERROR_INVALID_PARAMETER;
  }
  return ERROR_SUCCESS;
}

// Names what a refused printer was about: the part of it the error concerns.
void NoteRefusedPrinter(DWORD dwError, const PRINTER_INFO_2A* pInfo) {
  auto text = [](const char* s) { return std::string(s ? s : ""); };
  if (pInfo == nullptr) {
    NoteFailedCall("AddPrinterA", dwError, "", "");
  } else if (dwError == ERROR_UNKNOWN_PORT) {
    NoteFailedCall("AddPrinterA", dwError, "port", text(pInfo->pPortName));
  } else if (dwError == ERROR_UNKNOWN_PRINTER_DRIVER) {
    NoteFailedCall("AddPrinterA", dwError, "driver", text(pInfo->pDriverName));
  } else if (dwError == ERROR_UNKNOWN_PRINTPROCESSOR) {
    NoteFailedCall("AddPrinterA", dwError, "print processor", text(pInfo->pPrintProcessor));
  } else {
    NoteFailedCall("AddPrinterA", dwError, "printer", text(pInfo->pPrinterName));
  }
}

}  // namespace
}  // namespace spool
}  // namespace qzhost

extern "C" {

// Windows 98 answers with the NT numbers here: 1801 bad name, 1802 exists,
// 1798 unknown print processor, 1797 unknown driver, 1796 unknown port, in
// that order of checking.
HANDLE WINAPI AddPrinterA(LPSTR pName, DWORD Level, LPBYTE pPrinter) {
  DWORD dwError = 0;
  if (qzhost::ShouldFail("AddPrinterA", &dwError)) {
    qzhost::spool::NoteRefusedPrinter(dwError, reinterpret_cast<PRINTER_INFO_2A*>(pPrinter));
    SetLastError(dwError);
    return nullptr;
  }
  dwError = qzhost::spool::CheckArguments(pName, Level, pPrinter);
  const PRINTER_INFO_2A* pInfo = reinterpret_cast<const PRINTER_INFO_2A*>(pPrinter);
  if (dwError == ERROR_SUCCESS) dwError = qzhost::spool::CheckPrinter(*pInfo);
  if (dwError == ERROR_SUCCESS) {
    dwError =
        qzhost::spool::ChangeOutsideLists([pInfo] { return qzhost::spool::StorePrinter(*pInfo); });
  }
  if (dwError != ERROR_SUCCESS) {
    qzhost::spool::NoteRefusedPrinter(dwError, pInfo);
    SetLastError(dwError);
    return nullptr;
  }
  qzhost::spool::MakeDefaultOnWindows98(*pInfo);
  return qzhost::spool::NewPrinterHandle(pInfo->pPrinterName);
}

BOOL WINAPI ClosePrinter(HANDLE hPrinter) {
  DWORD dwError = 0;
  if (qzhost::ShouldFail("ClosePrinter", &dwError)) {
    SetLastError(dwError);
    return FALSE;
  }
  if (!qzhost::spool::ReleasePrinterHandle(hPrinter)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

}  // extern "C"
