// The port list: each port once, with the monitor that serves it.
#include "platform/host/spooler/spooler_portlist.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <limits>

#include "platform/host/machine/codepage.h"
#include "platform/host/machine/machine.h"
#include "platform/host/spooler/spooler_buffer.h"

namespace qzhost {
namespace spool {
namespace {

bool HasHighByte(std::string_view name) {
  uint64_t any = 0;
  size_t at = 0;
  for (; at + 8 <= name.size(); at += 8) {
    uint64_t w;
    memcpy(&w, name.data() + at, 8);
    any |= w;
  }
  for (; at < name.size(); ++at) any |= static_cast<unsigned char>(name[at]);
  return (any & 0x8080808080808080ull) != 0;
}

// A name with bytes from 0x80 on, a byte at a time as SameFolded compares
// it: double-byte characters as they are, the code page's letters folded.
uint64_t FoldedBytesHash(std::string_view name, unsigned codePage) {
  uint64_t h = 14695981039346656037ull ^ name.size() ^ 0x80;
  for (size_t i = 0; i < name.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    if (c >= 0x80 && IsLeadByteOf(codePage, c) && i + 1 < name.size()) {
      h = (h ^ c) * 1099511628211ull;
      c = static_cast<unsigned char>(name[++i]);
    } else {
      c = FoldNameByte(codePage, c);
    }
    h = (h ^ c) * 1099511628211ull;
  }
  return h;
}

// FNV-1a over the folded name, a word at a time, and mixed at the end. Names
// with bytes from 0x80 on (the few that are not ASCII) go a byte at a time.
uint32_t FoldedHash(std::string_view name, unsigned codePage) {
  if (HasHighByte(name)) {
    uint64_t h = FoldedBytesHash(name, codePage);
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdull;
    return static_cast<uint32_t>(h ^ (h >> 33));
  }
  uint64_t h = 14695981039346656037ull ^ name.size();
  size_t at = 0;
  for (; at + 8 <= name.size(); at += 8) {
    uint64_t w;
    memcpy(&w, name.data() + at, 8);
    h = (h ^ FoldAsciiWord(w)) * 1099511628211ull;
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
    h = (h ^ FoldAsciiWord(w)) * 1099511628211ull;
  }
  // A word's last bytes reach only the high bits of its product: mixed down
  // to the low bits the index takes.
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdull;
  return static_cast<uint32_t>(h ^ (h >> 33));
}

// At most three quarters of the slots taken: the index of thousands stays
// small enough to be in the cache.
bool Crowded(size_t count, size_t slots) { return slots * 3 < count * 4; }

size_t SlotsFor(size_t count) {
  size_t size = 8;
  while (Crowded(count, size)) size *= 2;
  return size;
}

}  // namespace

bool SameFolded(std::string_view a, std::string_view b, unsigned codePage) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x >= 0x80 && IsLeadByteOf(codePage, x) && i + 1 < a.size()) {
      if (x != y || a[i + 1] != b[i + 1]) return false;
      ++i;
    } else if (x != y && FoldNameByte(codePage, x) != FoldNameByte(codePage, y)) {
      return false;
    }
  }
  return true;
}

PortList::PortList() : m_codePage(PreparedCodePage()) {}

void PortList::Reserve(size_t count) {
  m_rows.reserve(count);
  if (count * 16 > m_text.size()) m_text.resize(count * 16);
  if (SlotsFor(count) > m_slots.size()) Rehash(SlotsFor(count));
}

void PortList::AddOnce(std::string_view name, uint32_t index) {
  name = UpToNul(name);
  // A list is limited to 4 GiB of names; ports past that are left out.
  if (name.empty() || name.size() >= std::numeric_limits<uint32_t>::max() - m_used) return;
  if (Crowded(m_rows.size() + 1, m_slots.size())) Rehash(SlotsFor(m_rows.size() + 1));
  const uint32_t hash = FoldedHash(name, m_codePage);
  size_t slot = 0;
  if (Probe(name, hash, &slot) != kAbsent) return;
  const size_t bytes = name.size() + 1;
  if (m_used + bytes > m_text.size()) m_text.resize(std::max(m_text.size() * 2, m_used + bytes));
  memcpy(m_text.data() + m_used, name.data(), name.size());
  m_text[m_used + name.size()] = '\0';
  m_rows.push_back(
      {static_cast<uint32_t>(m_used), static_cast<uint32_t>(m_used + name.size()), index});
  m_used += bytes;
  m_monitorBytes += m_monitors[index].size() + 1;
  m_slots[slot] = {static_cast<uint32_t>(m_rows.size()), hash};
}

