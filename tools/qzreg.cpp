// qzreg: creates, saves and loads the emulated machine, reads and changes
// its registry as reg.exe and the registry editor do, and lists what its
// spooler holds.
#include "tools/qzreg.h"

#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include "platform/host/machine/hostfile.h"
#include "platform/host/machine/machine.h"
#include "platform/host/registry/regfile.h"
#include "platform/host/registry/regimage.h"
#include "platform/host/registry/registry.h"

#ifndef QZ_VERSION
#define QZ_VERSION "0"
#endif

namespace qzreg {
namespace {

struct Subcommand {
  const char* name;
  int (*handler)(const Args& args);
  const char* usage;
  const char* help;
};

// A root with machine.ini, or with a registry whose machine.ini is lost
// (which PrepareMachine refuses with its own message).
bool MachineExists() {
  const std::string& root = qzhost::MachineRoot();
  return access((root + "/machine.ini").c_str(), F_OK) == 0 ||
         access((root + "/registry.db").c_str(), F_OK) == 0;
}

// Opens the fresh machine's registry empty, without the default image.
int MakeBareRegistry() {
  qzhost::RegStore store;
  std::string why;
  DWORD error = store.Open(
      qzhost::MachineRegistryPath(), qzhost::Machine().codePage,
      [] { return DWORD(ERROR_SUCCESS); }, &why);
  store.Close();
  return error == ERROR_SUCCESS ? kExitOk
                                : Complain(kExitMachine, "cannot create the registry: " + why);
}

int Init(const Args& args) {
  qzhost::MachineConfig config;
  bool bare = false;
  std::string from;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--os" && i + 1 < args.size()) {
      std::string os = args[++i];
      if (os == "nt")
        config.os = qzhost::Personality::kWinNT;
      else if (os != "win98")
        return Complain(kExitUsage, "unknown --os '" + os + "' (win98 or nt)");
    } else if (args[i] == "--bare") {
      bare = true;
    } else if (args[i] == "--from" && i + 1 < args.size()) {
      from = args[++i];
    } else {
      return Complain(kExitUsage, "unexpected argument '" + args[i] + "' (try qzreg init --help)");
    }
  }
  if (!from.empty()) {
    if (bare) return Complain(kExitUsage, "--from and --bare exclude each other");
    qzhost::MachineError error = qzhost::LoadMachineImage(from, false);
    if (error.failed()) return Complain(kExitFailed, error.message);
    printf("Created the machine of %s at %s\n", from.c_str(), qzhost::MachineRoot().c_str());
    return kExitOk;
  }
  qzhost::MachineError error = qzhost::InitMachine(config);
  if (error.failed()) return Complain(kExitFailed, error.message);
  int status = kExitOk;
  if (bare ? (status = MakeBareRegistry()) != kExitOk : ExistingRegistry(&status) == nullptr)
    return status;
  printf("Created a%s %s machine at %s\n", bare ? " bare" : "",
         config.os == qzhost::Personality::kWinNT ? "Windows NT (XP)" : "Windows 98",
         qzhost::MachineRoot().c_str());
  return kExitOk;
}

int Export(const Args& args) {
  std::string key;
  qzhost::RegFileVersion version = qzhost::RegFileVersion::kRegedit4;
  bool all = false;
  for (const std::string& arg : args) {
    if (arg == "--v5")
      version = qzhost::RegFileVersion::kVersion5;
    else if (arg == "--all")
      all = true;
    else if (arg.compare(0, 1, "-") == 0)
      return Complain(kExitUsage, "unknown option '" + arg + "' (try qzreg export --help)");
    else if (!key.empty())
      return Complain(kExitUsage, "only one KEY may be given");
    else
      key = arg;
  }
  if (all && !key.empty()) return Complain(kExitUsage, "--all and a KEY exclude each other");
  int status = kExitOk;
  qzhost::RegStore* store = ExistingRegistry(&status);
  if (store == nullptr) return status;
  std::string text, why;
  DWORD error = all ? qzhost::ExportAllRegText(store, version, &text, &why)
                    : qzhost::ExportRegText(store, key, version, &text, &why);
  if (error != ERROR_SUCCESS) return CheckMachineFault(Complain(kExitFailed, why));
  fwrite(text.data(), 1, text.size(), stdout);
  return fflush(stdout) == 0 ? kExitOk : Complain(kExitFailed, "cannot write the output");
}

