// Names and plain meanings of the Win32 error numbers the program's calls
// can return, for the messages and reports of the host program.
#ifndef QZINST32_PLATFORM_HOST_WIN32ERRORS_H_
#define QZINST32_PLATFORM_HOST_WIN32ERRORS_H_

#include <string>

namespace qzhost {

struct Win32ErrorText {
  unsigned long code;
  const char* name;     // "ERROR_UNKNOWN_PORT"
  const char* meaning;  // "the port does not exist"
  // The meaning with the object named: "%s" stands for the quoted object.
  const char* aboutObject;
};

// The row of `code`; null for a number outside the table.
const Win32ErrorText* FindWin32Error(unsigned long code);

// "ERROR_UNKNOWN_PORT", or "error 4711" outside the table.
std::string Win32ErrorName(unsigned long code);
// The plain meaning, naming `object` (of `kind`, "port") when it is given.
std::string Win32ErrorMeaning(unsigned long code, const std::string& kind,
                              const std::string& object);

}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_WIN32ERRORS_H_
