// The spooler's lists kept in the registry between runs.
#include "platform/host/spooler_kept.h"

#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <string_view>

#include "platform/host/machine.h"

namespace qzhost {
namespace spool {
namespace {

const char kMonitorsList[] = "spooler monitors";
const char kPortsList[] = "spooler ports";
const char kFormat = 1;  // of the stored form; another one is not read
// Two lengths: no entry takes fewer bytes, so a damaged count cannot make a
// reader reserve more than the data could hold.
const size_t kSmallestEntry = 8;
// Below this many entries a list is read from the registry in well under a
// millisecond, less than storing it would cost a run.
const size_t kShortestKept = 100;

void PutNumber(std::string* out, size_t number) {
  const uint32_t n = static_cast<uint32_t>(number);
  out->append(reinterpret_cast<const char*>(&n), sizeof n);
}

void PutText(std::string* out, std::string_view text) {
  PutNumber(out, text.size());
  out->append(text);
}

// The format byte and the number of entries.
std::string Header(size_t count) {
  std::string out(1, kFormat);
  PutNumber(&out, count);
  return out;
}

// Reads the stored form back; any text running past the end makes the whole
// list unreadable.
class Reader {
 public:
  explicit Reader(const std::string& data) : data_(data) {}
  // The number of entries, or false when the data is of another format.
  bool Start(uint32_t* count) {
    return at_ < data_.size() && data_[at_++] == kFormat && Number(count);
  }
  bool AtEnd() const { return at_ == data_.size(); }
  bool Number(uint32_t* n) {
    if (data_.size() - at_ < sizeof *n) return false;
    memcpy(n, data_.data() + at_, sizeof *n);
    at_ += sizeof *n;
    return true;
  }
  bool Text(std::string_view* text) {
    uint32_t size = 0;
    if (!Number(&size) || data_.size() - at_ < size) return false;
    *text = std::string_view(data_.data() + at_, size);
    at_ += size;
    return true;
  }
  bool Flag(bool* flag) {
    if (at_ >= data_.size()) return false;
    *flag = data_[at_++] != 0;
    return true;
  }

 private:
  const std::string& data_;
  size_t at_ = 0;
};

// The rows of a list, each two texts, and a flag when `withFlags`; false
// when the data is damaged.
bool DecodeList(const std::string& data, bool withFlags, PairList* rows) {
  Reader in(data);
  uint32_t count = 0;
  *rows = PairList();
  if (!in.Start(&count)) return false;
  // Each row's texts take no more bytes in the list than in the data.
  rows->Reserve(std::min<size_t>(count, data.size() / kSmallestEntry), data.size());
  std::string_view first, second;
  bool flag = false;
  for (uint32_t i = 0; i < count; ++i) {
    if (!in.Text(&first) || !in.Text(&second) || (withFlags && !in.Flag(&flag))) return false;
    rows->Add(first, second, flag);
  }
  return in.AtEnd();
}

std::string EncodeList(const PairList& rows, bool withFlags) {
  std::string out = Header(rows.size());
  out.reserve(out.size() + rows.TextBytes() + rows.size() * (withFlags ? 7 : 6));
  for (size_t i = 0; i < rows.size(); ++i) {
    PutText(&out, rows.First(i));
    PutText(&out, rows.Second(i));
    if (withFlags) out.push_back(rows.Flag(i) ? 1 : 0);
  }
  return out;
}

std::string Personality() {
  return std::string(MachineIsNT() ? "nt" : "9x") + " " + std::to_string(Machine().codePage);
}

}  // namespace

std::string MonitorsSignature() { return Personality(); }

std::string PortsSignature(const IniFile* winIni) {
  std::string signature = Personality();
  if (MachineIsNT()) return signature;
  if (winIni == nullptr) return signature + " no WIN.INI";
  signature.push_back('\0');
  signature.append(winIni->SectionBody("Ports"));
  return signature;
}

// Monitors: the name, the Driver value, and whether it has a Ports subkey.
std::string EncodeMonitors(const MonitorList& monitors) { return EncodeList(monitors, true); }

bool DecodeMonitors(const std::string& data, MonitorList* monitors) {
  return DecodeList(data, true, monitors);
}

// Ports: the name and the monitor serving it.
std::string EncodePorts(const PairList& ports) { return EncodeList(ports, false); }

bool DecodePorts(const std::string& data, PairList* ports) {
  return DecodeList(data, false, ports);
}

bool LoadKeptMonitors(RegStore* store, MonitorList* monitors) {
  std::string data;
  return store->ReadKeptList(kMonitorsList, MonitorsSignature(), &data) &&
         DecodeMonitors(data, monitors);
}

bool LoadKeptPorts(RegStore* store, const std::string& signature, PairList* ports) {
  std::string data;
  return store->ReadKeptList(kPortsList, signature, &data) && DecodePorts(data, ports);
}

void KeepMonitors(RegStore* store, const MonitorList& monitors) {
  if (monitors.size() < kShortestKept) return;
  const std::string signature = MonitorsSignature();
  if (store->KeptListCurrent(kMonitorsList, signature)) return;
  store->StoreKeptList(kMonitorsList, "monitors", signature, EncodeMonitors(monitors));
}

void KeepPorts(RegStore* store, const std::string& signature, const PairList& ports) {
  if (ports.size() < kShortestKept || store->KeptListCurrent(kPortsList, signature)) return;
  store->StoreKeptList(kPortsList, "ports", signature, EncodePorts(ports));
}

}  // namespace spool
}  // namespace qzhost
