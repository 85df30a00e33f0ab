// The ports the emulated spooler knows, and the monitor serving each.
#ifndef QZINST32_PLATFORM_HOST_SPOOLER_PORTS_H_
#define QZINST32_PLATFORM_HOST_SPOOLER_PORTS_H_

#include <string>
#include <vector>

namespace qzhost {
namespace spool {

struct KnownPort {
  std::string name;
  std::string monitor;
};

// The known ports, as EnumPortsA lists them, each name once (compared
// without regard to case):
// - Windows 98: the entries of WIN.INI [Ports], then the keys under
//   Control\Print\Ports;
// - Windows NT: the values of Software\Microsoft\Windows NT\CurrentVersion\Ports;
// then, on both, ports that an installed monitor lists under its own Ports
// subkey. A port is served by "Local Port" unless an installed monitor's
// Ports subkey names it. The list is read once per state of the registry and
// of WIN.INI.

// True when every port of a comma-separated list is known ("LPT1:,LPT2:");
// blanks around each name are ignored. An empty list is not known.
bool PortListKnown(const char* portList);

}  // namespace spool
}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_SPOOLER_PORTS_H_
