// Host build: the process entry. Builds the command text and calls WinMain.
//
// Only what differs on the host lives in this folder. Options come before the
// command text; everything after them is joined by single spaces, as a
// Windows command line would have passed it.
#include <stdio.h>
#include <string.h>

#include <string>

#include "inst32/dispatch.h"
#include "platform/host/exitstatus.h"
#include "platform/host/machine.h"
#include "platform/host/tracesink.h"
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

}  // namespace

int main(int argc, char** argv) {
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
  int result = WinMain(reinterpret_cast<HINSTANCE>(1), nullptr, &commandText[0], SW_SHOWNORMAL);
  if (!qzhost::MachineFault().empty()) {
    fprintf(stderr, "qzinst32: %s\n", qzhost::MachineFault().c_str());
    return qzhost::kExitMachineFailed;
  }
  return qzhost::ExitStatusForResult(static_cast<unsigned>(result));
}
