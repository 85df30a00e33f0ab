// The last emulated Win32 call that failed in this process.
#include "platform/host/machine/failedcall.h"

namespace qzhost {
namespace {

FailedCall g_last;
bool g_noted = false;

}  // namespace

void NoteFailedCall(const char* call, unsigned long error, const std::string& kind,
                    const std::string& object) {
  g_last = FailedCall{call, error, object, kind};
  g_noted = true;
}

const FailedCall* LastFailedCall() { return g_noted ? &g_last : nullptr; }

void ForgetFailedCalls() {
  g_last = FailedCall();
  g_noted = false;
}

}  // namespace qzhost
