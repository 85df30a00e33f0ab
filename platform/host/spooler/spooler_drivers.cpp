// AddPrinterDriverA and EnumPrinterDriversA: drivers under Environments\<env>\Drivers.
#include <cstddef>
#include <string>
#include <vector>

#include "platform/host/machine/failedcall.h"
#include "platform/host/machine/machine.h"
#include "platform/host/machine/testctl.h"
#include "platform/host/spooler/spooler_buffer.h"
#include "platform/host/spooler/spooler_files.h"
#include "platform/host/spooler/spooler_layout.h"
#include "platform/host/spooler/spooler_ports.h"
#include "platform/host/spooler/spooler_store.h"
#include "platform/win32.h"

namespace qzhost {
namespace spool {
namespace {

// One installed driver as the registry holds it.
struct StoredDriver {
  std::string name;
  DWORD cVersion = 0;
  std::string driverPath, dataFile, configFile, helpFile, monitor, datatype;
  std::vector<std::string> dependentFiles;
};

std::vector<std::string> SplitMultiString(const char* p) {
  std::vector<std::string> items;
  if (p == nullptr) return items;
  for (; *p != '\0'; p += items.back().size() + 1) items.emplace_back(p);
  return items;
}

const char* TextOrEmpty(const char* text) { return text != nullptr ? text : ""; }

DWORD CheckDriverInfo(LPSTR pName, DWORD Level, LPBYTE pDriverInfo) {
  if (!IsLocalServer(pName)) return ERROR_INVALID_NAME;
  if (Level != 2 && Level != 3) return ERROR_INVALID_LEVEL;
  if (pDriverInfo == nullptr) return ERROR_INVALID_PARAMETER;
  const DRIVER_INFO_2A* pInfo = reinterpret_cast<const DRIVER_INFO_2A*>(pDriverInfo);
  if (IsBadKeyName(pInfo->pName) || pInfo->pDriverPath == nullptr || pInfo->pDataFile == nullptr ||
      pInfo->pConfigFile == nullptr) {
    return ERROR_INVALID_PARAMETER;
  }
  return ERROR_SUCCESS;
}

// The record as it will be stored. NT takes the version from the
// environment (Windows 2000 ignores cVersion); Windows 98 has no version
// level, so the version the caller gave is kept.
StoredDriver FromCaller(DWORD Level, LPBYTE pDriverInfo, const std::string& env) {
  const DRIVER_INFO_3A* pInfo = reinterpret_cast<const DRIVER_INFO_3A*>(pDriverInfo);
  StoredDriver driver;
  driver.name = pInfo->pName;
  driver.cVersion = MachineIsNT() ? static_cast<DWORD>(NtDriverVersion(env)) : pInfo->cVersion;
  driver.driverPath = pInfo->pDriverPath;
  driver.dataFile = pInfo->pDataFile;
  driver.configFile = pInfo->pConfigFile;
  if (Level == 3) {
    driver.helpFile = TextOrEmpty(pInfo->pHelpFile);
    driver.monitor = TextOrEmpty(pInfo->pMonitorName);
    driver.datatype = TextOrEmpty(pInfo->pDefaultDataType);
    driver.dependentFiles = SplitMultiString(pInfo->pDependentFiles);
  }
  return driver;
}

LONG WriteDriverValues(StoreKey* key, const StoredDriver& driver) {
  const struct {
    const char* value;
    const std::string& text;
  } kTexts[] = {
      {kDriverFile, driver.driverPath},       {kDriverDataFile, driver.dataFile},
      {kDriverConfigFile, driver.configFile}, {kDriverHelpFile, driver.helpFile},
      {kDriverMonitor, driver.monitor},       {kDriverDatatype, driver.datatype},
  };
  for (const auto& text : kTexts) {
    LONG lResult = key->WriteString(text.value, text.text.c_str());
    if (lResult != ERROR_SUCCESS) return lResult;
  }
  LONG lResult = key->WriteMultiString(kDriverDependentFiles, driver.dependentFiles);
  if (lResult == ERROR_SUCCESS) lResult = key->WriteMultiString(kDriverPreviousNames, {});
  if (lResult == ERROR_SUCCESS) lResult = key->WriteDword(kDriverVersion, driver.cVersion);
  return lResult;
}

// The files as the caller names them: driver, data, configuration and help
// file, then the dependent files.
std::vector<std::string> NamedFiles(const StoredDriver& driver) {
  std::vector<std::string> files = {driver.driverPath, driver.dataFile, driver.configFile,
                                    driver.helpFile};
  files.insert(files.end(), driver.dependentFiles.begin(), driver.dependentFiles.end());
  return files;
}

// Writes (or rewrites) the driver's key, atomically, once every file is in
// the printer-driver directory of the environment (Windows copies them from
// there, a replaced driver's too).
DWORD StoreDriver(const std::string& env, const StoredDriver& driver) {
  DWORD dwError = AllPresentOr(DriverFiles(env, NamedFiles(driver)), kMissingDriverFileError);
  if (dwError != ERROR_SUCCESS) return dwError;
  const std::string path = DriversKey(env, MachineIsNT()) + "\\" + driver.name;
  return StoreKeyAtomically(path,
                            [&driver](StoreKey* key) { return WriteDriverValues(key, driver); });
}

bool LoadDriver(const StoreKey& drivers, const std::string& name, StoredDriver* driver) {
  StoreKey key;
  if (key.OpenBelow(drivers, name) != ERROR_SUCCESS) return false;
  driver->name = name;
  key.ReadDword(kDriverVersion, &driver->cVersion);
  key.ReadString(kDriverFile, &driver->driverPath);
  key.ReadString(kDriverDataFile, &driver->dataFile);
  key.ReadString(kDriverConfigFile, &driver->configFile);
  key.ReadString(kDriverHelpFile, &driver->helpFile);
  key.ReadString(kDriverMonitor, &driver->monitor);
  key.ReadString(kDriverDatatype, &driver->datatype);
  key.ReadMultiString(kDriverDependentFiles, &driver->dependentFiles);
  return true;
}

std::vector<StoredDriver> InstalledDrivers(const std::string& env) {
  std::vector<StoredDriver> drivers;
  const std::string driversPath = DriversKey(env, MachineIsNT());
  StoreKey key;
  if (key.Open(driversPath) != ERROR_SUCCESS) return drivers;
  for (const std::string& name : key.SubkeyNames()) {
    StoredDriver driver;
    if (LoadDriver(key, name, &driver)) drivers.push_back(driver);
  }
  return drivers;
}

// How enumerated file names read: full paths, on both systems (Wine's
// conformance tests expect a full path on every Windows they ran on, 9x
// included). NT reports them in the driver directory of the environment and
// version, C:\WINDOWS\system32\spool\DRIVERS\W32X86\3\X.DLL for example;
// Windows 98 in its printer-driver directory, the system directory
// (C:\WINDOWS\SYSTEM\X.DRV). A caller comparing them with bare INF names sees
// a difference and simply adds the driver again, which succeeds. Empty names
// stay empty.
class FileNamer {
 public:
  FileNamer(const std::string& env, DWORD cVersion) {
    m_directory = PrinterDriverDirectory(env) + "\\";
    if (MachineIsNT()) m_directory += std::to_string(cVersion) + "\\";
  }
  std::string operator()(const std::string& file) const {
    if (file.empty()) return file;
    size_t slash = file.find_last_of("\\/:");
    return m_directory + (slash == std::string::npos ? file : file.substr(slash + 1));
  }

