// Why the host program ends without a result of its own (a usage error, a
// machine that cannot be used): said on standard error, and with --json also
// as one JSON object on standard output, so that a caller that parses the
// output finds JSON on every outcome.
#ifndef QZINST32_PLATFORM_HOST_PROCESS_EXITNOTE_H_
#define QZINST32_PLATFORM_HOST_PROCESS_EXITNOTE_H_

#include <string>

namespace qzhost {

// Whether the caller asked for JSON: "--json" or "--report json" among the
// options before the command text (or among the words of --check-inf and
// --explain).
bool JsonAskedIn(int argc, char** argv);
void AskForJson(bool asked);
// Writes "qzinst32: <message>" on standard error and keeps the message for
// the JSON object.
void SayWhy(const std::string& message);
// Notes that this run printed its JSON already (a report, the findings).
void NoteJsonPrinted();
// The exit status, after printing {"status": N, "message": "..."} on
// standard output for 120 or 121 when JSON was asked for and none printed.
int EndWithStatus(int status);

}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_PROCESS_EXITNOTE_H_