bool PortList::MonitorOf(std::string_view name, std::string_view* monitor) const {
  name = UpToNul(name);
  size_t slot = 0;
  const size_t row = m_slots.empty() ? kAbsent : Probe(name, FoldedHash(name, m_codePage), &slot);
  if (row == kAbsent) return false;
  *monitor = Monitor(row);
  return true;
}

// The row of `name` in the index, or kAbsent with *slot the free slot where
// it would go.
size_t PortList::Probe(std::string_view name, uint32_t hash, size_t* slot) const {
  const size_t mask = m_slots.size() - 1;
  for (*slot = hash & mask;; *slot = (*slot + 1) & mask) {
    const Slot& held = m_slots[*slot];
    if (held.row == 0) return kAbsent;
    if (held.hash != hash) continue;
    const std::string_view other = Name(held.row - 1);
    if (other.size() == name.size() && SameFolded(other, name, m_codePage)) return held.row - 1;
  }
}

void PortList::Rehash(size_t slots) {
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

// Ports come in runs served by one monitor: the last one is compared first.
uint32_t PortList::MonitorIndex(std::string_view monitor) {
  if (m_lastMonitor < m_monitors.size()) {
    const std::string& last = m_monitors[m_lastMonitor];
    if (last.size() == monitor.size() && memcmp(last.data(), monitor.data(), last.size()) == 0)
      return m_lastMonitor;
  }
  const std::string name(UpToNul(monitor));
  auto found = m_monitorIndex.find(name);
  if (found == m_monitorIndex.end()) {
    found = m_monitorIndex.emplace(name, static_cast<uint32_t>(m_monitors.size())).first;
    m_monitors.push_back(name);
  }
  m_lastMonitor = found->second;
  return m_lastMonitor;
}

// Windows' layout: the records, then each record's strings in field order.
// The names follow each other with their NULs as they do in the list.
void PortList::PackLevel1(LPBYTE pBuffer) const {
  const size_t count = m_rows.size();
  memset(pBuffer, 0, count * sizeof(PORT_INFO_1A));
  LPSTR pText = reinterpret_cast<LPSTR>(pBuffer + count * sizeof(PORT_INFO_1A));
  memcpy(pText, m_text.data(), m_used);
  for (size_t i = 0; i < count; ++i)
    PutField(pBuffer + i * sizeof(PORT_INFO_1A), offsetof(PORT_INFO_1A, pName),
             pText + m_rows[i].name);
}

// A port's strings: its name, then its monitor's and the description, which
// are made once per monitor. A monitor describes its ports by its own name,
// as "Local Port" and "Standard TCP/IP Port" do: "monitor\0monitor\0".
void PortList::PackLevel2(LPBYTE pBuffer) const {
  std::vector<std::string> tails;
  for (const std::string& monitor : m_monitors) tails.push_back(monitor + '\0' + monitor + '\0');
  const size_t count = m_rows.size();
  memset(pBuffer, 0, count * sizeof(PORT_INFO_2A));
  LPSTR pText = reinterpret_cast<LPSTR>(pBuffer + count * sizeof(PORT_INFO_2A));
  for (size_t i = 0; i < count; ++i) {
    LPBYTE pRecord = pBuffer + i * sizeof(PORT_INFO_2A);
    const Row& row = m_rows[i];
    const size_t nameBytes = row.end - row.name + 1;  // with its NUL
    memcpy(pText, m_text.data() + row.name, nameBytes);
    PutField(pRecord, offsetof(PORT_INFO_2A, pPortName), pText);
    pText += nameBytes;
    const std::string& tail = tails[row.monitor];
    memcpy(pText, tail.data(), tail.size());
    PutField(pRecord, offsetof(PORT_INFO_2A, pMonitorName), pText);
    PutField(pRecord, offsetof(PORT_INFO_2A, pDescription),
             pText + m_monitors[row.monitor].size() + 1);
    pText += tail.size();
    PutField(pRecord, offsetof(PORT_INFO_2A, fPortType), DWORD{PORT_TYPE_WRITE});
  }
}

BOOL PortList::Deliver(DWORD Level, LPBYTE pPorts, DWORD cbBuf, LPDWORD pcbNeeded,
                       LPDWORD pcReturned) const {
  const size_t count = m_rows.size();
  if (Level == 1) {
    return DeliverPacked(
        count, sizeof(PORT_INFO_1A), m_used, [this](LPBYTE pBuffer) { PackLevel1(pBuffer); },
        pPorts, cbBuf, pcbNeeded, pcReturned);
  }
  return DeliverPacked(
      count, sizeof(PORT_INFO_2A), m_used + 2 * m_monitorBytes,
      [this](LPBYTE pBuffer) { PackLevel2(pBuffer); }, pPorts, cbBuf, pcbNeeded, pcReturned);
}

}  // namespace spool
}  // namespace qzhost