bool ReadStandardInput(std::string* text) {
  char buffer[65536];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, stdin)) > 0) text->append(buffer, n);
  return ferror(stdin) == 0;
}

int Import(const Args& args) {
  if (args.size() != 1)
    return Complain(kExitUsage, "import needs exactly one FILE (- for standard input)");
  const std::string& file = args[0];
  std::string text, why;
  if (file == "-" ? !ReadStandardInput(&text) : !qzhost::ReadWholeFile(file, &text, &why))
    return Complain(kExitFailed, file == "-" ? "cannot read standard input" : why);
  int status = kExitOk;
  qzhost::RegStore* store = ExistingRegistry(&status);
  if (store == nullptr) return status;
  qzhost::RegFileError error;
  qzhost::RegImportSummary summary;
  std::string name = file == "-" ? "standard input" : file;
  if (qzhost::ImportRegText(store, text, &error, &summary) != ERROR_SUCCESS) {
    std::string where = error.line ? " line " + std::to_string(error.line) : std::string();
    return CheckMachineFault(
        Complain(kExitFailed, name + where + ": " + error.message + "; nothing was imported"));
  }
  for (const std::string& warning : summary.warnings) Complain(kExitOk, "warning: " + warning);
  printf("Imported %s: %s\n", name.c_str(), summary.Text().c_str());
  return kExitOk;
}

int Help(const Args& args);

const Subcommand kSubcommands[] = {
    {"init", Init, "init [--os win98|nt] [--bare | --from IMAGE]",
     "create a machine: the OS's default image, an empty\n"
     "registry (--bare) or a copy of a saved image"},
    {"save", Save, "save IMAGE", "write the whole machine into one image file"},
    {"load", Load, "load IMAGE", "replace the machine with a saved image, all at once"},
    {"query", Query, "query KEY [/v NAME | /ve] [/s] [--json]",
     "show a value, or a key's values and subkeys (/s: the\n"
     "whole tree); status 1 when absent"},
    {"add", Add, "add KEY [/v NAME | /ve] [/t TYPE] [/s SEP] [/d DATA] [/f]",
     "create a key, or set a value (/f: overwrite one)"},
    {"delete", Delete, "delete KEY [/v NAME | /ve | /va] [/f]",
     "delete a key with its tree, or values (/f: without asking)"},
    {"export", Export, "export [KEY | --all] [--v5]",
     "write KEY (default HKEY_LOCAL_MACHINE) or every root\n"
     "as REGEDIT4, or with --v5 as 5.00 in UTF-16"},
    {"import", Import, "import FILE|-", "apply a .reg file in one step (all of it or nothing)"},
    {"printers", ListPrinters, "printers [NAME] [--json]", "list the printers"},
    {"drivers", ListDrivers, "drivers [NAME] [--json]", "list the printer drivers"},
    {"monitors", ListMonitors, "monitors [NAME] [--all] [--json]",
     "list the print monitors (--all: with the language\n"
     "monitors NT hides)"},
    {"processors", ListProcessors, "processors [NAME] [--json]", "list the print processors"},
    {"ports", ListPorts, "ports [NAME] [--json]", "list the ports"},
    {"driver", Driver, "driver add|delete NAME ...",
     "add a printer driver (--environment ENV --driver FILE\n"
     "--data FILE --config FILE) or delete one"},
    {"printer", Printer, "printer add|delete NAME ...",
     "add a printer (--driver NAME --port PORT [--default])\n"
     "or delete one"},
    {"default", Default, "default NAME", "make a printer the default printer"},
    {"port", Port, "port add|delete NAME ...",
     "add a local port, or a Standard TCP/IP port\n"
     "(--tcpip HOST[:PORT]), or delete one"},
    {"monitor", Monitor, "monitor add|delete NAME ...",
     "add a print monitor (--dll FILE) or delete one"},
    {"diff", Diff, "diff A B [--json]",
     "what differs between two machines (roots or images):\n"
     "registry, files under drive_c, spooler; status 1 if any"},
    {"help", Help, "help [COMMAND]", "show this help, or a command's"},
};

