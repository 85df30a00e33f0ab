// The store noting keys before it changes them, for a record of the run's
// changes (regrecord.h), and the run whose changes are rolled back at close.
#include "platform/host/registry/regrecord.h"
#include "platform/host/registry/regstore.h"
#include "platform/host/registry/regstore_sql.h"

namespace qzhost {

void RegStore::DiscardChangesAtClose() {
  discard_ = holdChanges_ = true;
  // Pages the run changed stay in memory: none reach the log before the
  // rollback, which then leaves the log as it was.
  Exec("PRAGMA cache_spill=OFF");
  // Log files this store's opening made are removed again at close.
  int keep = logFound_ ? 1 : 0;
  if (db_ != nullptr) sqlite3_file_control(db_, "main", SQLITE_FCNTL_PERSIST_WAL, &keep);
}

// The key, and every key above it, as touched; each is read once.
void RegStore::NoteTouched(RegKeyId id) {
  sqlite3_stmt* st = Prepare(kKeyRow, "SELECT parent, name, upper FROM keys WHERE id = ?");
  while (id != kNoKey && record_->touched.count(id) == 0) {
    if (st == nullptr) {
      record_->failed = true;
      return;
    }
    StepScope scope(st);
    sqlite3_bind_int64(st, 1, id);
    int rc = sqlite3_step(st);
    if (rc != SQLITE_ROW) {
      // A key that is gone is below no root: no walk of the registry meets it.
      if (rc != SQLITE_DONE) record_->failed = true;
      return;
    }
    RegTouchedKey& key = record_->touched[id];
    key.parent = sqlite3_column_int64(st, 0);
    key.name = ColumnBytes(st, 1);
    key.upper = ColumnBytes(st, 2);
    id = key.parent;
  }
}

// The key's entry in the record; null for a key made while recording, which
// had no state before.
RegKeyBefore* RegStore::NoteKey(RegKeyId id) {
  if (record_->made.count(id) != 0) return nullptr;
  auto found = record_->before.find(id);
  if (found != record_->before.end()) return &found->second;
  NoteTouched(id);
  return &record_->before[id];
}

void RegStore::NoteValuesBefore(RegKeyId key) {
  if (record_ == nullptr) return;
  RegKeyBefore* before = NoteKey(key);
  if (before == nullptr || before->valuesKnown) return;
  before->valuesKnown = ListValues(key, &before->values) == ERROR_SUCCESS;
  if (!before->valuesKnown) record_->failed = true;
}

void RegStore::NoteChildrenBefore(RegKeyId parent) {
  if (record_ == nullptr) return;
  RegKeyBefore* before = NoteKey(parent);
  if (before == nullptr || before->childrenKnown) return;
  before->childrenKnown =
      ListChildren(parent, &before->childNames, &before->childIds) == ERROR_SUCCESS;
  if (!before->childrenKnown) record_->failed = true;
}

// The key's parent loses a subkey, and every key of the tree that was there
// before the run is noted whole. Keys made while recording have only such
// keys below them and are passed over.
void RegStore::NoteTreeBefore(RegKeyId id) {
  if (record_ == nullptr || record_->made.count(id) != 0) return;
  NoteTouched(id);
  auto key = record_->touched.find(id);
  if (key != record_->touched.end()) NoteChildrenBefore(key->second.parent);
  NoteValuesBefore(id);
  NoteChildrenBefore(id);
  std::vector<std::string> names;
  std::vector<RegKeyId> ids;
  if (ListChildren(id, &names, &ids) != ERROR_SUCCESS) {
    record_->failed = true;
    return;
  }
  for (RegKeyId child : ids) NoteTreeBefore(child);
}

}  // namespace qzhost
