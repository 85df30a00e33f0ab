// The shape of the tree, checked before a walk relies on it: another program
// may have written any rows into the tables.
#include <sqlite3.h>

#include <string>
#include <unordered_map>
#include <vector>

#include "platform/host/registry/regstore.h"
#include "platform/host/registry/regstore_sql.h"

namespace qzhost {
namespace {

// Depth below its root of every key, by parent links read in one pass: -1 on
// a cycle or below a missing key. Each key is followed up once, with an
// explicit stack (no recursion that rows could make as deep as they like).
class TreeShape {
 public:
  void Add(RegKeyId id, RegKeyId parent) { parent_[id] = parent; }

  // True when the four roots are there, at the top.
  bool HasRoots() const {
    for (RegKeyId id = 1; id <= 4; ++id) {
      auto found = parent_.find(id);
      if (found == parent_.end() || found->second != kNoKey) return false;
    }
    return true;
  }

  // The deepest level; *lost counts the keys below no root.
  int64_t Deepest(int64_t* lost) {
    int64_t deepest = 0;
    *lost = 0;
    for (const auto& entry : parent_) {
      int64_t d = DepthOf(entry.first);
      if (d < 0) ++*lost;
      if (d > deepest) deepest = d;
    }
    return deepest;
  }

 private:
  static const int64_t kOpen = -2;  // on the chain being followed now

  static bool IsRoot(RegKeyId id) { return id >= 1 && id <= 4; }

  // Follows the parents up to a key of known depth, a root, a missing key or
  // one already on the chain (a cycle), then sets the depth of the chain.
  int64_t DepthOf(RegKeyId id) {
    std::vector<RegKeyId> chain;
    int64_t depth = -1;
    for (RegKeyId at = id;;) {
      auto known = depth_.find(at);
      if (known != depth_.end()) {
        depth = known->second == kOpen ? -1 : known->second;
        break;
      }
      auto up = parent_.find(at);
      if (up == parent_.end()) break;
      if (up->second == kNoKey) {
        depth = IsRoot(at) ? 0 : -1;
        depth_[at] = depth;
        break;
      }
      depth_[at] = kOpen;
      chain.push_back(at);
      at = up->second;
    }
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
      if (depth >= 0) ++depth;
      depth_[*it] = depth;
    }
    return depth_.count(id) ? depth_[id] : -1;
  }

  std::unordered_map<RegKeyId, RegKeyId> parent_;
  std::unordered_map<RegKeyId, int64_t> depth_;
};

}  // namespace

DWORD RegStore::CheckTree(std::string* why) {
  if (db_ == nullptr) return ERROR_INVALID_HANDLE;
  BeginRead();
  TreeShape shape;
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_prepare_v2(db_, "SELECT id, parent FROM keys", -1, &st, nullptr);
  while (rc == SQLITE_OK && (rc = sqlite3_step(st)) == SQLITE_ROW) {
    shape.Add(sqlite3_column_int64(st, 0), sqlite3_column_int64(st, 1));
    rc = SQLITE_OK;
  }
  sqlite3_finalize(st);
  bool lostValues = false;
  if (rc == SQLITE_DONE) {
    st = nullptr;
    rc = sqlite3_prepare_v2(db_,
                            "SELECT EXISTS(SELECT 1 FROM vals v WHERE NOT EXISTS"
                            " (SELECT 1 FROM keys k WHERE k.id = v.key))",
                            -1, &st, nullptr);
    if (rc == SQLITE_OK && (rc = sqlite3_step(st)) == SQLITE_ROW)
      lostValues = sqlite3_column_int(st, 0) != 0, rc = SQLITE_DONE;
    sqlite3_finalize(st);
  }
  if (rc != SQLITE_DONE) {
    *why = sqlite3_errmsg(db_);
    return Fail(rc);
  }
  int64_t lost = 0;
  int64_t deepest = shape.Deepest(&lost);
  if (!shape.HasRoots())
    *why = "the registry is damaged: a root key is missing or lies below another key";
  else if (lost > 0)
    *why = "the registry is damaged: " + std::to_string(lost) +
           " key(s) lie below no root (a cycle of parents, or a missing parent)";
  else if (deepest > kRegMaxDepth)
    *why = "the registry is damaged: a key lies more than " + std::to_string(kRegMaxDepth) +
           " levels below its root (Windows allows " + std::to_string(kRegMaxDepth) + ")";
  else if (lostValues)
    *why = "the registry is damaged: values of a key that does not exist";
  else
    return ERROR_SUCCESS;
  return ERROR_BADDB;
}

}  // namespace qzhost
