// qzreg: creates, saves and loads the emulated machine, reads and changes
// its registry as reg.exe and the registry editor do, and lists what its
// spooler holds.
#include "tools/qzreg.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include "platform/host/machine/hostfile.h"
#include "platform/host/machine/hostutf8.h"
#include "platform/host/machine/machine.h"
#include "platform/host/registry/regfile.h"
#include "platform/host/registry/regimage.h"
#include "platform/host/registry/registry.h"
#include "platform/host/report/jsontext.h"

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

int Export(const Args& args) {
  std::string key, file;
  qzhost::RegFileVersion version = qzhost::RegFileVersion::kRegedit4;
  bool all = false, overwrite = false;
  for (const std::string& arg : args) {
    if (arg == "--v5")
      version = qzhost::RegFileVersion::kVersion5;
    else if (arg == "--all")
      all = true;
    else if (IsSwitch(arg, "y"))
      overwrite = true;
    else if (arg.compare(0, 1, "-") == 0)
      return Complain(kExitUsage, "unknown option '" + arg + "' (try qzreg export --help)");
    else if (key.empty() && !all)
      key = arg;
    else if (file.empty())
      file = arg;
    else
      return Complain(kExitUsage, "export takes one KEY and one FILE at most");
  }
  if (all && !key.empty() && file.empty()) std::swap(key, file);
  if (all && !key.empty()) return Complain(kExitUsage, "--all and a KEY exclude each other");
  if (!file.empty() && !overwrite && access(file.c_str(), F_OK) == 0)
    return Complain(kExitFailed, file + " exists; /y overwrites it (nothing was written)");
  int status = kExitOk;
  qzhost::RegStore* store = ExistingRegistry(&status);
  if (store == nullptr) return status;
  std::string text, why, bad, typed = key;
  if (!qzhost::ArgumentToCodePage(qzhost::Machine().codePage, typed, &key, &bad))
    return Complain(kExitUsage, "'" + typed + "' holds '" + bad + "', which code page " +
                                    std::to_string(qzhost::Machine().codePage) + " cannot hold");
  DWORD error = all ? qzhost::ExportAllRegText(store, version, &text, &why)
                    : qzhost::ExportRegText(store, key, version, &text, &why);
  if (error != ERROR_SUCCESS && !qzhost::MachineFault().empty())
    return CheckMachineFault(kExitFailed);  // a damaged machine says so once
  if (error != ERROR_SUCCESS) return CheckMachineFault(Complain(kExitFailed, why));
  if (!file.empty()) {
    // reg export: the file whole or not at all.
    if (!qzhost::WriteFileAtomically(file, text, &why)) return Complain(kExitFailed, why);
    Inform("The operation completed successfully.\n");
    return kExitOk;
  }
  fwrite(text.data(), 1, text.size(), stdout);
  return fflush(stdout) == 0 ? kExitOk : Complain(kExitFailed, "cannot write the output");
}

bool ReadStandardInput(std::string* text) {
  char buffer[65536];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, stdin)) > 0) text->append(buffer, n);
  return ferror(stdin) == 0;
}

// An 8-bit .reg file that declares UTF-8 (its byte-order mark), or is UTF-8
// where the locale speaks it, taken into the machine's code page line by
// line; false with *why naming the line of a character the code page cannot
// hold. UTF-16 files and the code page's own text pass as they are.
bool RegTextForMachine(std::string* text, std::string* why) {
  static const char kBom[] = "\xEF\xBB\xBF";
  bool declared = text->compare(0, 3, kBom) == 0;
  bool utf16 = text->size() >= 2 && ((*text)[0] == '\xFF' || (*text)[0] == '\xFE');
  if (!declared && (utf16 || !qzhost::HostSpeaksUtf8() || !qzhost::IsNonAsciiUtf8(*text)))
    return true;
  if (declared) text->erase(0, 3);
  unsigned codePage = qzhost::Machine().codePage;
  std::string out;
  size_t line = 1;
  for (size_t at = 0; at < text->size(); ++line) {
    size_t end = text->find('\n', at);
    end = end == std::string::npos ? text->size() : end + 1;
    std::string converted, bad;
    if (!qzhost::Utf8ToCodePage(codePage, text->substr(at, end - at), &converted, &bad)) {
      *why = "line " + std::to_string(line) + ": '" + bad + "' is no character of code page " +
             std::to_string(codePage) + " (the file is read as UTF-8)";
      return false;
    }
    out += converted;
    at = end;
  }
  *text = out;
  return true;
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
  std::string name = file == "-" ? "standard input" : file;
  if (!RegTextForMachine(&text, &why))
    return Complain(kExitFailed, name + " " + why + "; nothing was imported");
  qzhost::RegFileError error;
  qzhost::RegImportSummary summary;
  if (qzhost::ImportRegText(store, text, &error, &summary) != ERROR_SUCCESS) {
    std::string where = error.line ? " line " + std::to_string(error.line) : std::string();
    return CheckMachineFault(Complain(
        kExitFailed,
        name + where + ": " + error.message + "; nothing was imported" + ReadOnlyRootNote()));
  }
  for (const std::string& warning : summary.warnings) Complain(kExitOk, "warning: " + warning);
  Inform("Imported %s: %s\n", name.c_str(), summary.Text().c_str());
  return kExitOk;
}

