// How a 16-bit result code leaves the host program as an 8-bit exit status.
#ifndef QZINST32_PLATFORM_HOST_EXITSTATUS_H_
#define QZINST32_PLATFORM_HOST_EXITSTATUS_H_

namespace qzhost {

// Statuses of the host program itself, outside the result-code table.
const int kExitUsage = 120;          // a bad option; no command ran
const int kExitMachineFailed = 121;  // the machine root cannot be used
const int kExitUnknownCode = 125;    // a result code outside the table

// 0 exactly for result 0; distinct codes map to distinct statuses below 126:
// 256 -> 1, 769 -> 2, 0x0400 + n -> 8 + n for n up to 0x3F, others -> 125.
int ExitStatusForResult(unsigned resultCode);

}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_EXITSTATUS_H_
