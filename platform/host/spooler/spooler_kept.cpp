// The spooler's lists kept in the registry between runs.
#include "platform/host/spooler/spooler_kept.h"

#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <string_view>

#include "platform/host/machine/machine.h"

namespace qzhost {
namespace spool {
namespace {

const char kMonitorsList[] = "spooler monitors";
const char kPortsList[] = "spooler ports";
const char kAddedMonitorsList[] = "spooler monitors added";
// Of the stored form; another one is not read (an earlier version's lists
// are read from the registry again, and stored anew).
const char kFormat = 5;
// Below this many entries a list is read from the registry in well under a
// millisecond, less than storing it would cost a run.
const size_t kShortestKept = 100;
// More monitors added than this, and the whole list is stored again.
const size_t kMostAdded = 64;

std::string Personality() {
  return std::string(MachineIsNT() ? "nt" : "9x") + " " + std::to_string(Machine().codePage);
}

// Two independent 64-bit hashes of `text`, eight bytes at a time, and its
// length: a section of thousands of ports is told apart from any other by
// 40 bytes instead of its whole text (which would be stored, read and
// compared with the list). Not meant to withstand a forger: whoever can write
// WIN.INI can write the registry too.
// The text may come in pieces (a section without some of its lines): the
// digest is that of the pieces one after the other.
std::string TextDigest(const std::vector<std::string_view>& pieces) {
  uint64_t a = 0x9E3779B97F4A7C15ull, b = 0xC2B2AE3D27D4EB4Full;
  const auto addWord = [&a, &b](const char* at) {
    uint64_t word;
    memcpy(&word, at, 8);
    a = (a ^ word) * 0x100000001B3ull;
    a ^= a >> 29;
    b = (b + word) * 0xFF51AFD7ED558CCDull;
    b ^= b >> 32;
  };
  char carry[8];  // the bytes of a word begun in an earlier piece
  size_t carried = 0, size = 0;
  for (std::string_view text : pieces) {
    size += text.size();
    if (carried > 0) {
      const size_t taken = std::min(sizeof carry - carried, text.size());
      memcpy(carry + carried, text.data(), taken);
      carried += taken;
      text.remove_prefix(taken);
      if (carried < sizeof carry) continue;
      addWord(carry);
      carried = 0;
    }
    size_t at = 0;
    for (; at + 8 <= text.size(); at += 8) addWord(text.data() + at);
    carried = text.size() - at;
    memcpy(carry, text.data() + at, carried);
  }
  for (size_t at = 0; at < carried; ++at) {
    a = (a ^ static_cast<unsigned char>(carry[at])) * 0x100000001B3ull;
    b = (b + static_cast<unsigned char>(carry[at])) * 0xFF51AFD7ED558CCDull;
  }
  char digest[48];
  snprintf(digest, sizeof digest, "%016llx%016llx/%zu", static_cast<unsigned long long>(a),
           static_cast<unsigned long long>(b), size);
  return digest;
}

}  // namespace

std::string MonitorsSignature() { return Personality(); }

std::string PortsSignature(const IniFile* winIni) {
  std::string signature = Personality();
  if (MachineIsNT()) return signature;
  if (winIni == nullptr) return signature + " no WIN.INI";
  return signature + " [Ports] " + TextDigest({winIni->SectionBody("Ports")});
}

bool PortsSignatureBeforeLastKeys(const IniFile* winIni, size_t count, std::string* signature,
                                  std::vector<std::string>* names) {
  names->clear();
  std::vector<std::string_view> pieces, keys;
  if (MachineIsNT() || winIni == nullptr ||
      !winIni->BodyBeforeLastKeys("Ports", count, &pieces, &keys))
    return false;
  *signature = Personality() + " [Ports] " + TextDigest(pieces);
  names->assign(keys.begin(), keys.end());
  return true;
}

std::string EncodeKeptList(const PairList& rows) {
  std::string out(1, kFormat);
  if (!rows.Write(&out)) out.clear();
  return out;
}

bool DecodeKeptList(std::string_view data, PairList* rows) {
  *rows = PairList();
  return !data.empty() && data[0] == kFormat && rows->Read(data.substr(1));
}

namespace {

// The monitors added since the stored list was kept at state `base`.
std::string AddedSignature(const std::string& signature, const std::string& base) {
  return signature + '\0' + base;
}

// A list with a text too long for the stored form is not kept.
void StoreIfEncoded(RegStore* store, const char* name, const char* area,
                    const std::string& signature, const PairList& rows) {
  const std::string data = EncodeKeptList(rows);
  if (!data.empty()) store->StoreKeptList(name, area, signature, data);
}

// A reader that decodes a kept list into `rows`.
RegStore::KeptReader DecodeInto(PairList* rows) {
  return [rows](std::string_view data) { return DecodeKeptList(data, rows); };
}

}  // namespace

bool LoadKeptMonitors(RegStore* store, MonitorList* monitors, KeptMonitorsOrigin* origin) {
  *origin = KeptMonitorsOrigin();
  const std::string signature = MonitorsSignature();
  std::string base;
  bool current = false;
  if (!store->ReadKeptListOfAnyAge(kMonitorsList, signature, DecodeInto(monitors), &base,
                                   &current)) {
    return false;
  }
  if (!current && !store->ReadKeptList(kAddedMonitorsList, AddedSignature(signature, base),
                                       DecodeInto(&origin->added))) {
    return false;
  }
  for (size_t i = 0; i < origin->added.size(); ++i) {
    InsertInKeyOrder(monitors, origin->added.First(i), origin->added.Second(i),
                     origin->added.Flag(i));
  }
  origin->taken = true;
  origin->base = std::move(base);
  return true;
}

bool LoadKeptPorts(RegStore* store, const std::string& signature, PairList* ports) {
  return store->ReadKeptList(kPortsList, signature, DecodeInto(ports));
}

bool LoadKeptPortsBeforeAddedKeys(RegStore* store, const RegStore::KeptSignatureCheck& wanted,
                                  PairList* ports, std::vector<RegStore::AddedPortsKey>* added) {
  return store->ReadKeptListBeforeAddedKeys(kPortsList, wanted, DecodeInto(ports), added);
}

void KeepMonitors(RegStore* store, const MonitorList& monitors, const KeptMonitorsOrigin& origin) {
  const std::string signature = MonitorsSignature();
  if (origin.taken && !origin.changed) return;
  if (origin.taken && origin.added.size() <= kMostAdded) {
    StoreIfEncoded(store, kAddedMonitorsList, "monitors", AddedSignature(signature, origin.base),
                   origin.added);
    return;
  }
  if (monitors.size() >= kShortestKept)
    StoreIfEncoded(store, kMonitorsList, "monitors", signature, monitors);
}

void KeepPorts(RegStore* store, const std::string& signature, const PairList& ports) {
  if (ports.size() >= kShortestKept) StoreIfEncoded(store, kPortsList, "ports", signature, ports);
}

}  // namespace spool
}  // namespace qzhost
