// .reg and JSON forms of a list of changes.
#include "platform/host/report/changes_format.h"

#include <string>
#include <vector>

#include "platform/host/registry/regfile.h"
#include "platform/host/report/jsontext.h"

namespace qzhost {
namespace {

std::string ValueLine(const RegValue& value) {
  return RegValueText(value, RegFileVersion::kRegedit4);
}

std::string RemovedValueLine(const RegValue& value) {
  if (value.name.empty()) return "@=-";
  std::string line = "\"";
  for (char c : value.name) {
    if (c == '\\' || c == '"') line += '\\';
    line += c;
  }
  return line + "\"=-";
}

// A comment over as many lines as the text has.
std::string Comment(const std::string& prefix, const std::string& text) {
  std::string out;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    out += "; " + prefix + text.substr(start, end - start) + "\n";
    start = end + 1;
  }
  return out;
}

std::string ProfileLine(const ProfileChange& c) {
  std::string line = c.file + " [" + c.section + "] " + c.key + "=";
  line += c.action == ChangeAction::kRemoved ? c.before : c.after;
  line += std::string(" (") + ChangeActionName(c.action);
  if (c.action == ChangeAction::kChanged) line += "; was " + c.before;
  return line + ")";
}

std::string SpoolerLine(const SpoolerChange& c) {
  std::string line = c.object + " \"" + c.name + "\"";
  if (!c.environment.empty()) line += " (" + c.environment + ")";
  return line + " " + ChangeActionName(c.action);
}

void RegistryJson(const RegKeyChange& key, std::vector<std::string>* out) {
  if (key.action != ChangeAction::kChanged) {
    out->push_back(JsonObject()
                       .Add("area", "registry")
                       .Add("action", ChangeActionName(key.action))
                       .Add("key", key.path)
                       .Text());
  }
  for (const RegValueChange& v : key.values) {
    JsonObject o;
    o.Add("area", "registry").Add("action", ChangeActionName(v.action)).Add("key", key.path);
    o.Add("value", v.action == ChangeAction::kRemoved ? v.before.name : v.after.name);
    if (v.action != ChangeAction::kRemoved) o.Add("reg", ValueLine(v.after));
    if (v.action != ChangeAction::kAdded) o.Add("was", ValueLine(v.before));
    out->push_back(o.Text());
  }
}

}  // namespace

std::string ChangesAsRegText(const MachineChanges& changes, const std::string& note) {
  std::string text = "REGEDIT4\n\n";
  if (!note.empty()) text += Comment("", note) + "\n";
  if (changes.empty()) return text + "; nothing would change\n";
  for (const RegKeyChange& key : changes.registry) {
    if (key.action == ChangeAction::kRemoved) {
      text += "[-" + key.path + "]\n\n";
      continue;
    }
    if (key.action == ChangeAction::kAdded) text += "; added\n";
    text += "[" + key.path + "]\n";
    for (const RegValueChange& v : key.values) {
      if (v.action == ChangeAction::kChanged) text += Comment("was: ", ValueLine(v.before));
      text += v.action == ChangeAction::kRemoved ? RemovedValueLine(v.before) : ValueLine(v.after);
      text += "\n";
    }
    text += "\n";
  }
  if (!changes.profiles.empty()) {
    text += "; Profile files\n";
    for (const ProfileChange& c : changes.profiles) text += Comment("  ", ProfileLine(c));
  }
  if (!changes.spooler.empty()) {
    text += "; Spooler\n";
    for (const SpoolerChange& c : changes.spooler) text += Comment("  ", SpoolerLine(c));
  }
  return text;
}

std::string ChangesAsJson(const MachineChanges& changes) {
  std::vector<std::string> items;
  for (const RegKeyChange& key : changes.registry) RegistryJson(key, &items);
  for (const ProfileChange& c : changes.profiles) {
    JsonObject o;
    o.Add("area", "profile").Add("action", ChangeActionName(c.action)).Add("file", c.file);
    o.Add("section", c.section).Add("key", c.key);
    if (c.action != ChangeAction::kRemoved) o.Add("value", c.after);
    if (c.action != ChangeAction::kAdded) o.Add("was", c.before);
    items.push_back(o.Text());
  }
  for (const SpoolerChange& c : changes.spooler) {
    JsonObject o;
    o.Add("area", "spooler").Add("action", ChangeActionName(c.action)).Add("object", c.object);
    o.Add("name", c.name);
    if (!c.environment.empty()) o.Add("environment", c.environment);
    items.push_back(o.Text());
  }
  if (items.empty()) return "[]";
  std::string json = "[\n";
  for (size_t i = 0; i < items.size(); ++i)
    json += "  " + items[i] + (i + 1 < items.size() ? ",\n" : "\n");
  return json + "]";
}

}  // namespace qzhost
