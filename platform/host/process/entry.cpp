// Host build: the process entry. Builds the command text and calls WinMain.
//
// Only what differs on the host lives in this folder. Options come before the
// command text; everything after them is joined by single spaces, as a
// Windows command line would have passed it.
#include <ctype.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "inst32/dispatch.h"
#include "inst32/orlstring.h"
#include "inst32/util32.h"
#include "platform/host/machine/failedcall.h"
#include "platform/host/machine/machine.h"
#include "platform/host/machine/prefault.h"
#include "platform/host/process/exitnote.h"
#include "platform/host/process/instance_lock.h"
#include "platform/host/process/kernel.h"
#include "platform/host/process/optionwords.h"
#include "platform/host/process/shadowroot.h"
#include "platform/host/process/tracesink.h"
#include "platform/host/registry/registry.h"
#include "platform/host/registry/regstore.h"
#include "platform/host/report/changes_format.h"
#include "platform/host/report/checkinf.h"
#include "platform/host/report/exitstatus.h"
#include "platform/host/report/report.h"
#include "platform/host/report/traceexplain.h"
#include "platform/host/report/whatif.h"
#include "platform/win32.h"

#ifndef QZ_VERSION
#define QZ_VERSION "dev"
#endif

namespace {

void PrintCommands(const COMMANDENTRY* pEntry) {
  for (; pEntry->pfnHandler != nullptr; ++pEntry) {
    printf("  %3u %-18s %s\n", static_cast<unsigned>(pEntry->dwNumber), pEntry->pszParams,
           pEntry->pszHelp);
  }
}

void PrintHelp() {
  printf(
      "Usage: qzinst32 [OPTIONS] [--] <command number> [<command parameter>]\n"
      "       qzinst32 --check-inf [--json] [--strict] FILE SECTION [PORT]\n"
      "       qzinst32 --explain [--json] [FILE|-]\n"
      "\n"
      "Runs one installation step of the Halden RT-2210 Series printer package\n"
      "against an emulated Windows machine, and exits with the step's result.\n"
      "\n"
      "Commands:\n");
  PrintCommands(GetCommandTable());
  PrintCommands(GetExtendedCommandTable());
  printf(
      "\n"
      "Options (before the command number):\n"
      "  --trace=FILE, --trace FILE\n"
      "                 append the trace to FILE instead of standard error\n"
      "                 (- for standard output)\n"
      "  --no-trace     do not write the trace\n"
      "  --quiet        do not say on standard error why a command failed\n"
      "  --what-if      run the command, print what it would change as a .reg file,\n"
      "                 and keep none of it (the machine is not touched)\n"
      "  --report json, --json\n"
      "                 print the result, this run's changes and why it failed as\n"
      "                 one JSON object\n"
      "  --wait[=SECONDS]\n"
      "                 wait up to SECONDS (60 when not given) for another instance\n"
      "                 to end, and as long for a registry that another program\n"
      "                 locks, instead of ending at once with result 256; SECONDS\n"
      "                 only after '=' (a number as the next word is refused)\n"
      "  --check-inf FILE SECTION [PORT]\n"
      "                 check a printer section as commands 2 and 3 read it, and\n"
      "                 with PORT the port and (on Windows NT) the NT driver on\n"
      "                 the machine; exit status 1 on an error (command 2 would\n"
      "                 fail, or install a file name that does not exist);\n"
      "                 --json prints the findings as JSON, --strict fails on\n"
      "                 warnings too\n"
      "  --explain [FILE|-]\n"
      "                 read a saved trace (a debug-output viewer's log, Wine's\n"
      "                 +debugstr lines or this program's standard error; - or\n"
      "                 none: standard input) and tell each run in it: command,\n"
      "                 personality, steps, result and why it failed; --json\n"
      "                 prints it as JSON; exit status 1 when it holds no run\n"
      "  -h, --help     show this help\n"
      "  -V, --version  show the version\n"
      "  --             end of options: what follows is the command text, even\n"
      "                 words that look like options of this program (without\n"
      "                 it, a word of the command text that is or is near one of\n"
      "                 these options (a slip of --what-if, say) is refused)\n"
      "\n"
      "The machine lives in $QZINST_ROOT (default ~/.qzinst32); a command creates\n"
      "it with the default Windows 98 image when there is none, and says so;\n"
      "'qzreg init --os nt' makes a Windows NT one. A failed command says why on\n"
      "standard error. Exit status: 0 on success, 120 for a usage error, 121 when\n"
      "the machine cannot be used (also a registry locked by another program);\n"
      "see README.md for the table that maps each result code to its status.\n");
}

int Refuse(const char* what, const char* arg) {
  qzhost::SayWhy(std::string(what) + " '" + arg + "' (try --help); no command was run");
  return qzhost::kExitUsage;
}

// Windows hands WinMain the text after the program name and the blanks
// (space and below) that follow it.
std::string JoinCommandText(int argc, char** argv, int first) {
  std::string text;
  for (int i = first; i < argc; ++i) {
    if (i > first) text += ' ';
    text += argv[i];
  }
  size_t start = 0;
  while (start < text.size() && static_cast<unsigned char>(text[start]) <= ' ') ++start;
  return text.substr(start);
}

struct Options {
  bool whatIf = false;
  bool report = false;
  bool quiet = false;
  bool json = false;    // --json: the report, or --check-inf's findings
  bool strict = false;  // --check-inf: warnings fail too
  int waitMs = 0;       // --wait: how long to wait for the guard and the registry
  bool wait = false;
};

const int kDefaultWaitSeconds = 60;

// The program's own option words; one of them inside the command text, or a
// word near one ("--whatif"), is almost always an option put after the
// command number by mistake.
bool IsOwnOption(const std::string& word) {
  static const char* const kWords[] = {"--what-if", "--report", "--json",    "--no-trace",
                                       "--trace",   "--quiet",  "--wait",    "--check-inf",
                                       "--strict",  "--help",   "--version", "--explain"};
  for (const char* own : kWords)
    if (qzhost::IsNearOption(word, own)) return true;
  return false;
}

// The first of the program's option words in the command text, or empty.
std::string OwnOptionIn(const std::string& text) {
  size_t i = 0;
  while (i < text.size()) {
    size_t end = text.find_first_of(" \t", i);
    if (end == std::string::npos) end = text.size();
    std::string word = text.substr(i, end - i);
    if (IsOwnOption(word)) return word;
    i = end + 1;
  }
  return {};
}

int RefuseTrailingOption(const std::string& word) {
  qzhost::SayWhy("'" + word +
                 "' stands in the command text; put options before the command number, or write "
                 "-- before the command text to pass '" +
                 word + "' on as part of it; no command was run");
  return qzhost::kExitUsage;
}

bool IsNumber(const char* text) {
  if (*text == '\0') return false;
  for (; *text != '\0'; ++text)
    if (!isdigit(static_cast<unsigned char>(*text))) return false;
  return true;
}

int RefuseWaitNumber(const char* number) {
  std::string n = number;
  qzhost::SayWhy("'--wait " + n + "' is ambiguous: write --wait=" + n + " to wait up to " + n +
                 " seconds, or --wait -- " + n + " to run command " + n +
                 " with the default wait; no command was run");
  return qzhost::kExitUsage;
}

bool ParseSeconds(const char* text, int* ms) {
  char* end = nullptr;
  errno = 0;
  long seconds = strtol(text, &end, 10);
  if (*text == '\0' || *end != '\0' || errno != 0 || seconds < 0 || seconds > 86400) return false;
  *ms = static_cast<int>(seconds * 1000);
  return true;
}

// The command number and parameter as the dispatcher splits them.
qzhost::RunFacts FactsOf(const std::string& text, unsigned result, bool whatIf) {
  qzhost::RunFacts facts;
  const char* p = text.c_str();
  while (*p != '\0' && *p != ' ') p = CharNextA(p);
  facts.command = ParseCommandNumber(text.c_str(), static_cast<int>(p - text.c_str()));
  if (*p == ' ') {
    std::string param = p + 1;
    size_t start = param.find_first_not_of(" \t\r\n\v\f");
    size_t end = param.find_last_not_of(" \t\r\n\v\f");
    if (start != std::string::npos) facts.parameter = param.substr(start, end - start + 1);
  }
  facts.result = result;
  facts.whatIf = whatIf;
  return facts;
}

bool MachineExists() { return access((qzhost::MachineRoot() + "/machine.ini").c_str(), F_OK) == 0; }

// A machine that is there lends its code page and personality and answers
// for the port; checking an INF never creates one.
int CheckInf(Options options, int argc, char** argv) {
  std::vector<const char*> args;
  for (int i = 0; i < argc; ++i) {
    if (strcmp(argv[i], "--json") == 0) {
      options.json = true;
    } else if (strcmp(argv[i], "--strict") == 0) {
      options.strict = true;
    } else {
      args.push_back(argv[i]);
    }
  }
  if (args.size() < 2 || args.size() > 3)
    return Refuse("--check-inf takes FILE SECTION [PORT], not", args.empty() ? "" : args.back());
  // Without a machine the check reads as a fresh one would (Windows 98, code
  // page 1252), and nothing asked of the machine may create it.
  bool machine = MachineExists() && !qzhost::PrepareMachine().failed();
  if (!machine) qzhost::AssumeMachineSettings(qzhost::MachineConfig());
  unsigned codePage = qzhost::Machine().codePage;
  bool isNT = qzhost::MachineIsNT();
  qzhost::InfCheck check = qzhost::CheckPrinterInf(args[0], args[1], codePage, isNT);
  if (machine) qzhost::CheckFilesOnMachine(&check);
  if (args.size() == 3 && machine) {
    qzhost::CheckPortOnMachine(args[2], &check);
  } else if (args.size() == 3) {
    check.problems.push_back(
        {qzhost::InfProblem::kWarning, 0, "",
         "there is no machine at " + qzhost::MachineRoot() + ", so the port was not checked",
         "create one with qzreg init, or set QZINST_ROOT"});
  }
  std::string text = options.json
                         ? qzhost::InfCheckJson(check, args[0], args[1], options.strict) + "\n"
                         : qzhost::FormatInfCheck(check, args[0], args[1], options.strict);
  fputs(text.c_str(), stdout);
  if (options.json) qzhost::NoteJsonPrinted();
  return check.Fails(options.strict) ? 1 : 0;
}

// Prints what the watched run changed (or would change); a run refused by
// the guard (no watch) changed nothing. False after a message when the
// comparison failed.
bool PrintChanges(qzhost::ChangeWatch* watch, const Options& options, const std::string& text,
                  const qzhost::RunFacts& facts) {
  qzhost::MachineChanges changes;
  std::string why;
  if (watch != nullptr && !watch->Finish(&changes, &why)) {
    qzhost::SayWhy(why);
    return false;
  }
  if (options.report) {
    printf("%s\n", qzhost::ReportJson(facts, changes).c_str());
    qzhost::NoteJsonPrinted();
  } else {
    const char* meaning = qzhost::ResultMeaning(facts.result);
    char note[160];
    snprintf(note, sizeof note, "result %u (0x%04X): %s", facts.result, facts.result,
             meaning ? meaning : "a result code outside the table");
    std::string header = "what-if: " + text + "\n" + note + "\nthe machine itself was not changed";
    fputs(qzhost::ChangesAsRegText(changes, header).c_str(), stdout);
  }
  return fflush(stdout) == 0;
}

// A machine that failed during the run ends it with status 121, whatever the
// command answered: its result may not have been stored.
bool ReportedMachineFault() {
  if (qzhost::MachineFault().empty()) return false;
  qzhost::SayWhy(qzhost::MachineFault());
  return true;
}

// Reads the options before the command text; -1 to go on with the run,
// else the status to exit with (help, version, --check-inf, usage errors).
int ParseOptions(int argc, char** argv, Options* options, int* first, bool* textMarked) {
  for (; *first < argc; ++*first) {
    const char* arg = argv[*first];
    std::string why;
    if (strcmp(arg, "--") == 0) {
      ++*first;
      *textMarked = true;
      return -1;
    } else if (strcmp(arg, "--help") == 0 || strcmp(arg, "-h") == 0) {
      PrintHelp();
      return 0;
    } else if (strcmp(arg, "--version") == 0 || strcmp(arg, "-V") == 0) {
      printf("qzinst32 %s (host build, emulated machine)\n", QZ_VERSION);
      return 0;
    } else if (arg[0] == '-' && arg[1] != '-' && arg[1] != '\0' &&
               !isdigit(static_cast<unsigned char>(arg[1]))) {
      return Refuse("unknown option", arg);
    } else if (strncmp(arg, "--", 2) != 0) {
      return -1;
    } else if (strcmp(arg, "--no-trace") == 0) {
      qzhost::TraceToNowhere();
    } else if (strcmp(arg, "--trace") == 0 || strncmp(arg, "--trace=", 8) == 0) {
      const char* file = arg[7] == '=' ? arg + 8 : *first + 1 < argc ? argv[++*first] : "";
      if (*file == '\0') return Refuse("--trace needs a FILE:", arg);
      if (strcmp(file, "-") == 0) {
        qzhost::TraceToStandardOutput();
      } else if (!qzhost::TraceToFile(file, &why)) {
        qzhost::SayWhy(why);
        return qzhost::kExitUsage;
      }
    } else if (strcmp(arg, "--what-if") == 0) {
      options->whatIf = true;
    } else if (strcmp(arg, "--report") == 0 || strncmp(arg, "--report=", 9) == 0) {
      const char* format = arg[8] == '=' ? arg + 9 : *first + 1 < argc ? argv[++*first] : "";
      if (strcmp(format, "json") != 0) return Refuse("unknown report format", format);
      options->report = true;
    } else if (strcmp(arg, "--json") == 0) {
      options->report = options->json = true;
    } else if (strcmp(arg, "--quiet") == 0) {
      options->quiet = true;
    } else if (strcmp(arg, "--strict") == 0) {
      options->strict = true;
    } else if (strcmp(arg, "--wait") == 0) {
      // SECONDS is taken only after '=': a number in the next word is the
      // command number to the parser, and too often meant as the seconds.
      if (*first + 1 < argc && IsNumber(argv[*first + 1]))
        return RefuseWaitNumber(argv[*first + 1]);
      options->wait = true;
      options->waitMs = kDefaultWaitSeconds * 1000;
    } else if (strncmp(arg, "--wait=", 7) == 0) {
      if (!ParseSeconds(arg + 7, &options->waitMs)) return Refuse("--wait takes SECONDS, not", arg);
      options->wait = true;
    } else if (strcmp(arg, "--explain") == 0) {
      return qzhost::ExplainCommand(argc - *first - 1, argv + *first + 1, options->json);
    } else if (strcmp(arg, "--check-inf") == 0) {
      return CheckInf(*options, argc - *first - 1, argv + *first + 1);
    } else {
      return Refuse("unknown option", arg);
    }
  }
  return -1;
}

// The INF file and section a command 2 or 3 names, as the command splits them.
qzhost::InfRef InfOf(const qzhost::RunFacts& facts) {
  qzhost::InfRef inf;
  if (facts.command != 2 && facts.command != 3) return inf;
  COrlString csInf, csSection, csPort;
  SplitInstallParameter(COrlString(facts.parameter.c_str()), &csInf, &csSection, &csPort);
  if (csSection.IsEmpty()) return inf;
  inf.command = facts.command;
  inf.file = csInf.GetString();
  inf.section = csSection.GetString();
  inf.port = csPort.GetString();
  return inf;
}

// Creates the machine for a command when there is none, and says so.
bool PrepareMachineForRun(const qzhost::ShadowRoot& shadow) {
  bool existed = MachineExists();
  qzhost::MachineError error = qzhost::PrepareMachine();
  if (error.failed()) {
    qzhost::SayWhy(error.message);
    return false;
  }
  if (shadow.active()) {
    fprintf(stderr,
            "qzinst32: no machine at %s: the what-if run works on a fresh %s machine, which is "
            "not kept\n",
            shadow.realRoot().c_str(), qzhost::MachineIsNT() ? "Windows NT" : "Windows 98");
  } else if (!existed) {
    fprintf(stderr, "qzinst32: created a %s machine at %s\n",
            qzhost::MachineIsNT() ? "Windows NT" : "Windows 98", qzhost::MachineRoot().c_str());
  }
  return true;
}

bool RereadMachineSettings() {
  qzhost::ForgetMachineSettings();
  qzhost::MachineError error = qzhost::PrepareMachine();
  if (error.failed()) fprintf(stderr, "qzinst32: %s\n", error.message.c_str());
  return !error.failed();
}

}  // namespace

