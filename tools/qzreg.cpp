// qzreg: creates the emulated machine, exports and imports its registry as
// .reg text, and lists what its spooler holds.
#include "tools/qzreg.h"

#include <stdio.h>
#include <string.h>

#include "platform/host/machine/hostfile.h"
#include "platform/host/machine/machine.h"
#include "platform/host/registry/regfile.h"
#include "platform/host/registry/registry.h"

namespace qzreg {
namespace {

struct Subcommand {
  const char* name;
  int (*handler)(const Args& args);
  const char* usage;
  const char* help;
};

int Help(const Args& args);

// A fault of the machine's storage overrides the command's own status; it is
// printed once.
int CheckMachineFault(int status) {
  static bool s_reported = false;
  if (qzhost::MachineFault().empty()) return status;
  if (s_reported) return kExitMachine;
  s_reported = true;
  return Complain(kExitMachine, qzhost::MachineFault());
}

// The current machine's registry, or null after a message.
qzhost::RegStore* Registry(int* status) {
  qzhost::MachineError error = qzhost::PrepareMachine();
  if (error.failed()) {
    *status = Complain(kExitMachine, error.message);
    return nullptr;
  }
  DWORD code = 0;
  qzhost::RegStore* store = qzhost::MachineRegistry(&code);
  if (store == nullptr) {
    *status = CheckMachineFault(kExitMachine);
    if (qzhost::MachineFault().empty())
      *status =
          Complain(kExitMachine, "cannot open the registry (error " + std::to_string(code) + ")");
  }
  return store;
}

int Init(const Args& args) {
  qzhost::MachineConfig config;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--os" && i + 1 < args.size()) {
      std::string os = args[++i];
      if (os == "nt")
        config.os = qzhost::Personality::kWinNT;
      else if (os != "win98")
        return Complain(kExitUsage, "unknown --os '" + os + "' (win98 or nt)");
    } else {
      return Complain(kExitUsage, "unexpected argument '" + args[i] + "' (try qzreg --help)");
    }
  }
  qzhost::MachineError error = qzhost::InitMachine(config);
  if (error.failed()) return Complain(kExitFailed, error.message);
  int status = kExitOk;
  if (Registry(&status) == nullptr) return status;
  printf("Created a %s machine at %s\n",
         config.os == qzhost::Personality::kWinNT ? "Windows NT (XP)" : "Windows 98",
         qzhost::MachineRoot().c_str());
  return kExitOk;
}

int Export(const Args& args) {
  std::string key = "HKEY_LOCAL_MACHINE";
  qzhost::RegFileVersion version = qzhost::RegFileVersion::kRegedit4;
  bool keyGiven = false;
  for (const std::string& arg : args) {
    if (arg == "--v5")
      version = qzhost::RegFileVersion::kVersion5;
    else if (arg.compare(0, 2, "--") == 0)
      return Complain(kExitUsage, "unknown option '" + arg + "'");
    else if (keyGiven)
      return Complain(kExitUsage, "only one KEY may be given");
    else
      key = arg, keyGiven = true;
  }
  int status = kExitOk;
  qzhost::RegStore* store = Registry(&status);
  if (store == nullptr) return status;
  std::string text, why;
  if (qzhost::ExportRegText(store, key, version, &text, &why) != ERROR_SUCCESS)
    return CheckMachineFault(Complain(kExitFailed, why));
  fwrite(text.data(), 1, text.size(), stdout);
  return fflush(stdout) == 0 ? kExitOk : Complain(kExitFailed, "cannot write the output");
}

int Import(const Args& args) {
  if (args.size() != 1) return Complain(kExitUsage, "import needs exactly one FILE");
  std::string text, why;
  if (!qzhost::ReadWholeFile(args[0], &text, &why)) return Complain(kExitFailed, why);
  int status = kExitOk;
  qzhost::RegStore* store = Registry(&status);
  if (store == nullptr) return status;
  qzhost::RegFileError error;
  if (qzhost::ImportRegText(store, text, &error) != ERROR_SUCCESS) {
    std::string where = error.line ? " line " + std::to_string(error.line) : std::string();
    return CheckMachineFault(
        Complain(kExitFailed, args[0] + where + ": " + error.message + "; nothing was imported"));
  }
  return kExitOk;
}

// A listing reads one snapshot of the machine, never half of a change that a
// running qzinst32 commits meanwhile.
template <int (*List)(const Args&)>
int OneSnapshot(const Args& args) {
  int status = kExitOk;
  qzhost::RegStore* store = Registry(&status);
  if (store == nullptr) return status;
  store->PinReadSnapshot();
  int result = List(args);
  store->UnpinReadSnapshot();
  return result;
}

const Subcommand kSubcommands[] = {
    {"init", Init, "init [--os win98|nt]", "create a fresh machine with its default registry"},
    {"export", Export, "export [KEY] [--v5]",
     "write KEY (default HKEY_LOCAL_MACHINE) as .reg text (REGEDIT4, or 5.00)"},
    {"import", Import, "import FILE", "apply a .reg file in one step (all of it or nothing)"},
    {"printers", OneSnapshot<ListPrinters>, "printers [--json]", "list the printers"},
    {"drivers", OneSnapshot<ListDrivers>, "drivers [--json]", "list the printer drivers"},
    {"monitors", OneSnapshot<ListMonitors>, "monitors [--json]", "list the print monitors"},
    {"processors", OneSnapshot<ListProcessors>, "processors [--json]", "list the print processors"},
    {"ports", OneSnapshot<ListPorts>, "ports [--json]", "list the ports"},
    {"help", Help, "help", "show this help"},
};

int Help(const Args&) {
  printf(
      "Usage: qzreg <command> [arguments]\n\n"
      "Shows and changes the emulated Windows machine that qzinst32 works on.\n\n"
      "Commands:\n");
  for (const Subcommand& sub : kSubcommands) printf("  %-22s %s\n", sub.usage, sub.help);
  printf(
      "\nThe machine lives in $QZINST_ROOT (default ~/.qzinst32) and is created\n"
      "with the default Windows 98 image on first use. With --json a listing is\n"
      "a JSON array with one object per row.\n"
      "Exit status: 0 done, 1 failed, 2 bad usage, 3 machine or registry unusable.\n");
  return kExitOk;
}

}  // namespace

int Complain(int status, const std::string& message) {
  fprintf(stderr, "qzreg: %s\n", message.c_str());
  return status;
}

}  // namespace qzreg

int main(int argc, char** argv) {
  using namespace qzreg;
  if (argc < 2) return Complain(kExitUsage, "no command given (try qzreg --help)");
  std::string name = argv[1];
  if (name == "--help" || name == "-h") name = "help";
  Args args(argv + 2, argv + argc);
  for (const Subcommand& sub : kSubcommands) {
    if (name != sub.name) continue;
    int status = sub.handler(args);
    // Closed here, not at exit, so that a failure to close is reported and
    // the spooler can keep what it read for the next program.
    qzhost::CloseMachineRegistry();
    return CheckMachineFault(status);
  }
  return Complain(kExitUsage, "unknown command '" + name + "' (try qzreg --help)");
}
