// EnumPortsA and the port list behind it.
#include "platform/host/spooler/spooler_ports.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>
#include <utility>

#include "platform/host/machine/machine.h"
#include "platform/host/machine/testctl.h"
#include "platform/host/profile/profile.h"
#include "platform/host/registry/registry.h"
#include "platform/host/spooler/spooler_buffer.h"
#include "platform/host/spooler/spooler_layout.h"
#include "platform/host/spooler/spooler_pairlist.h"
#include "platform/host/spooler/spooler_store.h"

namespace qzhost {
namespace spool {

namespace {

constexpr char kLocalPortDescription[] = "Local Port";

// Names as SameName compares them: ASCII letters folded (without a branch:
// the list hashes every name of thousands).
unsigned char Folded(unsigned char ch) {
  return static_cast<unsigned char>(ch | (static_cast<unsigned char>(ch - 'A') < 26 ? 0x20 : 0));
}

// Eight bytes of a name at once, each from 'A' to 'Z' folded: bit 7 marks
// the bytes below 0x80 that reach 'A' and do not pass 'Z', and becomes 0x20.
uint64_t FoldedWord(uint64_t w) {
  const uint64_t ones = 0x0101010101010101ull, highs = 0x8080808080808080ull;
  const uint64_t low = w & ~highs;
  const uint64_t upper =
      (low + (0x80 - 'A') * ones) & ~(low + (0x80 - 'Z' - 1) * ones) & ~w & highs;
  return w | (upper >> 2);
}

// FNV-1a over the folded name, a word at a time, and mixed at the end.
uint32_t FoldedHash(std::string_view name) {
  uint64_t h = 14695981039346656037ull ^ name.size();
  size_t at = 0;
  for (; at + 8 <= name.size(); at += 8) {
    uint64_t w;
    memcpy(&w, name.data() + at, 8);
    h = (h ^ FoldedWord(w)) * 1099511628211ull;
  }
  if (at < name.size()) {
    uint64_t w = 0;
    if (at >= 8) {  // the last eight bytes, shifted past those hashed already
      memcpy(&w, name.data() + name.size() - 8, 8);
      w >>= 8 * (8 - (name.size() - at));
    } else {
      for (size_t i = at; i < name.size(); ++i)
        w |= uint64_t{static_cast<unsigned char>(name[i])} << (8 * (i - at));
    }
    h = (h ^ FoldedWord(w)) * 1099511628211ull;
  }
  // A word's last bytes reach only the high bits of its product: mixed down
  // to the low bits the index takes.
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdull;
  return static_cast<uint32_t>(h ^ (h >> 33));
}

bool SameFolded(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](unsigned char x, unsigned char y) { return Folded(x) == Folded(y); });
}

// The ports with the monitor serving each (First: the port, Second: the
// monitor), each name once, where it was found first; an open-addressed index
// of the names keeps adding n ports linear, since machines may hold thousands.
// Its slots hold the names' hashes, so that a probe compares names only when
// the hashes agree.
class PortList {
 public:
  // Room for `count` ports in all (about 24 bytes of names each), made once
  // the count is known: the index is built again only when it grows.
  void Reserve(size_t count) {
    m_rows.Reserve(count, count * 24);
    if (SlotsFor(count) > m_slots.size()) Rehash(SlotsFor(count));
  }
  void AddOnce(std::string_view name, std::string_view monitor) {
    if (name.empty()) return;
    if (Crowded(m_rows.size() + 1, m_slots.size())) Rehash(SlotsFor(m_rows.size() + 1));
    const uint32_t hash = FoldedHash(name);
    size_t slot = 0;
    if (Probe(name, hash, &slot) != kAbsent) return;
    const size_t before = m_rows.size();
    m_rows.Add(name, monitor);
    if (m_rows.size() != before) m_slots[slot] = {static_cast<uint32_t>(m_rows.size()), hash};
  }
  // The monitor of a listed port; false when the port is not listed.
  bool MonitorOf(std::string_view name, std::string_view* monitor) const {
    size_t slot = 0;
    const size_t row = m_slots.empty() ? kAbsent : Probe(name, FoldedHash(name), &slot);
    if (row == kAbsent) return false;
    *monitor = m_rows.Second(row);
    return true;
  }
  const PairList& Rows() const { return m_rows; }
  BOOL Deliver(DWORD Level, LPBYTE pPorts, DWORD cbBuf, LPDWORD pcbNeeded,
               LPDWORD pcReturned) const;

