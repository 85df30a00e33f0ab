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

#include "platform/host/machine/codepage.h"
#include "platform/host/machine/hostfile.h"
#include "platform/host/machine/machineconfig.h"
#include "platform/host/machine/seed.h"
#include "platform/host/machine/testctl.h"

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

MachineError MakeDirectories(const std::string& root, const MachineConfig& config) {
  std::string sys = config.os == Personality::kWinNT ? "system32" : "SYSTEM";
  for (const std::string& dir :
       {root, root + "/drive_c", root + "/drive_c/WINDOWS", root + "/drive_c/WINDOWS/" + sys}) {
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
    return {"a machine exists already at " + root + " (remove it first)"};
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
  if (!WriteFileAtomically(configPath, MachineConfigText(config), &why)) return {why};
  State().config = config;
  State().configLoaded = true;
  return {};
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
  PrepareMachine();
  return State().config;
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

// The first '\\' or '/' of `path` from `from`, stepping by characters: a trail
// byte 0x5C of a double-byte character is no separator.
size_t FindSeparator(const std::string& path, size_t from = 0) {
  const unsigned codePage = Machine().codePage;
  const char* start = path.c_str();
  for (const char* p = start + from; *p != '\0'; p = NextCharOf(codePage, p)) {
    if (*p == '\\' || *p == '/') return static_cast<size_t>(p - start);
  }
  return std::string::npos;
}

std::string JoinCaseInsensitive(std::string base, const std::string& rest) {
  size_t i = 0;
  while (i <= rest.size()) {
    size_t j = FindSeparator(rest, i);
    if (j == std::string::npos) j = rest.size();
    std::string part = rest.substr(i, j - i);
    if (part == "..") return {};  // never leave the mapped drive
    if (!part.empty() && part != ".") base += "/" + MatchComponent(base, part);
    i = j + 1;
  }
  return base;
}

}  // namespace

std::string MapWindowsPath(const std::string& path) {
  if (path.empty()) return {};
  if (path[0] == '/') return path;
  bool hasDrive =
      path.size() >= 2 && path[1] == ':' && isalpha(static_cast<unsigned char>(path[0]));
  if (hasDrive) {
    char drive = static_cast<char>(toupper(static_cast<unsigned char>(path[0])));
    std::string rest = path.substr(2);
    if (drive == 'Z') return JoinCaseInsensitive("", rest);
    if (drive == 'C') return JoinCaseInsensitive(MachineRoot() + "/drive_c", rest);
    return {};
  }
  if (FindSeparator(path) == std::string::npos)
    return JoinCaseInsensitive(MachineRoot() + "/drive_c/WINDOWS", path);
  char cwd[4096];
  if (getcwd(cwd, sizeof cwd) == nullptr) return {};
  return JoinCaseInsensitive(cwd, path);
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

std::string RedirectProfilePath(const std::string& path, bool forWrite) {
  if (!g_redirect.profilePath || path.empty()) return path;
  return g_redirect.profilePath(path, forWrite);
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
