// Registry comparison: two stores walked side by side from the roots.
#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "platform/host/registry/regrecord.h"
#include "platform/host/report/changes.h"

namespace qzhost {
namespace {

// Two registries walked side by side from the roots; or, with a record, one
// registry now against the keys the record has as they were, walking only
// down to the keys it names.
class RegDiff {
 public:
  RegDiff(RegStore* before, RegStore* after, unsigned codePage, std::vector<RegKeyChange>* out,
          const RegChangeRecord* record = nullptr)
      : before_(before), after_(after), codePage_(codePage), out_(out), record_(record) {
    if (record_ == nullptr) return;
    for (const auto& [id, key] : record_->touched) touchedBelow_[key.parent].push_back(id);
  }

  // `depth` levels below its root: no walk goes deeper than Windows allows,
  // whatever rows another program wrote into the tables.
  DWORD Compare(RegKeyId beforeId, RegKeyId afterId, const std::string& path, int depth) {
    if (depth > kRegMaxDepth) return ERROR_BADDB;
    const bool same = record_ != nullptr && beforeId == afterId;
    if (same && record_->touched.count(beforeId) == 0) return ERROR_SUCCESS;
    RegKeyChange change{ChangeAction::kChanged, path, {}};
    DWORD error = CompareValues(beforeId, afterId, &change.values);
    if (error != ERROR_SUCCESS) return error;
    if (!change.values.empty()) out_->push_back(std::move(change));
    if (same && Before(beforeId, &RegKeyBefore::childrenKnown) == nullptr)
      return CompareTouchedChildren(beforeId, path, depth);

    std::vector<std::string> beforeNames, afterNames;
    std::vector<RegKeyId> beforeIds, afterIds;
    if (const RegKeyBefore* known = Before(beforeId, &RegKeyBefore::childrenKnown)) {
      beforeNames = known->childNames;
      beforeIds = known->childIds;
    } else if ((error = before_->ListChildren(beforeId, &beforeNames, &beforeIds)) !=
               ERROR_SUCCESS) {
      return error;
    }
    if ((error = after_->ListChildren(afterId, &afterNames, &afterIds)) != ERROR_SUCCESS)
      return error;
    std::map<std::string, size_t> beforeIndex;
    for (size_t i = 0; i < beforeNames.size(); ++i) beforeIndex[Upper(beforeNames[i])] = i;
    for (size_t i = 0; i < afterNames.size() && error == ERROR_SUCCESS; ++i) {
      std::string childPath = path + "\\" + afterNames[i];
      auto it = beforeIndex.find(Upper(afterNames[i]));
      if (it == beforeIndex.end()) {
        error = Added(afterIds[i], childPath, depth + 1);
      } else {
        error = Compare(beforeIds[it->second], afterIds[i], childPath, depth + 1);
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

  // What the record knows of the key as it was, when it knows `part`.
  const RegKeyBefore* Before(RegKeyId id, bool RegKeyBefore::*part) const {
    if (record_ == nullptr) return nullptr;
    auto found = record_->before.find(id);
    return found != record_->before.end() && found->second.*part ? &found->second : nullptr;
  }

  // A key whose subkeys are the same ones as before: only those touched can
  // differ, taken in enumeration order.
  DWORD CompareTouchedChildren(RegKeyId id, const std::string& path, int depth) {
    auto below = touchedBelow_.find(id);
    if (below == touchedBelow_.end()) return ERROR_SUCCESS;
    std::vector<RegKeyId> ids = below->second;
    std::sort(ids.begin(), ids.end(), [this](RegKeyId a, RegKeyId b) {
      const std::string& x = record_->touched.at(a).upper;
      const std::string& y = record_->touched.at(b).upper;
      if (RegNameOrderLess(codePage_, x, y)) return true;
      return !RegNameOrderLess(codePage_, y, x) && x < y;
    });
    DWORD error = ERROR_SUCCESS;
    for (size_t i = 0; i < ids.size() && error == ERROR_SUCCESS; ++i)
      error = Compare(ids[i], ids[i], path + "\\" + record_->touched.at(ids[i]).name, depth + 1);
    return error;
  }

  DWORD CompareValues(RegKeyId beforeId, RegKeyId afterId, std::vector<RegValueChange>* out) {
    std::vector<RegValue> before, after;
    DWORD error = ERROR_SUCCESS;
    if (const RegKeyBefore* known = Before(beforeId, &RegKeyBefore::valuesKnown)) {
      before = known->values;
    } else {
      error = before_->ListValues(beforeId, &before);
    }
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

  DWORD Added(RegKeyId id, const std::string& path, int depth) {
    if (depth > kRegMaxDepth) return ERROR_BADDB;
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
      error = Added(ids[i], path + "\\" + names[i], depth + 1);
    return error;
  }

  RegStore* before_;
  RegStore* after_;
  unsigned codePage_;
  std::vector<RegKeyChange>* out_;
  const RegChangeRecord* record_;
  std::map<RegKeyId, std::vector<RegKeyId>> touchedBelow_;  // by parent
};

DWORD DiffFromRoots(RegDiff* diff) {
  for (HKEY root : {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS}) {
    RegKeyId id = RootKeyId(root);
    DWORD error = diff->Compare(id, id, RootKeyName(id), 0);
    if (error != ERROR_SUCCESS) return error;
  }
  return ERROR_SUCCESS;
}

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
  return DiffFromRoots(&diff);
}

DWORD DiffRecordedRegistry(const RegChangeRecord& record, RegStore* store, unsigned codePage,
                           std::vector<RegKeyChange>* changes) {
  RegDiff diff(store, store, codePage, changes, &record);
  return DiffFromRoots(&diff);
}

}  // namespace qzhost
