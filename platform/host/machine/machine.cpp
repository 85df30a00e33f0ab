// The emulated Windows machine: root folder, personality, code page, paths.
#include "platform/host/machine/machine.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string_view>
#include <vector>

#include "platform/host/machine/hostfile.h"
#include "platform/host/machine/machineconfig.h"
#include "platform/host/machine/seed.h"
#include "platform/host/machine/testctl.h"
#include "platform/host/machine/winpath.h"

namespace qzhost {
namespace {

const char kConfigName[] = "machine.ini";
const char kRegistryName[] = "registry.db";

struct MachineState {
  bool rootKnown = false;
  std::string root;
  bool configLoaded = false;
  MachineConfig config;
  bool inMemory = false;
};

MachineState& State() {
  static MachineState state;
  return state;
}

std::string DefaultRoot() {
  const char* env = getenv("QZINST_ROOT");
  if (env != nullptr && *env != '\0') return env;
  const char* home = getenv("HOME");
  return std::string(home && *home ? home : ".") + "/.qzinst32";
}

// The folders of a fresh Windows: on NT also the spooler's printer-driver and
// print-processor folders, where a package's setup copies its files (Windows
// 98 keeps both in the system directory).
std::vector<std::string> FreshFolders(const std::string& root, const MachineConfig& config) {
  const bool bNT = config.os == Personality::kWinNT;
  const std::string sys = root + "/drive_c/WINDOWS/" + (bNT ? "system32" : "SYSTEM");
  std::vector<std::string> dirs = {root, root + "/drive_c", root + "/drive_c/WINDOWS", sys};
  if (!bNT) return dirs;
  dirs.push_back(sys + "/spool");
  for (const char* kind : {"/spool/DRIVERS", "/spool/PRTPROCS"}) {
    dirs.push_back(sys + kind);
    for (const char* env : {"/W32X86", "/WIN40"}) dirs.push_back(sys + kind + env);
  }
  return dirs;
}

MachineError MakeDirectories(const std::string& root, const MachineConfig& config) {
  for (const std::string& dir : FreshFolders(root, config)) {
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
      return {"cannot create " + dir + ": " + strerror(errno)};
  }
  return {};
}

// A registry without its machine.ini belongs to a machine whose personality
// is no longer known: it is never given the default one.
MachineError CheckNoRegistry(const std::string& root) {
  std::string registry = root + "/" + kRegistryName;
  struct stat st;
  if (lstat(registry.c_str(), &st) != 0) {
    if (errno == ENOENT) return {};
    return {"cannot look for " + registry + ": " + strerror(errno)};
  }
  return {root + " holds " + kRegistryName + " but no " + kConfigName +
          ", which says whether the machine is Windows 98 or NT; nothing was changed. Put it "
          "back, or write one: [Machine], OS=win98 or OS=nt, CodePage=1252 or 932"};
}

}  // namespace

const std::string& MachineRoot() {
  MachineState& s = State();
  if (!s.rootKnown) {
    s.root = DefaultRoot();
    while (s.root.size() > 1 && s.root.back() == '/') s.root.pop_back();
    s.rootKnown = true;
  }
  return s.root;
}

bool MachineInMemory() { return State().inMemory; }

MachineError InitMachine(const MachineConfig& config) {
  const std::string& root = MachineRoot();
  std::string configPath = root + "/" + kConfigName;
  if (access(configPath.c_str(), F_OK) == 0)
    return {"a machine exists already at " + root + " (qzreg init --force replaces it)"};
  MachineError orphan = CheckNoRegistry(root);
  if (orphan.failed()) return orphan;
  MachineError error = MakeDirectories(root, config);
  if (error.failed()) return error;
  const SeedFile* winIni = FindSeedFile("win.ini");
  std::string winIniPath = root + "/drive_c/WINDOWS/WIN.INI";
  if (winIni != nullptr && access(winIniPath.c_str(), F_OK) != 0) {
    std::string why;
    if (!WriteFileAtomically(winIniPath, std::string(winIni->data, winIni->size), &why))
      return {why};
  }
  std::string why;
  if (!MakeInstanceLockFile(root, &why)) return {why};
  if (!WriteFileAtomically(configPath, MachineConfigText(config), &why)) return {why};
  State().config = config;
  State().configLoaded = true;
  return {};
}

bool MakeInstanceLockFile(const std::string& folder, std::string* why) {
  std::string path = folder + "/instance.lock";
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return *why = "cannot create " + path + ": " + strerror(errno), false;
  close(fd);
  return true;
}

MachineError PrepareMachine() {
  MachineState& s = State();
  if (s.configLoaded) return {};
  const std::string& root = MachineRoot();
  std::string configPath = root + "/" + kConfigName;
  struct stat st;
  if (stat(root.c_str(), &st) == 0 && !S_ISDIR(st.st_mode))
    return {"machine root " + root + " is not a folder"};
  if (access(configPath.c_str(), F_OK) != 0) {
    if (errno != ENOENT) return {"cannot read " + configPath + ": " + strerror(errno)};
    MachineError orphan = CheckNoRegistry(root);
    if (orphan.failed()) return orphan;
    return InitMachine(MachineConfig());
  }
  std::string text, why;
  if (!ReadWholeFile(configPath, &text, &why)) return {why};
  MachineConfig config;
  if (!ParseMachineConfig(text, &config, &why))
    return {configPath + " is damaged (" + why + "); nothing was changed"};
  s.config = config;
  s.configLoaded = true;
  return {};
}

const MachineConfig& Machine() {
  MachineState& s = State();
  if (!s.configLoaded) PrepareMachine();  // asked of every string comparison
  return s.config;
}

bool MachineIsNT() { return Machine().os == Personality::kWinNT; }

unsigned PreparedCodePage() {
  const MachineState& s = State();
  return s.configLoaded ? s.config.codePage : 1252;
}

const char* WindowsDirectory() { return "C:\\WINDOWS"; }

const char* SystemDirectory() {
  return MachineIsNT() ? "C:\\WINDOWS\\system32" : "C:\\WINDOWS\\SYSTEM";
}

namespace {

const uint32_t kErrorPathNotFound = 3;

// The entry of `dir` whose name equals `name` without regard to case, or `name`.
std::string MatchComponent(const std::string& dir, const std::string& name) {
  std::string exact = dir + "/" + name;
  if (access(exact.c_str(), F_OK) == 0) return name;
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return name;
  std::string found = name;
  while (struct dirent* e = readdir(d)) {
    if (strcasecmp(e->d_name, name.c_str()) == 0) {
      found = e->d_name;
      break;
    }
  }
  closedir(d);
  return found;
}

// `base` followed by `names`, each matched against what exists.
std::string JoinCaseInsensitive(std::string base, const std::vector<std::string>& names) {
  for (const std::string& name : names) base += "/" + MatchComponent(base, name);
  return base;
}

// The host folder names of the current folder, with a relative path's names
// resolved against them; `..` stops at the host's root.
std::vector<std::string> FromCurrentFolder(const std::vector<std::string>& names) {
  char cwd[4096];
  if (getcwd(cwd, sizeof cwd) == nullptr) return {};
  std::vector<std::string> out;
  std::string_view rest(cwd);
  for (size_t i = 0; i < rest.size();) {
    size_t j = rest.find('/', i);
    if (j == std::string_view::npos) j = rest.size();
    if (j > i) out.emplace_back(rest.substr(i, j - i));
    i = j + 1;
  }
  for (const std::string& name : names) {
    if (name != "..")
      out.push_back(name);
    else if (!out.empty())
      out.pop_back();
  }
  return out;
}

}  // namespace

uint32_t ResolveWindowsPath(const std::string& path, std::string* hostPath, std::string* device) {
  hostPath->clear();
  device->clear();
  if (!path.empty() && path[0] == '/') return *hostPath = path, 0;  // the host's own
  WinPath win;
  if (uint32_t error = ParseWindowsPath(path, Machine().codePage, &win)) return error;
  if (!win.device.empty()) return *device = win.device, 0;
  if (win.names.empty()) return kErrorPathNotFound;  // a drive or folder itself
  if (win.drive == 'Z')
    *hostPath = JoinCaseInsensitive("", win.names);
  else if (win.drive == 'C')
    *hostPath = JoinCaseInsensitive(MachineRoot() + "/drive_c", win.names);
  else if (win.drive != 0)
    return kErrorPathNotFound;  // a drive the machine lacks
  else if (win.bareName)
    *hostPath = JoinCaseInsensitive(MachineRoot() + "/drive_c/WINDOWS", win.names);
  else
    *hostPath = JoinCaseInsensitive("", FromCurrentFolder(win.names));
  return hostPath->empty() ? kErrorPathNotFound : 0;
}

std::string MapWindowsPath(const std::string& path) {
  std::string hostPath, device;
  ResolveWindowsPath(path, &hostPath, &device);
  return hostPath;
}

namespace {
unsigned g_generation = 1;
std::string g_fault;
MachineRedirect g_redirect;
}  // namespace

void SetMachineRedirect(MachineRedirect redirect) {
  g_redirect = std::move(redirect);
  ++g_generation;
}

std::string MachineRegistryPath() {
  if (!g_redirect.registryPath.empty()) return g_redirect.registryPath;
  return MachineRoot() + "/registry.db";
}

void ReportMachineFault(const std::string& message) {
  if (g_fault.empty()) g_fault = message;
}

const std::string& MachineFault() { return g_fault; }

unsigned MachineGeneration() { return g_generation; }

void ResetMachineState() {
  State() = MachineState();
  g_fault.clear();
  g_redirect = MachineRedirect();
  ++g_generation;
}

void AssumeMachineSettings(const MachineConfig& config) {
  State().config = config;
  State().configLoaded = true;
  ++g_generation;
}

void ForgetMachineSettings() {
  State().configLoaded = false;
  State().config = MachineConfig();
  ++g_generation;
}

void SetMachineForTest(const std::string& root, const MachineConfig& config, bool inMemory) {
  ResetMachineState();
  MachineState& s = State();
  s.root = root;
  s.rootKnown = true;
  s.inMemory = inMemory;
  InitMachine(config);
}

}  // namespace qzhost
