// The spooler's lists kept in the registry between runs.
#include "platform/host/spooler_kept.h"

#include <stdint.h>
#include <string.h>

#include <algorithm>

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

void PutText(std::string* out, const std::string& text) {
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
  bool Text(std::string* text) {
    uint32_t size = 0;
    if (!Number(&size) || data_.size() - at_ < size) return false;
    *text = std::string(data_.data() + at_, size);  // cheaper than assign
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

// The entries of a list, each read by `read`; false when the data is damaged.
template <typename Entry, typename ReadEntry>
bool DecodeList(const std::string& data, std::vector<Entry>* entries, ReadEntry read) {
  Reader in(data);
  uint32_t count = 0;
  entries->clear();
  if (!in.Start(&count)) return false;
  entries->reserve(std::min<size_t>(count, data.size() / kSmallestEntry));
  for (uint32_t i = 0; i < count; ++i) {
    Entry entry;
    if (!read(&in, &entry)) return false;
    entries->push_back(std::move(entry));
  }
  return in.AtEnd();
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

std::string EncodeMonitors(const std::vector<MonitorEntry>& entries) {
  std::string out = Header(entries.size());
  for (const MonitorEntry& entry : entries) {
    PutText(&out, entry.name);
    PutText(&out, entry.dll);
    out.push_back(entry.hasPorts ? 1 : 0);
  }
  return out;
}

bool DecodeMonitors(const std::string& data, std::vector<MonitorEntry>* entries) {
  return DecodeList(data, entries, [](Reader* in, MonitorEntry* entry) {
    return in->Text(&entry->name) && in->Text(&entry->dll) && in->Flag(&entry->hasPorts);
  });
}

std::string EncodePorts(const std::vector<KnownPort>& ports) {
  std::string out = Header(ports.size());
  for (const KnownPort& port : ports) {
    PutText(&out, port.name);
    PutText(&out, port.monitor);
  }
  return out;
}

bool DecodePorts(const std::string& data, std::vector<KnownPort>* ports) {
  return DecodeList(data, ports, [](Reader* in, KnownPort* port) {
    return in->Text(&port->name) && in->Text(&port->monitor);
  });
}

bool LoadKeptMonitors(RegStore* store, std::vector<MonitorEntry>* entries) {
  std::string data;
  return store->ReadKeptList(kMonitorsList, MonitorsSignature(), &data) &&
         DecodeMonitors(data, entries);
}

bool LoadKeptPorts(RegStore* store, const std::string& signature, std::vector<KnownPort>* ports) {
  std::string data;
  return store->ReadKeptList(kPortsList, signature, &data) && DecodePorts(data, ports);
}

void KeepMonitors(RegStore* store, const std::vector<MonitorEntry>& entries) {
  if (entries.size() < kShortestKept) return;
  const std::string signature = MonitorsSignature();
  if (store->KeptListCurrent(kMonitorsList, signature)) return;
  store->StoreKeptList(kMonitorsList, "monitors", signature, EncodeMonitors(entries));
}

void KeepPorts(RegStore* store, const std::string& signature, const std::vector<KnownPort>& ports) {
  if (ports.size() < kShortestKept || store->KeptListCurrent(kPortsList, signature)) return;
  store->StoreKeptList(kPortsList, "ports", signature, EncodePorts(ports));
}

}  // namespace spool
}  // namespace qzhost
