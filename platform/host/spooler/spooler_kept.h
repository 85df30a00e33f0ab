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

#include "platform/host/profile/inifile.h"
#include "platform/host/registry/regstore.h"
#include "platform/host/spooler/spooler_pairlist.h"
#include "platform/host/spooler/spooler_store.h"

namespace qzhost {
namespace spool {

// What the lists depend on besides their part of the registry: the
// personality and code page (the order of names), and for the ports of
// Windows 98 the [Ports] section of WIN.INI (null: unreadable).
std::string MonitorsSignature();
std::string PortsSignature(const IniFile* winIni);
// The signature the ports had before the last `count` keys of [Ports] were
// added (new keys go after the last one), and those keys' names in file
// order; false when there are not so many keys to take away.
bool PortsSignatureBeforeLastKeys(const IniFile* winIni, size_t count, std::string* signature,
                                  std::vector<std::string>* names);

// How a run's monitor list relates to the kept one, for storing it when the
// run ends.
struct KeptMonitorsOrigin {
  bool taken = false;    // the list was taken as kept
  bool changed = false;  // and this process added monitors to it since
  std::string base;      // the state of the monitors the stored list was kept at
  // The monitors added to the stored list since, by earlier runs and this one.
  MonitorList added;
};

// The kept list when it is current; false otherwise (then read the registry).
// The monitors are the stored list with the monitors added to it since, when
// those are kept as well.
bool LoadKeptMonitors(RegStore* store, MonitorList* monitors, KeptMonitorsOrigin* origin);
// The ports with their monitors (First: the port, Second: its monitor).
bool LoadKeptPorts(RegStore* store, const std::string& signature, PairList* ports);
// The kept list with the keys added below keys named Ports since it was kept
// (in *added), when those were all the changes of the registry's ports part
// and `wanted` takes its signature.
bool LoadKeptPortsBeforeAddedKeys(RegStore* store, const RegStore::KeptSignatureCheck& wanted,
                                  PairList* ports, std::vector<RegStore::AddedPortsKey>* added);

// At the end of a run, stores a list read from the registry unless it is so
// short that reading it costs less than storing it. A list taken as kept is
// not stored again; monitors added to it are stored alone, next to it, as
// long as they are few: storing thousands of monitors again for one would
// cost the run more than reading them all.
void KeepMonitors(RegStore* store, const MonitorList& monitors, const KeptMonitorsOrigin& origin);
void KeepPorts(RegStore* store, const std::string& signature, const PairList& ports);

// The stored form of either list: a format byte, then the rows as
// PairList::Write lays them out (empty: the list cannot be stored). Damaged
// data is refused.
std::string EncodeKeptList(const PairList& rows);
bool DecodeKeptList(std::string_view data, PairList* rows);

}  // namespace spool
}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_SPOOLER_KEPT_H_
