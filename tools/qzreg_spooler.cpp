// qzreg's spooler administration: drivers, printers, the default printer,
// ports and monitors added and removed through the emulated winspool calls,
// so that the rules, file checks and error numbers of the program's own
// calls apply (what printui, prndrvr.vbs and prnport.vbs do on Windows).
#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "platform/host/machine/failedcall.h"
#include "platform/host/machine/machine.h"
#include "platform/host/report/jsontext.h"
#include "platform/host/report/win32errors.h"
#include "platform/host/spooler/spooler_admin.h"
#include "platform/host/spooler/spooler_usage.h"
#include "platform/win32.h"
#include "tools/qzreg.h"

namespace qzreg {
namespace {

const char kEnvNT[] = "Windows NT x86";

// The options of one verb: NAME, value options (`--driver FILE`), repeated
// ones (`--dependent FILE`) and switches (`--default`).
struct VerbLine {
  std::string verb;  // "driver add"
  std::string name;
  std::vector<std::pair<std::string, std::string>> values;
  std::vector<std::string> switches;
  bool json = false;

  const std::string* Value(const char* option) const {
    for (const auto& v : values)
      if (v.first == option) return &v.second;
    return nullptr;
  }
  std::string ValueOr(const char* option, const char* fallback) const {
    const std::string* v = Value(option);
    return v ? *v : fallback;
  }
  bool Has(const char* option) const {
    for (const std::string& s : switches)
      if (s == option) return true;
    return false;
  }
};

// Reads `args` (after the sub-verb) by the verb's lists: `valued` and
// `flags` are space-separated option words; `repeated` options may come
// more than once. kExitOk, or the usage status after a message.
int ParseVerbLine(const Args& args, const std::string& verb, const std::string& valued,
                  const std::string& repeated, const std::string& flags, VerbLine* line) {
  auto in = [](const std::string& list, const std::string& word) {
    return (" " + list + " ").find(" " + word + " ") != std::string::npos;
  };
  line->verb = verb;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--json") {
      line->json = true;
    } else if ((in(valued, a) || in(repeated, a)) && i + 1 < args.size()) {
      if (!in(repeated, a) && line->Value(a.c_str()))
        return Complain(kExitUsage, a + " given twice (try qzreg " + verb + " --help)");
      line->values.emplace_back(a, args[++i]);
    } else if (in(flags, a)) {
      line->switches.push_back(a);
    } else if (line->name.empty() && !a.empty() && a[0] != '-') {
      line->name = a;
    } else {
      return Complain(kExitUsage, "invalid argument '" + a + "' (try qzreg " + verb + " --help)");
    }
  }
  if (line->name.empty()) return Complain(kExitUsage, verb + " needs a NAME");
  return kExitOk;
}

int NeedOptions(const VerbLine& line, const std::vector<const char*>& required) {
  for (const char* option : required)
    if (!line.Value(option))
      return Complain(kExitUsage,
                      line.verb + " needs " + option + " (try qzreg " + line.verb + " --help)");
  return kExitOk;
}

// What to check next after a refusal, where the error says it.
std::string NextStep(const VerbLine& line, unsigned long code) {
  using namespace qzhost::spool;
  if (code == ERROR_PRINTER_DRIVER_IN_USE) {
    std::string printer = PrinterWithDriver(line.name);
    return "printer \"" + printer + "\" uses it; delete it first with qzreg printer delete \"" +
           printer + "\"";
  }
  if (code == ERROR_BUSY) {
    std::string printer = PrinterOnPort(line.name);
    return "printer \"" + printer +
           "\" prints to it; delete it first with qzreg printer delete \"" + printer + "\"";
  }
  if (code == ERROR_PRINT_MONITOR_IN_USE)
    return "a printer prints to one of its ports, or an installed driver names it as its "
           "language monitor";
  if (code == ERROR_UNKNOWN_PRINTER_DRIVER && line.verb == "printer add")
    return "install it first with qzreg driver add";
  if (code == ERROR_UNKNOWN_PORT && line.verb == "printer add")
    return "create it first with qzreg port add";
  if (line.verb == "port add" && line.Value("--tcpip")) {
    if (!qzhost::MachineIsNT()) return "Windows 98 has no Standard TCP/IP Port monitor";
    if (code == ERROR_UNKNOWN_PRINT_MONITOR)
      return "install it first with qzreg monitor add \"Standard TCP/IP Port\" --dll tcpmon.dll";
  }
  return {};
}