int Help(const Args& args);

const Subcommand kSubcommands[] = {
    {"init", Init,
     "init [--os win98|nt] [--codepage 1252|932] [--bare | --from IMAGE] [--force] "
     "[--wait[=SECONDS]]",
     "create a machine: the OS's default image, an empty\n"
     "registry (--bare) or a copy of a saved image (which\n"
     "holds its own OS and code page); --force replaces\n"
     "the machine there; --wait as for load"},
    {"save", Save, "save IMAGE [--wait[=SECONDS]]",
     "write the whole machine into one image file, as it\n"
     "is between two commands"},
    {"load", Load, "load IMAGE [--wait[=SECONDS]]",
     "replace the machine with a saved image, all at once,\n"
     "when no command runs on it (--wait: wait up to\n"
     "SECONDS, 60 without a number, for one that does)"},
    {"query", Query, "query KEY [/v NAME | /ve | /f PATTERN [/k | /d] [/c] [/e]] [/s] [--json]",
     "show a value, or a key's values and subkeys (/s: the\n"
     "whole tree); status 1 when absent; /ve of a key with\n"
     "no default value shows (value not set); /f finds keys\n"
     "and values whose name or data hold PATTERN (/k keys,\n"
     "/d data only, /c case, /e whole)"},
    {"add", Add, "add KEY [/v NAME | /ve] [/t TYPE] [/s SEP] [/d DATA] [/f]",
     "create a key, or set a value (/f: overwrite one)"},
    {"delete", Delete, "delete KEY [/v NAME | /ve | /va] [/f]",
     "delete a key with its tree, or values (/f: without asking)"},
    {"export", Export, "export [KEY | --all] [FILE [/y]] [--v5]",
     "write KEY (default HKEY_LOCAL_MACHINE) or every root\n"
     "as REGEDIT4, or with --v5 as 5.00 in UTF-16, to\n"
     "standard output or to FILE (/y: overwrite it)"},
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

namespace {

// What --json prints for a run that ends with 120 or 121.
struct JsonEnd {
  bool asked = false;
  bool printed = false;
  std::string why;
};
JsonEnd g_jsonEnd;

int EndWithStatus(int status) {
  if (!g_jsonEnd.asked || g_jsonEnd.printed || (status != kExitUsage && status != kExitMachine))
    return status;
  printf("%s\n", qzhost::JsonObject()
                     .AddNumber("status", static_cast<unsigned long>(status))
                     .Add("message", g_jsonEnd.why)
                     .Text()
                     .c_str());
  fflush(stdout);
  return status;
}

}  // namespace

int Complain(int status, const std::string& message) {
  fprintf(stderr, "qzreg: %s\n", message.c_str());
  if ((status == kExitUsage || status == kExitMachine) && g_jsonEnd.why.empty())
    g_jsonEnd.why = message;
  return status;
}

void NoteJsonPrinted() { g_jsonEnd.printed = true; }

void Inform(const char* format, ...) {
  va_list args;
  va_start(args, format);
  vfprintf(stderr, format, args);
  va_end(args);
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

namespace {

int RunCommand(int argc, char** argv);

}  // namespace
}  // namespace qzreg

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (strcmp(argv[i], "--json") == 0) qzreg::g_jsonEnd.asked = true;
  return qzreg::EndWithStatus(qzreg::RunCommand(argc, argv));
}

namespace qzreg {
namespace {

int RunCommand(int argc, char** argv) {
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

}  // namespace
}  // namespace qzreg
