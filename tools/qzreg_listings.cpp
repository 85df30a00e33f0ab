// qzreg's listings of the spooler: printers, drivers, monitors, processors, ports.
//
// The lists are the spooler's own (spooler_lists.h), the ones a report's
// spooler part is the difference of; this file only shows them.
#include <fnmatch.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/host/machine/hostutf8.h"
#include "platform/host/machine/machine.h"
#include "platform/host/report/jsontext.h"
#include "platform/host/spooler/spooler_lists.h"
#include "platform/win32.h"
#include "tools/qzreg.h"

namespace qzreg {
namespace {

// The arguments a listing takes (--json, --all where `takesAll`, one NAME);
// kExitOk, or the usage status after a message.
int ParseListingArgs(const Args& args, const char* command, bool takesAll, bool* json, bool* all,
                     std::string* pattern) {
  for (const std::string& arg : args) {
    if (arg == "--json")
      *json = true;
    else if (arg == "--all" && takesAll)
      *all = true;
    else if (!arg.empty() && arg[0] != '-' && pattern->empty())
      *pattern = arg;
    else
      return Complain(kExitUsage, std::string("invalid argument '") + arg + "' (try qzreg " +
                                      command + " --help)");
  }
  return kExitOk;
}

// A listing prints a table for people or, with --json, a JSON array with
// one object per row for programs.
class Listing {
 public:
  ~Listing() {
    if (store_ != nullptr) store_->UnpinReadSnapshot();
  }
  // Checks the arguments, then opens the machine and holds one snapshot of
  // it for the whole listing (never half of a change a running qzinst32
  // commits meanwhile). kExitOk, or the status after a message.
  int Parse(const Args& args, const char* command, bool takesAll = false) {
    if (int status = ParseListingArgs(args, command, takesAll, &json_, &all_, &pattern_))
      return status;
    int status = kExitOk;
    store_ = ExistingRegistry(&status);
    if (store_ == nullptr) return status;
    std::string bad, typed = pattern_;
    if (!qzhost::ArgumentToCodePage(qzhost::Machine().codePage, typed, &pattern_, &bad))
      return Complain(kExitUsage, "the NAME holds '" + bad + "', which code page " +
                                      std::to_string(qzhost::Machine().codePage) + " cannot hold");
    store_->PinReadSnapshot();
    return status;
  }
  bool json() const { return json_; }
  bool all() const { return all_; }
  // The row's name matches the NAME given (wildcards as Get-Printer -Name
  // takes them, without regard to case), or none was given.
  bool Wanted(const std::string& name) const {
    return pattern_.empty() || fnmatch(pattern_.c_str(), name.c_str(), FNM_CASEFOLD) == 0;
  }
  void Row(const qzhost::JsonObject& row) { rows_.push_back(row.Text()); }
  // A row of the table; the first is the header. Each column is as wide as
  // its longest cell, so that no name runs into the next column.
  void Cells(std::vector<std::string> cells) { table_.push_back(std::move(cells)); }
  int Finish() {
    if (!json_) {
      PrintTable();
      return kExitOk;
    }
    printf("[");
    for (size_t i = 0; i < rows_.size(); ++i) printf("%s\n  %s", i ? "," : "", rows_[i].c_str());
    printf("%s]\n", rows_.empty() ? "" : "\n");
    NoteJsonPrinted();
    return kExitOk;
  }

 private:
  // Characters, not bytes, of the text as the terminal gets it.
  static size_t Width(const std::string& text) {
    if (!qzhost::HostSpeaksUtf8()) return text.size();
    size_t n = 0;
    for (char c : text) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
  }

  void PrintTable() const {
    std::vector<std::vector<std::string>> shown;
    std::vector<size_t> widths;
    for (const std::vector<std::string>& row : table_) {
      shown.emplace_back();
      for (const std::string& cell : row)
        shown.back().push_back(qzhost::ForTerminal(qzhost::Machine().codePage, cell));
      if (widths.size() < row.size()) widths.resize(row.size());
      for (size_t i = 0; i < row.size(); ++i)
        widths[i] = std::max(widths[i], Width(shown.back()[i]));
    }
    for (const std::vector<std::string>& row : shown) {
      std::string line;
      for (size_t i = 0; i < row.size(); ++i) {
        line += row[i];
        if (i + 1 < row.size()) line += std::string(widths[i] - Width(row[i]) + 1, ' ');
      }
      printf("%s\n", line.c_str());
    }
  }