// Prints the outcome: a line for people, or with --json one object. A
// refusal names the call, its error and the object, as qzinst32's failure
// line does.
int Outcome(const VerbLine& line, bool done, const std::string& what) {
  const qzhost::FailedCall* call = done ? nullptr : qzhost::LastFailedCall();
  qzhost::JsonObject out;
  out.Add("command", line.verb).Add("name", line.name).AddBool("done", done);
  if (done) {
    if (line.json)
      printf("%s\n", out.AddRaw("error", "null").Text().c_str());
    else
      printf("%s\n", what.c_str());
    return kExitOk;
  }
  std::string message = line.verb + " \"" + line.name + "\" was not done";
  qzhost::JsonObject error;
  if (call != nullptr) {
    std::string meaning = qzhost::Win32ErrorMeaning(call->error, call->kind, call->object);
    message += ": " + call->call + " failed with " + std::to_string(call->error) + " " +
               qzhost::Win32ErrorName(call->error) + " (" + meaning + ")";
    std::string next = NextStep(line, call->error);
    if (!next.empty()) message += "; " + next;
    error.Add("call", call->call)
        .AddNumber("code", call->error)
        .Add("name", qzhost::Win32ErrorName(call->error))
        .Add("meaning", meaning);
  } else {
    error.AddRaw("call", "null").AddRaw("code", "null").AddRaw("name", "null");
    error.Add("meaning", "not done");
  }
  error.Add("message", message);
  if (line.json) printf("%s\n", out.AddRaw("error", error.Text()).Text().c_str());
  return CheckMachineFault(Complain(kExitFailed, message));
}

// Opens the machine for a change; null after a message (*status set).
bool OpenMachine(int* status) {
  qzhost::ForgetFailedCalls();
  return ExistingRegistry(status) != nullptr;
}

LPSTR Str(const std::string& s) { return const_cast<LPSTR>(s.c_str()); }
LPSTR StrOrNull(const std::string* s) { return s ? const_cast<LPSTR>(s->c_str()) : nullptr; }

int DriverAdd(const Args& args) {
  VerbLine line;
  if (int status = ParseVerbLine(args, "driver add",
                                 "--environment --driver --data --config --help --monitor "
                                 "--datatype",
                                 "--dependent", "", &line))
    return status;
  if (int status = NeedOptions(line, {"--environment", "--driver", "--data", "--config"}))
    return status;
  int status = kExitOk;
  if (!OpenMachine(&status)) return status;
  std::string env = *line.Value("--environment");
  std::string dependents;  // a multi-string: each name and its NUL, then one more
  for (const auto& v : line.values)
    if (v.first == "--dependent") dependents += v.second + '\0';
  dependents += '\0';
  DRIVER_INFO_3A info = {};
  // NT takes the version from the environment; Windows 98 keeps the INF's 0x400.
  info.cVersion = env == kEnvNT ? 3 : 0x400;
  info.pName = Str(line.name);
  info.pEnvironment = Str(env);
  info.pDriverPath = StrOrNull(line.Value("--driver"));
  info.pDataFile = StrOrNull(line.Value("--data"));
  info.pConfigFile = StrOrNull(line.Value("--config"));
  info.pHelpFile = StrOrNull(line.Value("--help"));
  info.pDependentFiles = dependents.size() > 1 ? &dependents[0] : nullptr;
  info.pMonitorName = StrOrNull(line.Value("--monitor"));
  info.pDefaultDataType = StrOrNull(line.Value("--datatype"));
  bool done = AddPrinterDriverA(nullptr, 3, reinterpret_cast<LPBYTE>(&info)) != FALSE;
  return Outcome(line, done, "Added driver \"" + line.name + "\" (" + env + ")");
}

