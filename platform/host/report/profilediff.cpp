// Profile comparison: two texts of one file, key by key.
#include <string.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/host/machine/machine.h"
#include "platform/host/profile/inifile.h"
#include "platform/host/report/changes.h"

namespace qzhost {
namespace {

// Every key of `section` in `from` that `other` lacks, as `action`.
void KeysMissingIn(const IniFile& from, const IniFile& other, std::string_view section,
                   ChangeAction action, const std::string& file,
                   std::vector<ProfileChange>* changes) {
  for (std::string_view key : from.KeyNames(section)) {
    std::string_view value, unused;
    if (other.FindValue(section, key, &unused)) continue;
    from.FindValue(section, key, &value);
    ProfileChange change{action, file, std::string(section), std::string(key), {}, {}};
    (action == ChangeAction::kAdded ? change.after : change.before) = std::string(value);
    changes->push_back(std::move(change));
  }
}

// The names of the sections Windows reads: a header met again names the
// section of its first header.
std::vector<std::string_view> ReadSections(const IniFile& ini, unsigned codePage) {
  std::vector<std::string_view> names;
  for (std::string_view name : ini.SectionNames()) {
    bool seen = false;
    for (std::string_view earlier : names) seen = seen || SameProfileName(earlier, name, codePage);
    if (!seen) names.push_back(name);
  }
  return names;
}

}  // namespace

void DiffProfile(const std::string& file, const std::string& before, const std::string& after,
                 unsigned codePage, std::vector<ProfileChange>* changes) {
  if (before == after) return;
  IniFile old(before, codePage), now(after, codePage);
  for (std::string_view section : ReadSections(now, codePage)) {
    for (std::string_view key : now.KeyNames(section)) {
      std::string_view was, is;
      now.FindValue(section, key, &is);
      if (old.FindValue(section, key, &was) && was != is)
        changes->push_back({ChangeAction::kChanged, file, std::string(section), std::string(key),
                            std::string(was), std::string(is)});
    }
    KeysMissingIn(now, old, section, ChangeAction::kAdded, file, changes);
    KeysMissingIn(old, now, section, ChangeAction::kRemoved, file, changes);
  }
  for (std::string_view section : ReadSections(old, codePage)) {
    if (!now.HasSection(section))
      KeysMissingIn(old, now, section, ChangeAction::kRemoved, file, changes);
  }
}

std::string MachineFileName(const std::string& hostPath) {
  std::string drive = MachineRoot() + "/drive_c/";
  if (hostPath.size() <= drive.size() || strncmp(hostPath.c_str(), drive.c_str(), drive.size()))
    return hostPath;
  std::string name = "C:\\" + hostPath.substr(drive.size());
  for (char& c : name) {
    if (c == '/') c = '\\';
  }
  return name;
}

}  // namespace qzhost
