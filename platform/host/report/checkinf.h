// INF pre-flight: reads a printer section as commands 2 and 3 read it and
// lists what would make them fail or cut a value, with line numbers.
#ifndef QZINST32_PLATFORM_HOST_CHECKINF_H_
#define QZINST32_PLATFORM_HOST_CHECKINF_H_

#include <string>
#include <vector>

namespace qzhost {

struct InfProblem {
  enum Severity { kError, kWarning };
  Severity severity;
  size_t line;      // 1-based; the section header for a missing key; 0 for the file
  std::string key;  // the INF key concerned; empty for the file or section
  std::string message;
  std::string fix;  // what to change
};

// A file of the INF as command 2 hands it to the spooler.
struct InfComponentFile {
  std::string key;   // the INF key that names it
  size_t line;       // of that key
  std::string name;  // the monitor's or print processor's name; empty for a driver file
  std::string file;  // as the program keeps it
};

struct InfCheck {
  std::string path;  // the host file the commands would read
  std::vector<InfProblem> problems;
  // The driver name command 2 would use ("device", translated); empty when
  // it has none.
  std::string driverName;
  // The files command 2 would name: the driver's (Driver, DataFile,
  // ConfigFile, HelpFile), the monitors' and the print processor's (not
  // WinPrint, which is built in); only values the program can use.
  std::vector<InfComponentFile> driverFiles, monitorFiles, processorFiles;
  // True when there is an error (command 2 would fail, or install a file
  // name that does not exist); with `strict` also when there is a warning.
  bool Fails(bool strict) const;
  size_t Errors() const;
};

// Checks `section` of `infFile`, the file named as the command parameter
// names it (a bare name lies in C:\WINDOWS, as for the commands themselves;
// in double quotes it may hold blanks, without them a blank is an error),
// with the machine's code page and personality.
InfCheck CheckPrinterInf(const std::string& infFile, const std::string& section, unsigned codePage,
                         bool isNT);

// Checks `port` on the current machine: that EnumPortsA lists it, and on a
// Windows NT machine that a "Windows NT x86" driver of the check's driver
// name is installed (command 2 adds its driver for "Windows 4.0" only, and
// AddPrinterA then refuses the printer). The machine must be prepared.
void CheckPortOnMachine(const std::string& port, InfCheck* check);

// Checks that each file of the check lies where Windows takes it from on the
// current machine (the monitors' DLLs in the system directory, the driver's
// files in the "Windows 4.0" printer-driver directory, the print processor
// in NT's print-processor directory), as the spooler's Add* calls look for
// them; a monitor or print processor installed already needs no file. Each
// missing file is an error naming the Windows path and the host path. The
// machine must be prepared.
void CheckFilesOnMachine(InfCheck* check);

// `word` as one word of a POSIX shell: as it is when it needs no quotes,
// else in single quotes.
std::string ShellWord(const std::string& word);

// "file:line: error: [section] message" lines with their fixes and a summary.
std::string FormatInfCheck(const InfCheck& check, const std::string& infFile,
                           const std::string& section, bool strict = false);
// The same as one JSON object: file, path, section, errors, warnings,
// passed, and the findings (file, line, key, severity, message, fix).
std::string InfCheckJson(const InfCheck& check, const std::string& infFile,
                         const std::string& section, bool strict);

}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_CHECKINF_H_