int DriverDelete(const Args& args) {
  VerbLine line;
  if (int status = ParseVerbLine(args, "driver delete", "--environment", "", "", &line))
    return status;
  int status = kExitOk;
  if (!OpenMachine(&status)) return status;
  const std::string* env = line.Value("--environment");
  bool done = DeletePrinterDriverA(nullptr, StrOrNull(env), Str(line.name)) != FALSE;
  return Outcome(line, done,
                 "Deleted driver \"" + line.name + "\"" + (env ? " (" + *env + ")" : ""));
}

// Makes the printer the default: SetDefaultPrinterA where Windows has it
// (NT), and on Windows 98 WIN.INI [windows] device=, as its Printers folder
// writes it.
bool MakeDefault(const std::string& name) {
  if (qzhost::MachineIsNT()) return SetDefaultPrinterA(name.c_str()) != FALSE;
  DWORD error = qzhost::spool::MakeDefaultPrinter(name);
  if (error == ERROR_SUCCESS) return true;
  qzhost::NoteFailedCall("WriteProfileStringA", error, "printer", name);
  return false;
}

int PrinterAdd(const Args& args) {
  VerbLine line;
  if (int status = ParseVerbLine(args, "printer add", "--driver --port --processor --datatype", "",
                                 "--default", &line))
    return status;
  if (int status = NeedOptions(line, {"--driver", "--port"})) return status;
  int status = kExitOk;
  if (!OpenMachine(&status)) return status;
  std::string driver = *line.Value("--driver"), port = *line.Value("--port");
  std::string processor = line.ValueOr("--processor", "WinPrint");
  std::string datatype = line.ValueOr("--datatype", "RAW");
  PRINTER_INFO_2A info = {};
  info.pPrinterName = Str(line.name);
  info.pPortName = Str(port);
  info.pDriverName = Str(driver);
  info.pPrintProcessor = Str(processor);
  info.pDatatype = Str(datatype);
  info.Priority = 1;
  HANDLE hPrinter = AddPrinterA(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
  bool done = hPrinter != nullptr;
  if (done) ClosePrinter(hPrinter);
  if (done && line.Has("--default")) done = MakeDefault(line.name);
  return Outcome(line, done,
                 "Added printer \"" + line.name + "\" on " + port +
                     (line.Has("--default") ? ", the default printer" : ""));
}

int PrinterDelete(const Args& args) {
  VerbLine line;
  if (int status = ParseVerbLine(args, "printer delete", "", "", "", &line)) return status;
  int status = kExitOk;
  if (!OpenMachine(&status)) return status;
  HANDLE hPrinter = nullptr;
  bool done = OpenPrinterA(Str(line.name), &hPrinter, nullptr) != FALSE;
  if (done) {
    done = DeletePrinter(hPrinter) != FALSE;
    ClosePrinter(hPrinter);
  }
  return Outcome(line, done, "Deleted printer \"" + line.name + "\"");
}

// "HOST[:PORT]": the port number defaults to 9100, the raw printing port.
bool SplitHost(const std::string& text, std::string* host, DWORD* number) {
  size_t colon = text.rfind(':');
  *host = text.substr(0, colon);
  *number = 9100;
  if (colon == std::string::npos) return !host->empty();
  char* end = nullptr;
  unsigned long n = strtoul(text.c_str() + colon + 1, &end, 10);
  if (*end != '\0' || colon + 1 == text.size() || n == 0 || n > 65535) return false;
  *number = static_cast<DWORD>(n);
  return !host->empty();
}

int PortAdd(const Args& args) {
  VerbLine line;
  if (int status = ParseVerbLine(args, "port add", "--tcpip", "", "", &line)) return status;
  std::string host;
  DWORD number = 0;
  const std::string* tcpip = line.Value("--tcpip");
  if (tcpip && !SplitHost(*tcpip, &host, &number))
    return Complain(kExitUsage,
                    "--tcpip takes HOST[:PORT] with PORT 1-65535, not '" + *tcpip + "'");
  int status = kExitOk;
  if (!OpenMachine(&status)) return status;
  bool done;
  if (tcpip) {
    done = qzhost::spool::AddStandardTcpIpPort(line.name, host, number) == ERROR_SUCCESS;
  } else {
    PORT_INFO_1A info = {Str(line.name)};
    done = AddPortExA(nullptr, 1, reinterpret_cast<LPBYTE>(&info),
                      const_cast<LPSTR>("Local Port")) != FALSE;
  }
  return Outcome(line, done,
                 "Added port \"" + line.name + "\"" +
                     (tcpip ? " to " + host + ":" + std::to_string(number) : ""));
}

int PortDelete(const Args& args) {
  VerbLine line;
  if (int status = ParseVerbLine(args, "port delete", "", "", "", &line)) return status;
  int status = kExitOk;
  if (!OpenMachine(&status)) return status;
  bool done = DeletePortA(nullptr, nullptr, Str(line.name)) != FALSE;
  return Outcome(line, done, "Deleted port \"" + line.name + "\"");
}

int MonitorAdd(const Args& args) {
  VerbLine line;
  if (int status = ParseVerbLine(args, "monitor add", "--dll", "", "", &line)) return status;
  if (int status = NeedOptions(line, {"--dll"})) return status;
  int status = kExitOk;
  if (!OpenMachine(&status)) return status;
  MONITOR_INFO_2A info = {Str(line.name), nullptr, Str(*line.Value("--dll"))};
  bool done = AddMonitorA(nullptr, 2, reinterpret_cast<LPBYTE>(&info)) != FALSE;
  return Outcome(line, done, "Added monitor \"" + line.name + "\" (" + *line.Value("--dll") + ")");
}

int MonitorDelete(const Args& args) {
  VerbLine line;
  if (int status = ParseVerbLine(args, "monitor delete", "", "", "", &line)) return status;
  int status = kExitOk;
  if (!OpenMachine(&status)) return status;
  bool done = DeleteMonitorA(nullptr, nullptr, Str(line.name)) != FALSE;
  return Outcome(line, done, "Deleted monitor \"" + line.name + "\"");
}

struct SubVerb {
  const char* name;
  int (*handler)(const Args& args);
};

const char kDriverHelp[] =
    "Usage: qzreg driver add NAME --environment ENV --driver FILE --data FILE --config FILE\n"
    "                   [--help FILE] [--dependent FILE]... [--monitor NAME] [--datatype TYPE]\n"
    "                   [--json]\n"
    "       qzreg driver delete NAME [--environment ENV] [--json]\n\n"
    "Adds a printer driver through AddPrinterDriverA (level 3), or deletes one through\n"
    "DeletePrinterDriverA. ENV is \"Windows 4.0\" or, on Windows NT, \"Windows NT x86\"\n"
    "(the environment an NT printer needs). The files are named as the spooler takes\n"
    "them: put them into the printer-driver directory first. A driver that a printer\n"
    "uses is not deleted (3001, ERROR_PRINTER_DRIVER_IN_USE).\n";
const char kPrinterHelp[] =
    "Usage: qzreg printer add NAME --driver NAME --port PORT [--processor NAME]\n"
    "                   [--datatype TYPE] [--default] [--json]\n"
    "       qzreg printer delete NAME [--json]\n\n"
    "Adds a printer through AddPrinterA (print processor WinPrint and data type RAW\n"
    "unless given; --default makes it the default printer), or deletes one through\n"
    "OpenPrinterA and DeletePrinter. Deleting the default printer makes the first\n"
    "other printer the default.\n";
const char kDefaultHelp[] =
    "Usage: qzreg default NAME [--json]\n\n"
    "Makes the printer the default: SetDefaultPrinterA on Windows NT; on Windows 98,\n"
    "which has no such call, WIN.INI [windows] device= as its Printers folder writes it.\n";
const char kPortHelp[] =
    "Usage: qzreg port add NAME [--tcpip HOST[:PORT]] [--json]\n"
    "       qzreg port delete NAME [--json]\n\n"
    "Adds a port of the Local Port monitor through AddPortExA, or with --tcpip a\n"
    "Standard TCP/IP port (RAW, PORT 9100 unless given) on Windows NT, where the\n"
    "\"Standard TCP/IP Port\" monitor must be installed; Windows 98 has no such\n"
    "monitor and refuses (87). Deletes a port through DeletePortA; a port that a\n"
    "printer prints to is not deleted (170, ERROR_BUSY).\n";
const char kMonitorHelp[] =
    "Usage: qzreg monitor add NAME --dll FILE [--json]\n"
    "       qzreg monitor delete NAME [--json]\n\n"
    "Adds a print monitor through AddMonitorA (put its DLL into the system directory\n"
    "first), or deletes one through DeleteMonitorA: not while a printer prints to one\n"
    "of its ports or a driver names it (3008, ERROR_PRINT_MONITOR_IN_USE). A missing\n"
    "monitor is 3000 on Windows NT and 87 on Windows 98.\n";

bool AsksHelp(const Args& args) {
  for (size_t i = 0; i < args.size(); ++i)
    if ((args[i] == "--help" && (i + 1 == args.size() || args[i + 1][0] == '-')) || args[i] == "-h")
      return true;
  return false;
}

int RunSubVerb(const char* command, const Args& args, const SubVerb* verbs, size_t count,
               const char* help) {
  if (AsksHelp(args) || (!args.empty() && args[0] == "help")) {
    fputs(help, stdout);
    return kExitOk;
  }
  if (args.empty())
    return Complain(kExitUsage, std::string(command) + " needs add or delete (try qzreg " +
                                    command + " --help)");
  for (size_t i = 0; i < count; ++i)
    if (args[0] == verbs[i].name) return verbs[i].handler(Args(args.begin() + 1, args.end()));
  return Complain(kExitUsage, "unknown verb '" + args[0] + "' (try qzreg " + command + " --help)");
}

}  // namespace

