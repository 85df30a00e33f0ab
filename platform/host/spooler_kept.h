// The spooler's lists kept in the registry between runs.
//
// A real spooler reads its monitors and ports once, when it starts, and
// answers every program from memory. Each run of the emulation is a new
// process; it takes the lists as an earlier run left them (RegStore's kept
// lists) for as long as the registry and WIN.INI say the same, instead of
// reading every monitor key and port again.
#ifndef QZINST32_PLATFORM_HOST_SPOOLER_KEPT_H_
#define QZINST32_PLATFORM_HOST_SPOOLER_KEPT_H_

#include <string>
#include <vector>

#include "platform/host/inifile.h"
#include "platform/host/regstore.h"
#include "platform/host/spooler_pairlist.h"
#include "platform/host/spooler_store.h"

namespace qzhost {
namespace spool {

// What the lists depend on besides their part of the registry: the
// personality and code page (the order of names), and for the ports of
// Windows 98 the [Ports] section of WIN.INI (null: unreadable).
std::string MonitorsSignature();
std::string PortsSignature(const IniFile* winIni);

// The kept list when it is current; false otherwise (then read the registry).
bool LoadKeptMonitors(RegStore* store, MonitorList* monitors);
// The ports with their monitors (First: the port, Second: its monitor).
bool LoadKeptPorts(RegStore* store, const std::string& signature, PairList* ports);

// Stores the list unless the kept one is current already, or the list is so
// short that reading it costs less than storing it.
void KeepMonitors(RegStore* store, const MonitorList& monitors);
void KeepPorts(RegStore* store, const std::string& signature, const PairList& ports);

// The stored form: a format byte and the number of entries, then each text
// with its length before it.
std::string EncodeMonitors(const MonitorList& monitors);
bool DecodeMonitors(const std::string& data, MonitorList* monitors);
std::string EncodePorts(const PairList& ports);
bool DecodePorts(const std::string& data, PairList* ports);

}  // namespace spool
}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_SPOOLER_KEPT_H_
