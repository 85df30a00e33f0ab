// qzreg: the emulated machine's registry and spooler, for people.
#ifndef QZINST32_TOOLS_QZREG_H_
#define QZINST32_TOOLS_QZREG_H_

#include <string>
#include <vector>

namespace qzreg {

// Exit statuses of the tool.
const int kExitOk = 0;
const int kExitFailed = 1;   // the command could not be done (bad .reg file, missing key)
const int kExitUsage = 2;    // unknown subcommand or option
const int kExitMachine = 3;  // the machine or its registry cannot be used

typedef std::vector<std::string> Args;

// Prints "qzreg: <message>" on standard error and returns `status`.
int Complain(int status, const std::string& message);

// The listings (qzreg_listings.cpp); each prints a table on standard output,
// or with --json a JSON array of objects, one per row.
int ListPrinters(const Args& args);
int ListDrivers(const Args& args);
int ListMonitors(const Args& args);
int ListProcessors(const Args& args);
int ListPorts(const Args& args);

}  // namespace qzreg

#endif  // QZINST32_TOOLS_QZREG_H_
