// The report's spooler part: the difference of the spooler's own lists
// before and after the run, as the listings show them. An object listed
// after but not before was added, one listed before but not after removed,
// and one listed in both with other columns changed; what the lists do not
// show (a key that no listing reads, a monitor without its DLL) is no
// spooler change, however the registry's keys moved.
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "platform/host/registry/regstore.h"
#include "platform/host/report/changes.h"

namespace qzhost {
namespace {

typedef std::tuple<std::string, std::string, std::string> ListedKey;

// Names compare as the registry compares them.
ListedKey KeyOf(const SpoolerListed& object, unsigned codePage) {
  return ListedKey(object.object, RegUpperName(codePage, object.name), object.environment);
}

// Environments are told for drivers and print processors, whose names an
// environment qualifies.
SpoolerChange ChangeOf(ChangeAction action, const SpoolerListed& object) {
  bool qualified = object.object == "driver" || object.object == "print processor";
  return {action, object.object, object.name, qualified ? object.environment : std::string()};
}

}  // namespace

std::vector<SpoolerChange> DiffSpoolerLists(const std::vector<SpoolerListed>& before,
                                            const std::vector<SpoolerListed>& after,
                                            unsigned codePage) {
  std::map<ListedKey, const SpoolerListed*> earlier;
  for (const SpoolerListed& object : before) earlier.emplace(KeyOf(object, codePage), &object);
  std::vector<SpoolerChange> changes;
  for (const SpoolerListed& object : after) {
    auto found = earlier.find(KeyOf(object, codePage));
    if (found == earlier.end()) {
      changes.push_back(ChangeOf(ChangeAction::kAdded, object));
      continue;
    }
    if (found->second->fields != object.fields || found->second->name != object.name)
      changes.push_back(ChangeOf(ChangeAction::kChanged, object));
    earlier.erase(found);
  }
  for (const SpoolerListed& object : before)
    if (earlier.count(KeyOf(object, codePage)) != 0)
      changes.push_back(ChangeOf(ChangeAction::kRemoved, object));
  return changes;
}

}  // namespace qzhost
