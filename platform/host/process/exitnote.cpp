// The last word of a run that ends without a result.
#include "platform/host/process/exitnote.h"

#include <stdio.h>
#include <string.h>

#include "platform/host/report/exitstatus.h"
#include "platform/host/report/jsontext.h"

namespace qzhost {
namespace {

bool g_jsonAsked = false;
bool g_jsonPrinted = false;
std::string g_why;

}  // namespace

bool JsonAskedIn(int argc, char** argv) {
  // Only the options before the command text: the values of --trace and
  // --report stand as their own words; the words of --check-inf and --explain are theirs.
  for (int i = 1; i < argc && argv[i][0] == '-' && strcmp(argv[i], "--") != 0; ++i) {
    if (strcmp(argv[i], "--json") == 0 || strcmp(argv[i], "--report=json") == 0) return true;
    bool takesWord = strcmp(argv[i], "--trace") == 0 || strcmp(argv[i], "--report") == 0;
    if (strcmp(argv[i], "--report") == 0 && i + 1 < argc && strcmp(argv[i + 1], "json") == 0)
      return true;
    if (strcmp(argv[i], "--check-inf") == 0 || strcmp(argv[i], "--explain") == 0) {
      for (int j = i + 1; j < argc; ++j)
        if (strcmp(argv[j], "--json") == 0) return true;
      return false;
    }
    if (takesWord) ++i;
  }
  return false;
}

void AskForJson(bool asked) { g_jsonAsked = asked; }

void SayWhy(const std::string& message) {
  fprintf(stderr, "qzinst32: %s\n", message.c_str());
  if (g_why.empty()) g_why = message;
}

void NoteJsonPrinted() { g_jsonPrinted = true; }

int EndWithStatus(int status) {
  if (!g_jsonAsked || g_jsonPrinted) return status;
  if (status != kExitUsage && status != kExitMachineFailed) return status;
  printf("%s\n", JsonObject()
                     .AddNumber("status", static_cast<unsigned long>(status))
                     .Add("message", !g_why.empty()         ? g_why
                                     : status == kExitUsage ? "a usage error (standard error says "
                                                              "which); no command was run"
                                                            : "the machine cannot be used "
                                                              "(standard error says why)")
                     .Text()
                     .c_str());
  fflush(stdout);
  return status;
}

}  // namespace qzhost
