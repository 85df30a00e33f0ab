// Host build: the process entry. Builds the command text and calls WinMain.
//
// Only what differs on the host lives in this folder. Options come before the
// command text; everything after them is joined by single spaces, as a
// Windows command line would have passed it.
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "inst32/dispatch.h"
#include "platform/host/machine/machine.h"
#include "platform/host/machine/prefault.h"
#include "platform/host/process/tracesink.h"
#include "platform/host/registry/registry.h"
#include "platform/host/report/changes_format.h"
#include "platform/host/report/checkinf.h"
#include "platform/host/report/exitstatus.h"
#include "platform/host/report/report.h"
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
      "Usage: qzinst32 [OPTIONS] <command number> [<command parameter>]\n"
      "\n"
      "Runs one installation step of the Halden RT-2210 Series printer package\n"
      "against an emulated Windows machine, and exits with the step's result.\n"
      "\n"
      "Commands:\n");
  PrintCommands(GetCommandTable());
  PrintCommands(GetExtendedCommandTable());
  printf(
      "\n"
      "Options:\n"
      "  --trace=FILE   append the trace to FILE instead of standard error\n"
      "  --no-trace     do not write the trace\n"
      "  --what-if      run the command on a copy of the machine and print what it\n"
      "                 would change, as a .reg file (the machine is not touched)\n"
      "  --report json  print the result and the changes made as one JSON object\n"
      "  --check-inf FILE SECTION\n"
      "                 check a printer section as commands 2 and 3 read it; exit\n"
      "                 status 1 when command 2 would fail\n"
      "  --help         show this help\n"
      "  --version      show the version\n"
      "  --             end of options\n"
      "\n"
      "The machine lives in $QZINST_ROOT (default ~/.qzinst32) and is created with\n"
      "the default Windows 98 image on first use; 'qzreg init --os nt' makes a\n"
      "Windows NT one. Exit status: 0 on success; see README.md for the table\n"
      "that maps each result code to its status.\n");
}

int Refuse(const char* what, const char* arg) {
  fprintf(stderr, "qzinst32: %s '%s' (try --help); no command was run\n", what, arg);
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
};

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

// A machine that is there lends its code page and personality; checking an
// INF never creates one.
int CheckInf(const char* file, const char* section) {
  unsigned codePage = 1252;
  bool isNT = false;
  if (access((qzhost::MachineRoot() + "/machine.ini").c_str(), F_OK) == 0 &&
      !qzhost::PrepareMachine().failed()) {
    codePage = qzhost::Machine().codePage;
    isNT = qzhost::MachineIsNT();
  }
  qzhost::InfCheck check = qzhost::CheckPrinterInf(file, section, codePage, isNT);
  fputs(qzhost::FormatInfCheck(check, file, section).c_str(), stdout);
  return check.Command2Fails() ? 1 : 0;
}

// Prints what the watched run changed (or would change); false after a
// message when the comparison failed.
bool PrintChanges(qzhost::ChangeWatch* watch, const Options& options, const std::string& text,
                  unsigned result) {
  qzhost::MachineChanges changes;
  std::string why;
  if (!watch->Finish(&changes, &why)) {
    fprintf(stderr, "qzinst32: %s\n", why.c_str());
    return false;
  }
  qzhost::RunFacts facts = FactsOf(text, result, options.whatIf);
  if (options.report) {
    printf("%s\n", qzhost::ReportJson(facts, changes).c_str());
  } else {
    const char* meaning = qzhost::ResultMeaning(result);
    char note[160];
    snprintf(note, sizeof note, "result %u (0x%04X): %s", result, result,
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
  fprintf(stderr, "qzinst32: %s\n", qzhost::MachineFault().c_str());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  qzhost::PrefaultProgramImage();
  // About what a command takes on a machine of 500,000 keys; a small
  // machine's run takes less, and mapping the rest ahead costs little.
  qzhost::PrepareRunHeap(1 << 20);
  Options options;
  int first = 1;
  for (; first < argc && strncmp(argv[first], "--", 2) == 0; ++first) {
    const char* arg = argv[first];
    std::string why;
    if (strcmp(arg, "--") == 0) {
      ++first;
      break;
    } else if (strcmp(arg, "--help") == 0) {
      PrintHelp();
      return 0;
    } else if (strcmp(arg, "--version") == 0) {
      printf("qzinst32 %s (host build, emulated machine)\n", QZ_VERSION);
      return 0;
    } else if (strcmp(arg, "--no-trace") == 0) {
      qzhost::TraceToNowhere();
    } else if (strncmp(arg, "--trace=", 8) == 0 && arg[8] != '\0') {
      if (!qzhost::TraceToFile(arg + 8, &why)) {
        fprintf(stderr, "qzinst32: %s\n", why.c_str());
        return qzhost::kExitUsage;
      }
    } else if (strcmp(arg, "--what-if") == 0) {
      options.whatIf = true;
    } else if (strcmp(arg, "--report") == 0 || strncmp(arg, "--report=", 9) == 0) {
      const char* format = arg[8] == '=' ? arg + 9 : first + 1 < argc ? argv[++first] : "";
      if (strcmp(format, "json") != 0) return Refuse("unknown report format", format);
      options.report = true;
    } else if (strcmp(arg, "--check-inf") == 0) {
      if (argc - first != 3) return Refuse("--check-inf takes FILE and SECTION, not", arg);
      return CheckInf(argv[first + 1], argv[first + 2]);
    } else {
      return Refuse("unknown option", arg);
    }
  }

  qzhost::MachineError error = qzhost::PrepareMachine();
  if (error.failed()) {
    fprintf(stderr, "qzinst32: %s\n", error.message.c_str());
    return qzhost::kExitMachineFailed;
  }
  std::string commandText = JoinCommandText(argc, argv, first);
  // Only a run that is asked about its changes pays for a snapshot.
  std::unique_ptr<qzhost::ChangeWatch> watch;
  if (options.whatIf || options.report) {
    watch = std::make_unique<qzhost::ChangeWatch>(
        options.whatIf ? qzhost::ChangeWatch::Mode::kWhatIf : qzhost::ChangeWatch::Mode::kReport);
    std::string why;
    if (!watch->Begin(&why)) {
      fprintf(stderr, "qzinst32: %s; no command was run\n", why.c_str());
      return qzhost::kExitMachineFailed;
    }
  }
  qzhost::HoldRegistryChangesForTheRun();
  int result = WinMain(reinterpret_cast<HINSTANCE>(1), nullptr, &commandText[0], SW_SHOWNORMAL);
  qzhost::FlushTrace();
  if (ReportedMachineFault()) return qzhost::kExitMachineFailed;
  if (watch && !PrintChanges(watch.get(), options, commandText, static_cast<unsigned>(result)))
    return qzhost::kExitMachineFailed;
  watch.reset();
  qzhost::CloseMachineRegistry();
  if (ReportedMachineFault()) return qzhost::kExitMachineFailed;
  return qzhost::ExitStatusForResult(static_cast<unsigned>(result));
}
