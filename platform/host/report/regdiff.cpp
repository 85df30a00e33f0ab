// Registry comparison: two stores walked side by side from the roots.
#include <map>
#include <string>
#include <vector>

#include "platform/host/report/changes.h"

namespace qzhost {
namespace {

class RegDiff {
 public:
  RegDiff(RegStore* before, RegStore* after, unsigned codePage, std::vector<RegKeyChange>* out)
      : before_(before), after_(after), codePage_(codePage), out_(out) {}

  DWORD Compare(RegKeyId beforeId, RegKeyId afterId, const std::string& path) {
    RegKeyChange change{ChangeAction::kChanged, path, {}};
    DWORD error = CompareValues(beforeId, afterId, &change.values);
    if (error != ERROR_SUCCESS) return error;
    if (!change.values.empty()) out_->push_back(std::move(change));

    std::vector<std::string> beforeNames, afterNames;
    std::vector<RegKeyId> beforeIds, afterIds;
    if ((error = before_->ListChildren(beforeId, &beforeNames, &beforeIds)) != ERROR_SUCCESS ||
        (error = after_->ListChildren(afterId, &afterNames, &afterIds)) != ERROR_SUCCESS)
      return error;
    std::map<std::string, size_t> beforeIndex;
    for (size_t i = 0; i < beforeNames.size(); ++i) beforeIndex[Upper(beforeNames[i])] = i;
    for (size_t i = 0; i < afterNames.size() && error == ERROR_SUCCESS; ++i) {
      std::string childPath = path + "\\" + afterNames[i];
      auto it = beforeIndex.find(Upper(afterNames[i]));
      if (it == beforeIndex.end()) {
        error = Added(afterIds[i], childPath);
      } else {
        error = Compare(beforeIds[it->second], afterIds[i], childPath);
        beforeIndex.erase(it);
      }
    }
    // What is gone, in the order the old registry listed it.
    for (size_t i = 0; i < beforeNames.size() && error == ERROR_SUCCESS; ++i) {
      if (beforeIndex.count(Upper(beforeNames[i])))
        out_->push_back({ChangeAction::kRemoved, path + "\\" + beforeNames[i], {}});
    }
    return error;
  }

 private:
  std::string Upper(const std::string& name) const { return RegUpperName(codePage_, name); }

  DWORD CompareValues(RegKeyId beforeId, RegKeyId afterId, std::vector<RegValueChange>* out) {
    std::vector<RegValue> before, after;
    DWORD error = before_->ListValues(beforeId, &before);
    if (error == ERROR_SUCCESS) error = after_->ListValues(afterId, &after);
    if (error != ERROR_SUCCESS) return error;
    std::map<std::string, size_t> beforeIndex;
    for (size_t i = 0; i < before.size(); ++i) beforeIndex[Upper(before[i].name)] = i;
    for (const RegValue& value : after) {
      auto it = beforeIndex.find(Upper(value.name));
      if (it == beforeIndex.end()) {
        out->push_back({ChangeAction::kAdded, {}, value});
        continue;
      }
      const RegValue& old = before[it->second];
      if (old.type != value.type || old.data != value.data)
        out->push_back({ChangeAction::kChanged, old, value});
      beforeIndex.erase(it);
    }
    for (const RegValue& old : before) {
      if (beforeIndex.count(Upper(old.name))) out->push_back({ChangeAction::kRemoved, old, {}});
    }
    return ERROR_SUCCESS;
  }

  DWORD Added(RegKeyId id, const std::string& path) {
    RegKeyChange change{ChangeAction::kAdded, path, {}};
    std::vector<RegValue> values;
    DWORD error = after_->ListValues(id, &values);
    if (error != ERROR_SUCCESS) return error;
    for (RegValue& value : values) change.values.push_back({ChangeAction::kAdded, {}, value});
    out_->push_back(std::move(change));
    std::vector<std::string> names;
    std::vector<RegKeyId> ids;
    if ((error = after_->ListChildren(id, &names, &ids)) != ERROR_SUCCESS) return error;
    for (size_t i = 0; i < names.size() && error == ERROR_SUCCESS; ++i)
      error = Added(ids[i], path + "\\" + names[i]);
    return error;
  }

  RegStore* before_;
  RegStore* after_;
  unsigned codePage_;
  std::vector<RegKeyChange>* out_;
};

}  // namespace

const char* ChangeActionName(ChangeAction action) {
  switch (action) {
    case ChangeAction::kAdded:
      return "added";
    case ChangeAction::kChanged:
      return "changed";
    case ChangeAction::kRemoved:
      return "removed";
  }
  return "changed";
}

DWORD DiffRegistry(RegStore* before, RegStore* after, unsigned codePage,
                   std::vector<RegKeyChange>* changes) {
  RegDiff diff(before, after, codePage, changes);
  for (HKEY root : {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS}) {
    RegKeyId id = RootKeyId(root);
    DWORD error = diff.Compare(id, id, RootKeyName(id));
    if (error != ERROR_SUCCESS) return error;
  }
  return ERROR_SUCCESS;
}

}  // namespace qzhost
