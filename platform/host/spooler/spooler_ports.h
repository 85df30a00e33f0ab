// The ports the emulated spooler knows, and the monitor serving each.
#ifndef QZINST32_PLATFORM_HOST_SPOOLER_PORTS_H_
#define QZINST32_PLATFORM_HOST_SPOOLER_PORTS_H_

#include <stdint.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/win32.h"

namespace qzhost {
namespace spool {

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

// True when the port is known; *monitor gets the monitor that serves it.
bool FindPort(const std::string& port, std::string* monitor);

// After a change that leaves the port list as it was (a monitor without a
// Ports subkey installed), made by this process alone between the registry
// stamps `before` and `after`: the list read at `before` still holds.
void KeepPortsAcross(uint64_t before, uint64_t after);

// Makes a spooler change that touches neither monitors nor ports (a driver,
// a print processor, a printer): the monitor and port lists read before it
// stay read, unless another process changed the registry meanwhile.
DWORD ChangeOutsideLists(const std::function<DWORD()>& change);

}  // namespace spool
}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_SPOOLER_PORTS_H_
