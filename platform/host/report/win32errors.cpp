// Names and plain meanings of Win32 error numbers, sorted by number.
#include "platform/host/report/win32errors.h"

#include <algorithm>
#include <iterator>

namespace qzhost {
namespace {

// Every error that the emulated registry, profile and spooler calls of the
// program can end with, and those that the real system adds for the same
// calls. "%s" is the object ("port \"LPT9:\"").
const Win32ErrorText kErrors[] = {
    {2, "ERROR_FILE_NOT_FOUND", "the file, key or value does not exist", "the %s does not exist"},
    {3, "ERROR_PATH_NOT_FOUND", "the folder of the path does not exist",
     "the folder of the %s does not exist"},
    {5, "ERROR_ACCESS_DENIED", "access is denied", "access to the %s is denied"},
    {6, "ERROR_INVALID_HANDLE", "the handle is not valid", nullptr},
    {8, "ERROR_NOT_ENOUGH_MEMORY", "not enough memory", nullptr},
    {14, "ERROR_OUTOFMEMORY", "not enough memory", nullptr},
    {29, "ERROR_WRITE_FAULT", "the file could not be written", "the %s could not be written"},
    {30, "ERROR_READ_FAULT", "the file could not be read", "the %s could not be read"},
    {32, "ERROR_SHARING_VIOLATION", "the file is in use by another program", nullptr},
    {33, "ERROR_LOCK_VIOLATION", "the registry is locked by another program", nullptr},
    {39, "ERROR_HANDLE_DISK_FULL", "the disk is full", nullptr},
    {50, "ERROR_NOT_SUPPORTED", "the request is not supported", nullptr},
    {53, "ERROR_BAD_NETPATH", "the network path was not found",
     "the %s is on a network path that was not found"},
    {87, "ERROR_INVALID_PARAMETER", "a parameter is not valid",
     "a parameter for the %s is not valid"},
    {112, "ERROR_DISK_FULL", "the disk is full", nullptr},
    {120, "ERROR_CALL_NOT_IMPLEMENTED", "this Windows does not have the call", nullptr},
    {122, "ERROR_INSUFFICIENT_BUFFER", "the buffer is too small", nullptr},
    {123, "ERROR_INVALID_NAME", "the name is not valid", "the %s is not a valid name"},
    {124, "ERROR_INVALID_LEVEL", "the information level is not supported", nullptr},
    {126, "ERROR_MOD_NOT_FOUND", "the DLL is not in the system directory", nullptr},
    {161, "ERROR_BAD_PATHNAME", "the path is not valid", "the %s is not a valid path"},
    {170, "ERROR_BUSY", "it is in use", "the %s is in use by a printer"},
    {183, "ERROR_ALREADY_EXISTS", "it exists already", "the %s exists already"},
    {234, "ERROR_MORE_DATA", "more data is available than fits", nullptr},
    {259, "ERROR_NO_MORE_ITEMS", "no more items", nullptr},
    {1009, "ERROR_BADDB", "the registry database is damaged", nullptr},
    {1010, "ERROR_BADKEY", "the registry key is not valid", "the %s is not valid"},
    {1011, "ERROR_CANTOPEN", "the registry could not be opened", nullptr},
    {1012, "ERROR_CANTREAD", "the registry could not be read", nullptr},
    {1013, "ERROR_CANTWRITE", "the registry could not be written", nullptr},
    {1015, "ERROR_REGISTRY_CORRUPT", "the registry is damaged", nullptr},
    {1018, "ERROR_KEY_DELETED", "the key was deleted meanwhile", "the %s was deleted meanwhile"},
    {1784, "ERROR_INVALID_USER_BUFFER", "the buffer is not valid", nullptr},
    {1795, "ERROR_PRINTER_DRIVER_ALREADY_INSTALLED", "the driver is installed already",
     "the %s is installed already"},
    {1796, "ERROR_UNKNOWN_PORT", "the port does not exist", "the %s does not exist"},
    {1797, "ERROR_UNKNOWN_PRINTER_DRIVER", "the printer driver is not installed",
     "the %s is not installed"},
    {1798, "ERROR_UNKNOWN_PRINTPROCESSOR", "the print processor is not installed",
     "the %s is not installed"},
    {1801, "ERROR_INVALID_PRINTER_NAME", "the printer name is not valid",
     "the %s is not a valid printer name"},
    {1802, "ERROR_PRINTER_ALREADY_EXISTS", "a printer of that name exists already",
     "the %s exists already"},
    {1804, "ERROR_INVALID_DATATYPE", "the data type is not valid", nullptr},
    {1805, "ERROR_INVALID_ENVIRONMENT", "the spooler does not serve that environment",
     "the spooler does not take the %s for this environment"},
    {3000, "ERROR_UNKNOWN_PRINT_MONITOR", "the print monitor is not known", "the %s is not known"},
    {3001, "ERROR_PRINTER_DRIVER_IN_USE", "the printer driver is in use",
     "the %s is in use by a printer"},
    {3005, "ERROR_PRINT_PROCESSOR_ALREADY_INSTALLED", "the print processor is installed already",
     "the %s is installed already"},
    {3006, "ERROR_PRINT_MONITOR_ALREADY_INSTALLED", "the monitor is installed already",
     "the %s is installed already"},
    {3008, "ERROR_PRINT_MONITOR_IN_USE", "the print monitor is in use", "the %s is in use"},
};

}  // namespace

const Win32ErrorText* FindWin32Error(unsigned long code) {
  auto row = std::lower_bound(std::begin(kErrors), std::end(kErrors), code,
                              [](const Win32ErrorText& r, unsigned long c) { return r.code < c; });
  return row != std::end(kErrors) && row->code == code ? row : nullptr;
}

std::string Win32ErrorName(unsigned long code) {
  const Win32ErrorText* row = FindWin32Error(code);
  return row ? row->name : "error " + std::to_string(code);
}

std::string Win32ErrorMeaning(unsigned long code, const std::string& kind,
                              const std::string& object) {
  const Win32ErrorText* row = FindWin32Error(code);
  if (row == nullptr) return "an error outside the table of this program";
  if (row->aboutObject == nullptr || object.empty()) return row->meaning;
  std::string named = (kind.empty() ? "" : kind + " ") + "\"" + object + "\"";
  std::string text = row->aboutObject;
  return text.replace(text.find("%s"), 2, named);
}

}  // namespace qzhost
