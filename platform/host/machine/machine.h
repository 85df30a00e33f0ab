// The emulated Windows machine: its root folder, personality and code page.
//
// The root comes from QZINST_ROOT, else ~/.qzinst32. Its settings live in
// <root>/machine.ini, read once per process; the registry (registry.db) and
// the Windows drive (drive_c/) are opened by their own modules on first use,
// so a command that touches neither costs nothing here.
#ifndef QZINST32_PLATFORM_HOST_MACHINE_H_
#define QZINST32_PLATFORM_HOST_MACHINE_H_

#include <cstdint>
#include <string>

namespace qzhost {

enum class Personality { kWin98, kWinNT };

struct MachineConfig {
  Personality os = Personality::kWin98;
  unsigned codePage = 1252;
};

// Why the machine could not be used; empty when it can.
struct MachineError {
  std::string message;
  bool failed() const { return !message.empty(); }
};

// The root folder, without a trailing slash.
const std::string& MachineRoot();
// True when the registry lives in memory (test machines only).
bool MachineInMemory();
const MachineConfig& Machine();
bool MachineIsNT();
// The code page of the machine this process has prepared, else 1252; never
// prepares one (output written before or without a machine uses it).
unsigned PreparedCodePage();

// Makes sure the root exists (mode 0700) and holds a readable machine.ini,
// creating both for a fresh root. Never overwrites anything that is there.
MachineError PrepareMachine();
// Creates a fresh machine at the root with the given settings; refuses a root
// that already holds a machine.
MachineError InitMachine(const MachineConfig& config);
// Makes the empty instance.lock of a machine in `folder` (a machine has it
// from the start, so that a run that must leave the root as it is, such as
// a what-if, finds it there and creates nothing); false with *why.
bool MakeInstanceLockFile(const std::string& folder, std::string* why);

// Windows directory and system directory of the personality ("C:\WINDOWS", ...).
const char* WindowsDirectory();
const char* SystemDirectory();

// Maps a Windows path (C:\..., or Z:\... for the host's own file system) or a
// Unix path to a host path, by Windows' path rules (winpath.h). Drive C:
// lives in <root>/drive_c; a bare name in C:\WINDOWS; a relative path starts
// in the current folder. Each name is matched case-insensitively against
// what exists. Returns 0, or the Win32 error a file call gives for the path
// (123 invalid name, 53 network path, 3 a drive the machine lacks). A device
// name (NUL, COM1 ...) sets *device and leaves *hostPath empty.
uint32_t ResolveWindowsPath(const std::string& path, std::string* hostPath, std::string* device);
// The host path of ResolveWindowsPath; empty for a device or an error.
std::string MapWindowsPath(const std::string& path);

// Points the machine at a new root with the given settings (test controls).
void SetMachineForTest(const std::string& root, const MachineConfig& config, bool inMemory);

// A fault of the machine's storage met during a call (a damaged registry.db,
// a root that cannot be written). The first report is kept; the host entry
// prints it and exits with a non-zero status. Empty when there was none.
void ReportMachineFault(const std::string& message);
const std::string& MachineFault();

// Where a run's registry really lives: a what-if run on a machine without
// one makes it in a shadow folder. An empty path changes nothing; setting a
// redirect makes the modules reopen what they hold.
struct MachineRedirect {
  std::string registryPath;  // instead of <root>/registry.db
};
void SetMachineRedirect(MachineRedirect redirect);
// <root>/registry.db, or the redirect's database.
std::string MachineRegistryPath();

// Takes `config` as the settings of a root that holds no machine, without
// creating one: what asks for them later (the code page of a string
// comparison, the path of a bare file name) is answered from `config`, and
// nothing is written. For a check that must leave the root alone.
void AssumeMachineSettings(const MachineConfig& config);

// Forgets everything read from the root (tests switch machines with this).
void ResetMachineState();

// Forgets the settings read from machine.ini, keeping the root: the machine
// at the root was replaced (a machine image was loaded).
void ForgetMachineSettings();

// Changes whenever the machine is switched or reset; modules that keep the
// machine's files open reopen them when it differs from what they saw.
unsigned MachineGeneration();

}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_MACHINE_H_
