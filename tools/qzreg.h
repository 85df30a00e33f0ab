// qzreg: the emulated machine's registry and spooler, for people.
#ifndef QZINST32_TOOLS_QZREG_H_
#define QZINST32_TOOLS_QZREG_H_

#include <string>
#include <vector>

#include "platform/host/registry/regstore.h"

namespace qzreg {

// Exit statuses, shared with qzinst32 where they mean the same.
const int kExitOk = 0;
const int kExitFailed = 1;     // not done, or not there (a missing key or value, a bad .reg file)
const int kExitUsage = 120;    // unknown command or option; nothing was done
const int kExitMachine = 121;  // no machine at the root, or its registry cannot be used

typedef std::vector<std::string> Args;

// Prints "qzreg: <message>" on standard error and returns `status`.
int Complain(int status, const std::string& message);
// Notes that the command printed its JSON (a listing, a query): a failure
// after it adds none of its own.
void NoteJsonPrinted();

// Prints an informational line ("Created ...", "Imported ...") on standard
// error, so that standard output carries only data and JSON.
void Inform(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The current machine's registry, or null after a message (*status set). A
// root without a machine is refused, never filled with a new one.
qzhost::RegStore* ExistingRegistry(int* status);

// A fault of the machine's storage overrides the command's own status.
int CheckMachineFault(int status);

// "the registry refused the change (error N)", saying so where the machine
// root cannot be written at all; and that note alone, or "" (qzreg_refused.cpp).
std::string RefusedChange(DWORD error);
std::string ReadOnlyRootNote();

// True when `arg` is the switch `name` ("/v" or "-v", any case).
bool IsSwitch(const std::string& arg, const char* name);

// The listings (qzreg_listings.cpp); each prints a table on standard output,
// or with --json a JSON array of objects, one per row. An optional NAME with
// wildcards (* ? [...]) keeps the rows whose name matches.
int ListPrinters(const Args& args);
int ListDrivers(const Args& args);
int ListMonitors(const Args& args);
int ListProcessors(const Args& args);
int ListPorts(const Args& args);

// Value types (qzreg_types.cpp): the SDK's name ("REG_QWORD"; "REG_0x1A"
// for a type Windows does not name), a type by its name in any case, and the
// data as reg.exe shows it (numbers in hexadecimal, strings as they are,
// other data as hexadecimal bytes).
std::string RegTypeName(DWORD type);
bool RegTypeByName(const std::string& name, DWORD* type);
std::string RegDataText(DWORD type, const std::string& data);

// reg.exe's verbs (qzreg_regverbs.cpp).
int Query(const Args& args);
int Add(const Args& args);
int Delete(const Args& args);

// Reads the option `name` ("--os") at args[*i], with its value as the next
// argument or after '=' ("--os=nt"); false when args[*i] is another option.
// *missing is set when the value is absent or empty.
bool TakeOptionValue(const Args& args, size_t* i, const char* name, std::string* value,
                     bool* missing);

// A new machine (qzreg_init.cpp).
int Init(const Args& args);

// Machine images (qzreg_image.cpp). Each holds the machine's instance lock
// while it works, waiting up to --wait[=SECONDS] for it.
int Save(const Args& args);
int Load(const Args& args);
int InitFrom(const std::string& image, bool replace, int waitMs);
// True when `arg` is --wait or --wait=SECONDS: *waitMs set, or *status a
// usage error already reported.
bool ParseWaitOption(const std::string& arg, int* waitMs, int* status);

// Spooler administration (qzreg_spooler.cpp): driver, printer, port and
// monitor with add and delete, and default. Each reads its own --help
// (driver add takes --help FILE).
int Driver(const Args& args);
int Printer(const Args& args);
int Port(const Args& args);
int Monitor(const Args& args);
int Default(const Args& args);
bool OwnsHelpOption(const std::string& command);

// The differences of two machines (qzreg_diff.cpp).
int Diff(const Args& args);

}  // namespace qzreg

#endif  // QZINST32_TOOLS_QZREG_H_
