// The last emulated Win32 call that failed in this process, kept so that the
// host entry can say why a command failed even when the trace is off.
#ifndef QZINST32_PLATFORM_HOST_FAILEDCALL_H_
#define QZINST32_PLATFORM_HOST_FAILEDCALL_H_

#include <string>

namespace qzhost {

struct FailedCall {
  std::string call;         // the SDK name, "AddPrinterA"
  unsigned long error = 0;  // the Win32 error number it returned or set
  std::string object;       // what it was about: a port, a key path, a file; may be empty
  // What kind of thing `object` is ("port", "driver", "key"); empty when none.
  std::string kind;
};

// Records a failure; later ones replace earlier ones.
void NoteFailedCall(const char* call, unsigned long error, const std::string& kind,
                    const std::string& object);
// The last failure noted, or null when no call has failed.
const FailedCall* LastFailedCall();
void ForgetFailedCalls();

}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_FAILEDCALL_H_
