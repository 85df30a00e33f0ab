// The machine's settings file, machine.ini: its text and its strict reading.
//
// The file holds one [Machine] section with exactly the keys OS (win98 or nt)
// and CodePage (1252 or 932). Anything else is a damaged file: a machine is
// never taken for another one because its file could be read some other way.
#ifndef QZINST32_PLATFORM_HOST_MACHINECONFIG_H_
#define QZINST32_PLATFORM_HOST_MACHINECONFIG_H_

#include <string>

#include "platform/host/machine/machine.h"

namespace qzhost {

// The text InitMachine writes.
std::string MachineConfigText(const MachineConfig& config);

// Reads the text. Blank lines and lines starting with ';' are skipped, blanks
// around keys and values ignored, and both line ends accepted. False with
// *why (naming the line) for a line outside [Machine] or of no known form, a
// section other than [Machine] or given twice, an unknown or repeated key, a
// missing key, or a value that is not exactly one of those allowed.
bool ParseMachineConfig(const std::string& text, MachineConfig* config, std::string* why);

}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_MACHINECONFIG_H_