 private:
  static constexpr size_t kAbsent = ~size_t{0};
  struct Slot {
    uint32_t row = 0;  // row + 1, 0 free
    uint32_t hash = 0;
  };

  // At most three quarters of the slots taken: the index of thousands stays
  // small enough to be in the cache.
  static bool Crowded(size_t count, size_t slots) { return slots * 3 < count * 4; }
  static size_t SlotsFor(size_t count) {
    size_t size = 8;
    while (Crowded(count, size)) size *= 2;
    return size;
  }
  // The row of `name` in the index, or kAbsent with *slot the free slot
  // where it would go.
  size_t Probe(std::string_view name, uint32_t hash, size_t* slot) const {
    const size_t mask = m_slots.size() - 1;
    for (*slot = hash & mask;; *slot = (*slot + 1) & mask) {
      const Slot& held = m_slots[*slot];
      if (held.row == 0) return kAbsent;
      if (held.hash != hash) continue;
      const std::string_view other = m_rows.First(held.row - 1);
      if (other.size() == name.size() && SameFolded(other, name)) return held.row - 1;
    }
  }
  void Rehash(size_t slots) {
    std::vector<Slot> old(slots);
    old.swap(m_slots);
    const size_t mask = m_slots.size() - 1;
    for (const Slot& held : old) {
      if (held.row == 0) continue;
      size_t slot = held.hash & mask;
      while (m_slots[slot].row != 0) slot = (slot + 1) & mask;
      m_slots[slot] = held;
    }
  }
  void PackLevel1(LPBYTE pBuffer) const;
  void PackLevel2(LPBYTE pBuffer) const;
  PairList m_rows;
  std::vector<Slot> m_slots;
};

// Windows' layout: the records, then each record's strings in field order.
void PortList::PackLevel1(LPBYTE pBuffer) const {
  const size_t count = m_rows.size();
  memset(pBuffer, 0, count * sizeof(PORT_INFO_1A));
  LPSTR pText = reinterpret_cast<LPSTR>(pBuffer + count * sizeof(PORT_INFO_1A));
  for (size_t i = 0; i < count; ++i) {
    const std::string_view name = m_rows.First(i);
    PutString(pBuffer + i * sizeof(PORT_INFO_1A), offsetof(PORT_INFO_1A, pName), name.data(),
              name.size(), &pText);
  }
}

void PortList::PackLevel2(LPBYTE pBuffer) const {
  const size_t count = m_rows.size();
  memset(pBuffer, 0, count * sizeof(PORT_INFO_2A));
  LPSTR pText = reinterpret_cast<LPSTR>(pBuffer + count * sizeof(PORT_INFO_2A));
  for (size_t i = 0; i < count; ++i) {
    LPBYTE pRecord = pBuffer + i * sizeof(PORT_INFO_2A);
    // The port and its monitor follow each other, each with its NUL, as
    // they do in the list.
    const std::string_view both = m_rows.Both(i);
    memcpy(pText, both.data(), both.size());
    PutField(pRecord, offsetof(PORT_INFO_2A, pPortName), pText);
    PutField(pRecord, offsetof(PORT_INFO_2A, pMonitorName), pText + m_rows.First(i).size() + 1);
    pText += both.size();
    PutString(pRecord, offsetof(PORT_INFO_2A, pDescription), kLocalPortDescription,
              sizeof kLocalPortDescription - 1, &pText);
    PutField(pRecord, offsetof(PORT_INFO_2A, fPortType), DWORD{PORT_TYPE_WRITE});
  }
}

BOOL PortList::Deliver(DWORD Level, LPBYTE pPorts, DWORD cbBuf, LPDWORD pcbNeeded,
                       LPDWORD pcReturned) const {
  const size_t count = m_rows.size();
  if (Level == 1) {
    return DeliverPacked(
        count, sizeof(PORT_INFO_1A), m_rows.FirstBytes(),
        [this](LPBYTE pBuffer) { PackLevel1(pBuffer); }, pPorts, cbBuf, pcbNeeded, pcReturned);
  }
  return DeliverPacked(
      count, sizeof(PORT_INFO_2A), m_rows.TextBytes() + count * sizeof kLocalPortDescription,
      [this](LPBYTE pBuffer) { PackLevel2(pBuffer); }, pPorts, cbBuf, pcbNeeded, pcReturned);
}

// Windows 98's built-in LOCALMON answers first for LPT1-LPT9 and COM1-COM9.
bool IsLocalMonPort(std::string_view name) {
  if (name.size() < 4 || name.size() > 5) return false;
  if (!SameFolded(name.substr(0, 3), "lpt") && !SameFolded(name.substr(0, 3), "com")) return false;
  if (name[3] < '1' || name[3] > '9') return false;
  return name.size() == 4 || name[4] == ':';
}

// Ports that installed monitors list as subkeys or values of their Ports key.
PortList MonitorClaims() {
  PortList claims;
  for (const MonitorEntry& monitor : MonitorsWithPorts()) {
    StoreKey ports;
    if (ports.Open(MonitorKey(monitor.name) + "\\" + kMonitorPortsSubkey) != ERROR_SUCCESS)
      continue;
    for (const std::string& port : ports.SubkeyNames()) claims.AddOnce(port, monitor.name);
    for (const std::string& port : ports.ValueNames()) claims.AddOnce(port, monitor.name);
  }
  return claims;
}

std::string_view ServingMonitor(std::string_view port, const PortList& claims, bool bNT) {
  std::string_view monitor = kLocalPortMonitor;
  if ((!bNT && IsLocalMonPort(port)) || claims.Rows().empty()) return monitor;
  claims.MonitorOf(port, &monitor);
  return monitor;
}

std::shared_ptr<const PortList> ReadKnownPorts(const IniFile* winIni) {
  PortList claims = MonitorClaims();
  auto ports = std::make_shared<PortList>();
  const bool bNT = MachineIsNT();
  const auto add = [&](std::string_view name) {
    ports->AddOnce(name, ServingMonitor(name, claims, bNT));
  };
  StoreKey key;
  if (bNT) {
    std::vector<std::string> names;
    if (key.Open(kNtPortsKey) == ERROR_SUCCESS) names = key.ValueNames();
    ports->Reserve(names.size() + claims.Rows().size());
    for (const std::string& name : names) add(name);
  } else {
    // WIN.INI's names come first, added when the number of port keys is known
    // (at the first key), so that room for all is made once. The list drops a
    // name met again by SameFolded, which holds equal whatever the profile's
    // SameName does: the lines need not be told apart by that first.
    const size_t iniLines = winIni != nullptr ? winIni->LineCount("Ports") : 0;
    bool iniAdded = false;
    const auto addIni = [&](size_t keys) {
      ports->Reserve(iniLines + keys + claims.Rows().size());
      if (iniLines != 0) winIni->ForEachKeyName("Ports", add);
      iniAdded = true;
    };
    if (key.Open(kPrintPortsKey) == ERROR_SUCCESS) {
      key.VisitSubkeyNames([&](size_t index, size_t count, std::string_view name) {
        if (index == 0) addIni(count);
        add(name);
      });
    }
    if (!iniAdded) addIni(0);
  }
  const PairList& claimed = claims.Rows();
  for (size_t i = 0; i < claimed.size(); ++i)
    ports->AddOnce(claimed.First(i), ServingMonitor(claimed.First(i), claims, bNT));
  return ports;
}

// The port list as last read, and the state of the machine it was read from:
// the registry's change stamp and the parsed WIN.INI (a new parse is a new
// object; the memo holds it, so its address is not reused).
struct PortMemo {
  ReadingStamp read;
  std::shared_ptr<const IniFile> winIni;
  std::shared_ptr<const PortList> ports;
};

// Never destroyed: freeing thousands of names at exit would cost a run for
// nothing.
PortMemo& ThePortMemo() {
  static PortMemo* memo = new PortMemo;
  return *memo;
}

// The list of the registry and WIN.INI as they stand: read again whenever
// either changed since it was read (the registry's stamp follows every
// commit, of this process or another). The registry's part is read in one
// snapshot, the one the stamp is taken in.
std::shared_ptr<const PortList> CurrentPorts() {
  PortMemo& memo = ThePortMemo();
  DWORD dwError = ERROR_SUCCESS;
  RegStore* store = MachineRegistry(&dwError);
  if (store == nullptr) return std::make_shared<PortList>();
  std::shared_ptr<const IniFile> winIni = MachineIsNT() ? nullptr : CurrentWinIni();
  if (!memo.read.IsAt(store->ChangeStamp()) || memo.winIni != winIni) {
    RegReadSnapshot snapshot(store);
    memo.read.Set(store->ChangeStamp());
    memo.ports = ReadKnownPorts(winIni.get());
    memo.winIni = std::move(winIni);
  }
  return memo.ports;
}

std::string Trimmed(const std::string& text) {
  size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return std::string();
  size_t last = text.find_last_not_of(' ');
  return text.substr(first, last - first + 1);
}

}  // namespace