namespace {

int RunProgram(int argc, char** argv);

}  // namespace

int main(int argc, char** argv) {
  qzhost::AskForJson(qzhost::JsonAskedIn(argc, argv));
  return qzhost::EndWithStatus(RunProgram(argc, argv));
}

namespace {

int RunProgram(int argc, char** argv) {
  // What every command takes, on a machine of any size: mapped in one call,
  // those pages cost a little less than their faults. More is not mapped
  // ahead: a page that no run of a small machine touches costs about what its
  // fault would cost a large one. (The program's own image is left to the
  // faults, each of which maps 64 KB of it: mapping all of it ahead cost more
  // than the two dozen faults.)
  qzhost::PrepareRunHeap(384 << 10);
  Options options;
  int first = 1;
  bool textMarked = false;
  int status = ParseOptions(argc, argv, &options, &first, &textMarked);
  if (status >= 0) return status;
  if (options.strict) return Refuse("--strict applies to --check-inf only:", "--strict");
  std::string commandText = JoinCommandText(argc, argv, first);
  std::string stray = textMarked ? "" : OwnOptionIn(commandText);
  if (!stray.empty()) return RefuseTrailingOption(stray);

  if (options.wait) qzhost::RegStore::SetLockWait(options.waitMs);
  // A what-if run makes nothing in a root that holds no machine.
  qzhost::ShadowRoot shadow;
  std::string shadowWhy;
  if (options.whatIf && !shadow.BeginIfNoMachine(&shadowWhy)) {
    fprintf(stderr, "qzinst32: %s; no command was run\n", shadowWhy.c_str());
    return qzhost::kExitMachineFailed;
  }
  if (!PrepareMachineForRun(shadow)) return qzhost::kExitMachineFailed;
  // The guard is taken before recording begins: what a report lists is then
  // this run's changes alone, and a refused run lists none.
  bool guarded = qzhost::HoldInstanceLockAhead(options.waitMs);
  // A load may have replaced the machine while this run waited: its
  // settings are read again, from the root whose lock is held now.
  if (guarded && !RereadMachineSettings()) return qzhost::kExitMachineFailed;
  // Only a run that is asked about its changes is watched.
  std::unique_ptr<qzhost::ChangeWatch> watch;
  if ((options.whatIf || options.report) && guarded) {
    watch = std::make_unique<qzhost::ChangeWatch>(
        options.whatIf ? qzhost::ChangeWatch::Mode::kWhatIf : qzhost::ChangeWatch::Mode::kReport);
    std::string why;
    if (!watch->Begin(&why)) {
      qzhost::SayWhy(why + "; no command was run");
      return qzhost::kExitMachineFailed;
    }
  }
  qzhost::ForgetFailedCalls();
  qzhost::HoldRegistryChangesForTheRun();
  qzhost::SetCommandText(commandText);
  int result = WinMain(reinterpret_cast<HINSTANCE>(1), nullptr, &commandText[0], SW_SHOWNORMAL);
  qzhost::FlushTrace();
  if (ReportedMachineFault()) return qzhost::kExitMachineFailed;
  qzhost::RunFacts facts = FactsOf(commandText, static_cast<unsigned>(result), options.whatIf);
  if (result != 0) {
    facts.failure =
        qzhost::ExplainFailure(facts.result, InfOf(facts), qzhost::LastFailedCall(),
                               qzhost::Machine().codePage, qzhost::MachineIsNT(), options.wait);
    if (!options.quiet) fprintf(stderr, "qzinst32: %s\n", facts.failure.line.c_str());
  }
  if ((options.whatIf || options.report) && !PrintChanges(watch.get(), options, commandText, facts))
    return qzhost::kExitMachineFailed;
  watch.reset();
  qzhost::CloseMachineRegistry();
  if (ReportedMachineFault()) return qzhost::kExitMachineFailed;
  return qzhost::ExitStatusForResult(static_cast<unsigned>(result));
}

}  // namespace