void PrintUsage(const Subcommand& sub) {
  std::string help = sub.help;
  for (size_t at = help.find('\n'); at != std::string::npos; at = help.find('\n', at + 1))
    help.insert(at + 1, std::string(28, ' '));
  printf("  %-25s %s\n", sub.usage, help.c_str());
}

int Help(const Args& args) {
  for (const Subcommand& sub : kSubcommands) {
    if (args.empty() || args[0] != sub.name) continue;
    printf("Usage: qzreg %s\n\n", sub.usage);
    PrintUsage(sub);
    return kExitOk;
  }
  if (!args.empty()) return Complain(kExitUsage, "no command '" + args[0] + "' (try qzreg --help)");
  printf(
      "Usage: qzreg [--help | --version] <command> [arguments]\n\n"
      "Shows and changes the emulated Windows machine that qzinst32 works on.\n\n"
      "Commands:\n");
  for (const Subcommand& sub : kSubcommands) {
    std::string usage = sub.usage;
    if (usage.size() > 25) {
      printf("  %s\n", usage.c_str());
      Subcommand indented = sub;
      indented.usage = "";
      PrintUsage(indented);
    } else {
      PrintUsage(sub);
    }
  }
  printf(
      "\nOptions:\n"
      "  -h, --help      show this help (after a command: the command's help)\n"
      "  -V, --version   show the version\n"
      "  --json          print a listing or a query as JSON\n"
      "\n"
      "KEY is a registry path such as HKLM\\Software\\Halden (HKCR, HKCU, HKLM, HKU).\n"
      "The machine lives in $QZINST_ROOT (default ~/.qzinst32). Only init, load and\n"
      "qzinst32 create one; every other command needs it to exist.\n"
      "Exit status: 0 done, 1 failed or not found, 120 bad usage, 121 no machine\n"
      "or its registry cannot be used.\n");
  return kExitOk;
}

}  // namespace

int Complain(int status, const std::string& message) {
  fprintf(stderr, "qzreg: %s\n", message.c_str());
  return status;
}

int CheckMachineFault(int status) {
  static bool s_reported = false;
  if (qzhost::MachineFault().empty()) return status;
  if (s_reported) return kExitMachine;
  s_reported = true;
  return Complain(kExitMachine, qzhost::MachineFault());
}

qzhost::RegStore* ExistingRegistry(int* status) {
  if (!MachineExists()) {
    *status = Complain(kExitMachine,
                       "no machine at " + qzhost::MachineRoot() + " (qzreg init makes one)");
    return nullptr;
  }
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

bool IsSwitch(const std::string& arg, const char* name) {
  return arg.size() == strlen(name) + 1 && (arg[0] == '/' || arg[0] == '-') &&
         strcasecmp(arg.c_str() + 1, name) == 0;
}

}  // namespace qzreg

int main(int argc, char** argv) {
  using namespace qzreg;
  if (argc < 2) return Complain(kExitUsage, "no command given (try qzreg --help)");
  std::string name = argv[1];
  Args args(argv + 2, argv + argc);
  if (name == "--help" || name == "-h") name = "help";
  if (name == "--version" || name == "-V") {
    printf("qzreg %s\n", QZ_VERSION);
    return kExitOk;
  }
  for (const Subcommand& sub : kSubcommands) {
    if (name != sub.name) continue;
    for (const std::string& arg : args)
      if ((arg == "--help" || arg == "-h") && !OwnsHelpOption(name)) return Help(Args{name});
    int status = sub.handler(args);
    // Closed here, not at exit, so that a failure to close is reported and
    // the spooler can keep what it read for the next program.
    qzhost::CloseMachineRegistry();
    return CheckMachineFault(status);
  }
  return Complain(kExitUsage, "unknown command '" + name + "' (try qzreg --help)");
}
