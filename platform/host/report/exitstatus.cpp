// How a 16-bit result code leaves the host program as an 8-bit exit status.
#include "platform/host/report/exitstatus.h"

namespace qzhost {

int ExitStatusForResult(unsigned resultCode) {
  if (resultCode == 0) return 0;
  if (resultCode == 0x0100) return 1;
  if (resultCode == 0x0301) return 2;
  if ((resultCode & 0xFFC0u) == 0x0400u) return 8 + static_cast<int>(resultCode & 0x3Fu);
  return kExitUnknownCode;
}

}  // namespace qzhost