bool OwnsHelpOption(const std::string& command) {
  return command == "driver" || command == "printer" || command == "default" || command == "port" ||
         command == "monitor";
}

int Driver(const Args& args) {
  static const SubVerb kVerbs[] = {{"add", DriverAdd}, {"delete", DriverDelete}};
  return RunSubVerb("driver", args, kVerbs, 2, kDriverHelp);
}

int Printer(const Args& args) {
  static const SubVerb kVerbs[] = {{"add", PrinterAdd}, {"delete", PrinterDelete}};
  return RunSubVerb("printer", args, kVerbs, 2, kPrinterHelp);
}

int Port(const Args& args) {
  static const SubVerb kVerbs[] = {{"add", PortAdd}, {"delete", PortDelete}};
  return RunSubVerb("port", args, kVerbs, 2, kPortHelp);
}

int Monitor(const Args& args) {
  static const SubVerb kVerbs[] = {{"add", MonitorAdd}, {"delete", MonitorDelete}};
  return RunSubVerb("monitor", args, kVerbs, 2, kMonitorHelp);
}

int Default(const Args& args) {
  if (AsksHelp(args)) {
    fputs(kDefaultHelp, stdout);
    return kExitOk;
  }
  VerbLine line;
  if (int status = ParseVerbLine(args, "default", "", "", "", &line)) return status;
  int status = kExitOk;
  if (!OpenMachine(&status)) return status;
  return Outcome(line, MakeDefault(line.name), "\"" + line.name + "\" is the default printer");
}

}  // namespace qzreg
