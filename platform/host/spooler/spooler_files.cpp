// The files the spooler's Add* calls look for, on the machine's drive C:.
#include "platform/host/spooler/spooler_files.h"

#include <sys/stat.h>

#include "platform/host/machine/machine.h"
#include "platform/host/spooler/spooler_layout.h"
#include "platform/host/spooler/spooler_store.h"

namespace qzhost {
namespace spool {
namespace {

std::string SpoolFolder(const char* kind, const std::string& env) {
  if (!MachineIsNT()) return SystemDirectory();
  return std::string(SystemDirectory()) + "\\spool\\" + kind + "\\" +
         (env == kEnvWin40 ? "WIN40" : "W32X86");
}

ComponentFile Locate(const std::string& windowsPath) {
  ComponentFile file;
  file.windowsPath = windowsPath;
  file.hostPath = MapWindowsPath(windowsPath);
  struct stat st;
  file.present =
      !file.hostPath.empty() && stat(file.hostPath.c_str(), &st) == 0 && S_ISREG(st.st_mode);
  return file;
}

// A DLL the spooler loads from one folder: a name with a path of its own is
// not found there.
ComponentFile LocateDll(const std::string& folder, const std::string& dll) {
  if (dll.find_first_of("\\/:") != std::string::npos) return ComponentFile();
  return Locate(folder + "\\" + dll);
}

bool IsFullPath(const std::string& name) {
  return (name.size() > 1 && name[1] == ':') || (!name.empty() && name[0] == '\\');
}

}  // namespace

std::string PrinterDriverDirectory(const std::string& env) { return SpoolFolder("DRIVERS", env); }
std::string PrintProcessorDirectory(const std::string& env) { return SpoolFolder("PRTPROCS", env); }

std::vector<ComponentFile> MonitorFiles(const std::string& name, const std::string& dll) {
  if (MonitorInstalled(name)) return {};
  return {LocateDll(SystemDirectory(), dll)};
}

std::vector<ComponentFile> ProcessorFiles(const std::string& env, const std::string& name,
                                          const std::string& dll) {
  if (KeyExists(PrintProcessorsKey(env) + "\\" + name)) return {};
  return {LocateDll(PrintProcessorDirectory(env), dll)};
}

std::vector<ComponentFile> DriverFiles(const std::string& env,
                                       const std::vector<std::string>& files) {
  std::vector<ComponentFile> located;
  const std::string folder = PrinterDriverDirectory(env);
  for (const std::string& name : files) {
    if (name.empty()) continue;  // an absent help file, for one
    located.push_back(Locate(IsFullPath(name) ? name : folder + "\\" + name));
  }
  return located;
}

DWORD MissingMonitorFileError() {
  return MachineIsNT() ? ERROR_MOD_NOT_FOUND : ERROR_INVALID_PARAMETER;
}

DWORD MissingProcessorFileError() { return MissingMonitorFileError(); }

DWORD AllPresentOr(const std::vector<ComponentFile>& files, DWORD error) {
  for (const ComponentFile& file : files)
    if (!file.present) return error;
  return ERROR_SUCCESS;
}

}  // namespace spool
}  // namespace qzhost