  qzhost::RegStore* store_ = nullptr;
  std::vector<std::vector<std::string>> table_;
  bool json_ = false;
  bool all_ = false;
  std::string pattern_;
  std::vector<std::string> rows_;
};

const char kNull[] = "null";

// The listed object's field `name`, or null where it has none.
const std::string* Field(const qzhost::SpoolerListed& object, const char* name) {
  for (const auto& field : object.fields)
    if (field.first == name) return &field.second;
  return nullptr;
}

std::string FieldText(const qzhost::SpoolerListed& object, const char* name) {
  const std::string* value = Field(object, name);
  return value ? *value : "";
}

// A number the spooler's lists give as decimal text, in one style for every
// value (0x0, 0x3, 0x400).
std::string HexText(const qzhost::SpoolerListed& object, const char* name) {
  char text[16];
  snprintf(text, sizeof text, "0x%lx", strtoul(FieldText(object, name).c_str(), nullptr, 10));
  return text;
}

// The JSON row: name, environment where `withEnvironment`, then the fields,
// numbers and truth values bare, missing ones (`absent`) null.
qzhost::JsonObject JsonRow(const qzhost::SpoolerListed& object, bool withEnvironment,
                           std::initializer_list<const char*> bare,
                           std::initializer_list<const char*> absent = {}) {
  qzhost::JsonObject row;
  row.Add("name", object.name);
  if (withEnvironment) row.Add("environment", object.environment);
  for (const auto& field : object.fields) {
    bool isBare = false;
    for (const char* name : bare) isBare = isBare || field.first == name;
    if (isBare)
      row.AddRaw(field.first, field.second);
    else
      row.Add(field.first, field.second);
  }
  for (const char* name : absent)
    if (!Field(object, name)) row.AddRaw(name, kNull);
  return row;
}

int SpoolerFailed(const std::string& why) { return Complain(kExitFailed, why); }

}  // namespace

int ListPrinters(const Args& args) {
  Listing out;
  if (int status = out.Parse(args, "printers")) return status;
  out.Cells({"Printer", "Driver", "Port", "Processor", "Datatype", "Attributes", "Default"});
  std::vector<qzhost::SpoolerListed> printers;
  qzhost::ReadSpoolerPrinters(&printers);
  for (const qzhost::SpoolerListed& p : printers) {
    if (!out.Wanted(p.name)) continue;
    if (out.json())
      out.Row(JsonRow(p, false, {"attributes", "default"}));
    else
      out.Cells({p.name, FieldText(p, "driver"), FieldText(p, "port"),
                 FieldText(p, "print_processor"), FieldText(p, "datatype"),
                 HexText(p, "attributes"), FieldText(p, "default") == "true" ? "yes" : "no"});
  }
  return out.Finish();
}

int ListDrivers(const Args& args) {
  Listing out;
  if (int status = out.Parse(args, "drivers")) return status;
  std::vector<qzhost::SpoolerListed> drivers;
  std::string why;
  if (!qzhost::ReadSpoolerDrivers(&drivers, &why)) return SpoolerFailed(why);
  out.Cells({"Driver", "Environment", "Ver", "Driver file", "Monitor"});
  for (const qzhost::SpoolerListed& d : drivers) {
    if (!out.Wanted(d.name)) continue;
    if (out.json())
      out.Row(JsonRow(d, true, {"version"}));
    else
      out.Cells({d.name, d.environment, HexText(d, "version"), FieldText(d, "driver_file"),
                 FieldText(d, "monitor")});
  }
  return out.Finish();
}

// Windows 98 gives a monitor no environment, and its DLL only where the
// monitor's key names one: both are null (or "-") where it gives none.
int ListMonitors(const Args& args) {
  Listing out;
  if (int status = out.Parse(args, "monitors", true)) return status;
  const bool isNT = qzhost::MachineIsNT();
  std::vector<qzhost::SpoolerListed> monitors;
  std::string why;
  if (!qzhost::ReadSpoolerMonitors(isNT, out.all(), &monitors, &why)) return SpoolerFailed(why);
  out.Cells({"Monitor", "Environment", "DLL"});
  for (const qzhost::SpoolerListed& m : monitors) {
    if (!out.Wanted(m.name)) continue;
    std::string dll = FieldText(m, "dll");
    bool hasDll = isNT || !dll.empty();
    if (out.json()) {
      qzhost::JsonObject row;
      row.Add("name", m.name);
      if (isNT)
        row.Add("environment", m.environment);
      else
        row.AddRaw("environment", kNull);
      if (hasDll)
        row.Add("dll", dll);
      else
        row.AddRaw("dll", kNull);
      out.Row(row);
    } else {
      out.Cells({m.name, isNT ? m.environment : "-", hasDll ? dll : "-"});
    }
  }
  return out.Finish();
}

int ListProcessors(const Args& args) {
  Listing out;
  if (int status = out.Parse(args, "processors")) return status;
  out.Cells({"Print processor", "Environment", "DLL"});
  std::vector<qzhost::SpoolerListed> processors;
  qzhost::ReadSpoolerProcessors(&processors);
  for (const qzhost::SpoolerListed& p : processors) {
    if (!out.Wanted(p.name)) continue;
    if (out.json())
      out.Row(JsonRow(p, true, {}));
    else
      out.Cells({p.name, p.environment, FieldText(p, "dll")});
  }
  return out.Finish();
}

// Windows 98's ports (level 1) have a name only: the rest is null (or "-").
int ListPorts(const Args& args) {
  Listing out;
  if (int status = out.Parse(args, "ports")) return status;
  std::vector<qzhost::SpoolerListed> ports;
  std::string why;
  if (!qzhost::ReadSpoolerPorts(qzhost::MachineIsNT(), &ports, &why)) return SpoolerFailed(why);
  out.Cells({"Port", "Monitor", "Description", "Type"});
  for (const qzhost::SpoolerListed& p : ports) {
    if (!out.Wanted(p.name)) continue;
    if (out.json())
      out.Row(JsonRow(p, false, {"type"}, {"monitor", "description", "type"}));
    else if (Field(p, "type"))
      out.Cells({p.name, FieldText(p, "monitor"), FieldText(p, "description"), HexText(p, "type")});
    else
      out.Cells({p.name, "-", "-", "-"});
  }
  return out.Finish();
}

}  // namespace qzreg