 private:
  std::string m_directory;
};

void AddDriverRecord(EnumRecords* records, DWORD Level, const std::string& env,
                     const StoredDriver& driver) {
  records->NewRecord();
  if (Level == 1) {
    records->SetString(offsetof(DRIVER_INFO_1A, pName), driver.name);
    return;
  }
  const FileNamer path(env, driver.cVersion);
  records->SetDword(offsetof(DRIVER_INFO_3A, cVersion), driver.cVersion);
  records->SetString(offsetof(DRIVER_INFO_3A, pName), driver.name);
  records->SetString(offsetof(DRIVER_INFO_3A, pEnvironment), env);
  records->SetString(offsetof(DRIVER_INFO_3A, pDriverPath), path(driver.driverPath));
  records->SetString(offsetof(DRIVER_INFO_3A, pDataFile), path(driver.dataFile));
  records->SetString(offsetof(DRIVER_INFO_3A, pConfigFile), path(driver.configFile));
  if (Level != 3) return;
  std::vector<std::string> dependents;
  for (const std::string& file : driver.dependentFiles) dependents.push_back(path(file));
  records->SetString(offsetof(DRIVER_INFO_3A, pHelpFile), path(driver.helpFile));
  records->SetMultiString(offsetof(DRIVER_INFO_3A, pDependentFiles), dependents);
  records->SetString(offsetof(DRIVER_INFO_3A, pMonitorName), driver.monitor);
  records->SetString(offsetof(DRIVER_INFO_3A, pDefaultDataType), driver.datatype);
}

void NoteRefusedDriver(DWORD dwError, DWORD Level, LPBYTE pDriverInfo) {
  const DRIVER_INFO_2A* pInfo = reinterpret_cast<const DRIVER_INFO_2A*>(pDriverInfo);
  std::string name = Level >= 2 && pInfo && pInfo->pName ? pInfo->pName : "";
  NoteFailedCall("AddPrinterDriverA", dwError, "driver", name);
}

}  // namespace
}  // namespace spool
}  // namespace qzhost

