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

struct InfCheck {
  std::string path;  // the host file the commands would read
  std::vector<InfProblem> problems;
  // True when command 2 would end with a failure.
  bool Command2Fails() const;
};

// Checks `section` of `infFile`, the file named as the command parameter
// names it (a bare name lies in C:\WINDOWS, as for the commands themselves),
// with the machine's code page and personality.
InfCheck CheckPrinterInf(const std::string& infFile, const std::string& section, unsigned codePage,
                         bool isNT);

// "file:line: error: [section] message" lines with their fixes and a summary.
std::string FormatInfCheck(const InfCheck& check, const std::string& infFile,
                           const std::string& section);

}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_CHECKINF_H_