void KeepPortsAcross(uint64_t before, uint64_t after) { ThePortMemo().read.Advance(before, after); }

DWORD ChangeOutsideLists(const std::function<DWORD()>& change) {
  const uint64_t before = RegistryStamp();
  DWORD dwError = change();
  if (dwError != ERROR_SUCCESS) return dwError;
  const uint64_t after = RegistryStamp();
  if (RegStore::SameForeignState(before, after)) {
    KeepMonitorsAcross(before, after);
    KeepPortsAcross(before, after);
  }
  return ERROR_SUCCESS;
}

bool PortListKnown(const char* portList) {
  std::shared_ptr<const PortList> known = CurrentPorts();
  std::string list = portList;
  bool bAny = false;
  size_t start = 0;
  while (start <= list.size()) {
    size_t comma = list.find(',', start);
    if (comma == std::string::npos) comma = list.size();
    std::string name = Trimmed(list.substr(start, comma - start));
    start = comma + 1;
    if (name.empty()) continue;
    std::string_view monitor;
    if (!known->MonitorOf(name, &monitor)) return false;
    bAny = true;
  }
  return bAny;
}

}  // namespace spool
}  // namespace qzhost

extern "C" BOOL WINAPI EnumPortsA(LPSTR pName, DWORD Level, LPBYTE pPorts, DWORD cbBuf,
                                  LPDWORD pcbNeeded, LPDWORD pcReturned) {
  DWORD dwError = 0;
  if (qzhost::ShouldFail("EnumPortsA", &dwError)) {
    SetLastError(dwError);
    return FALSE;
  }
  if (qzhost::spool::MissingCounters(pcbNeeded, pcReturned)) return FALSE;
  if (!qzhost::spool::IsLocalServer(pName)) {
    SetLastError(ERROR_INVALID_NAME);
    return FALSE;
  }
  if (Level != 1 && Level != 2) {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  std::shared_ptr<const qzhost::spool::PortList> ports = qzhost::spool::CurrentPorts();
  return ports->Deliver(Level, pPorts, cbBuf, pcbNeeded, pcReturned);
}