using qzhost::spool::StoredDriver;

extern "C" {

// A driver of a name that exists is replaced and the call succeeds, as
// AddPrinterDriver does on Windows 2000/XP; the same on Windows 98.
BOOL WINAPI AddPrinterDriverA(LPSTR pName, DWORD Level, LPBYTE pDriverInfo) {
  DWORD dwError = 0;
  if (qzhost::ShouldFail("AddPrinterDriverA", &dwError)) {
    qzhost::spool::NoteRefusedDriver(dwError, Level, pDriverInfo);
    SetLastError(dwError);
    return FALSE;
  }
  dwError = qzhost::spool::CheckDriverInfo(pName, Level, pDriverInfo);
  std::string env;
  if (dwError == ERROR_SUCCESS) {
    const DRIVER_INFO_2A* pInfo = reinterpret_cast<const DRIVER_INFO_2A*>(pDriverInfo);
    qzhost::spool::ResolveEnvironment(pInfo->pEnvironment, &env, &dwError);
  }
  if (dwError == ERROR_SUCCESS) {
    dwError = qzhost::spool::ChangeOutsideLists([&] {
      return qzhost::spool::StoreDriver(env, qzhost::spool::FromCaller(Level, pDriverInfo, env));
    });
  }
  if (dwError != ERROR_SUCCESS) {
    qzhost::spool::NoteRefusedDriver(dwError, Level, pDriverInfo);
    SetLastError(dwError);
    return FALSE;
  }
  return TRUE;
}

// Levels 1-3, as Windows 98 and NT 4 have them. "all" (any case) lists the
// drivers of every environment on NT, as Windows 2000/XP do; Windows 98,
// like NT 4, refuses it with 1805.
BOOL WINAPI EnumPrinterDriversA(LPSTR pName, LPSTR pEnvironment, DWORD Level, LPBYTE pDriverInfo,
                                DWORD cbBuf, LPDWORD pcbNeeded, LPDWORD pcReturned) {
  DWORD dwError = 0;
  if (qzhost::ShouldFail("EnumPrinterDriversA", &dwError)) {
    SetLastError(dwError);
    return FALSE;
  }
  if (qzhost::spool::MissingCounters(pcbNeeded, pcReturned)) return FALSE;
  std::vector<std::string> environments(1);
  if (!qzhost::spool::IsLocalServer(pName)) {
    dwError = ERROR_INVALID_NAME;
  } else if (qzhost::MachineIsNT() && pEnvironment != nullptr &&
             qzhost::spool::SameName(pEnvironment, "all")) {
    environments = {qzhost::spool::kEnvWin40, qzhost::spool::kEnvNtX86};
  } else if (!qzhost::spool::ResolveEnvironment(pEnvironment, &environments[0], &dwError)) {
    // dwError is set; *pcbNeeded stays as it was, as on Windows.
  }
  if (dwError == ERROR_SUCCESS && (Level < 1 || Level > 3)) dwError = ERROR_INVALID_LEVEL;
  if (dwError != ERROR_SUCCESS) {
    SetLastError(dwError);
    return FALSE;
  }
  const size_t cbRecord = Level == 1   ? sizeof(DRIVER_INFO_1A)
                          : Level == 2 ? sizeof(DRIVER_INFO_2A)
                                       : sizeof(DRIVER_INFO_3A);
  qzhost::spool::EnumRecords records(cbRecord);
  for (const std::string& env : environments) {
    for (const StoredDriver& driver : qzhost::spool::InstalledDrivers(env))
      qzhost::spool::AddDriverRecord(&records, Level, env, driver);
  }
  return records.Deliver(pDriverInfo, cbBuf, pcbNeeded, pcReturned);
}

}  // extern "C"
