// The port list: each port once, with the monitor that serves it.
#ifndef QZINST32_PLATFORM_HOST_SPOOLER_PORTLIST_H_
#define QZINST32_PLATFORM_HOST_SPOOLER_PORTLIST_H_

#include <stdint.h>

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/host/spooler/spooler_pairlist.h"
#include "platform/win32.h"

namespace qzhost {
namespace spool {

// Port names as the spooler compares them, as the registry and the profile
// compare names: single-byte letters without regard to case (ASCII, and on
// code page 1252 the accented letters), double-byte characters as they are.
bool SameFolded(std::string_view a, std::string_view b, unsigned codePage = 1252);

// The ports in the order they were added, each name once (where it was added
// first), with the monitor serving each. A name is kept up to its first NUL:
// what a reader of the packed record sees. Machines may hold thousands of
// ports, so the names are kept in one block of text and an open-addressed
// index of them keeps adding n ports linear; the monitors are few and each is
// kept once.
class PortList {
 public:
  // Names compared on the code page of the machine prepared (see SameFolded).
  PortList();
  // Room for `count` ports in all (names of about 16 bytes), made once the
  // count is known: the index is built again only when it grows.
  void Reserve(size_t count);
  void AddOnce(std::string_view name, std::string_view monitor) {
    AddOnce(name, MonitorIndex(monitor));
  }
  // The same with a monitor by its index (see MonitorIndex).
  void AddOnce(std::string_view name, uint32_t monitor);
  // The monitor's index in the list, kept from now on even if no port it
  // serves is added: for callers that add thousands of ports of one monitor.
  uint32_t MonitorIndex(std::string_view monitor);
  // The monitor of a listed port; false when the port is not listed.
  bool MonitorOf(std::string_view name, std::string_view* monitor) const;
  size_t size() const { return m_rows.size(); }
  bool empty() const { return m_rows.empty(); }
  std::string_view Name(size_t i) const {
    return {m_text.data() + m_rows[i].name, m_rows[i].end - m_rows[i].name};
  }
  std::string_view Monitor(size_t i) const { return m_monitors[m_rows[i].monitor]; }
  // EnumPortsA's answer at level 1 or 2 (the level is checked by the caller).
  BOOL Deliver(DWORD Level, LPBYTE pPorts, DWORD cbBuf, LPDWORD pcbNeeded,
               LPDWORD pcReturned) const;

 private:
  static constexpr size_t kAbsent = ~size_t{0};
  struct Row {
    uint32_t name;     // offset of the name in m_text
    uint32_t end;      // where it ends, at its NUL
    uint32_t monitor;  // index in m_monitors
  };
  struct Slot {
    uint32_t row = 0;  // row + 1, 0 free
    uint32_t hash = 0;
  };

  size_t Probe(std::string_view name, uint32_t hash, size_t* slot) const;
  void Rehash(size_t slots);
  void PackLevel1(LPBYTE pBuffer) const;
  void PackLevel2(LPBYTE pBuffer) const;

  std::vector<char, UninitializedAllocator<char>> m_text;  // m_used bytes in use
  size_t m_used = 0;
  std::vector<Row> m_rows;
  std::vector<Slot> m_slots;
  std::vector<std::string> m_monitors;
  std::unordered_map<std::string, uint32_t> m_monitorIndex;
  unsigned m_codePage;
  uint32_t m_lastMonitor = 0;  // the monitor of the last port added
  size_t m_monitorBytes = 0;   // the monitors' names with their NULs, port by port
};

}  // namespace spool
}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_SPOOLER_PORTLIST_H_
