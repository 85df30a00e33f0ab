// What the files of RegStore share: its prepared statement slots and the
// small helpers around SQLite's binding and stepping.
#ifndef QZINST32_PLATFORM_HOST_REGSTORE_SQL_H_
#define QZINST32_PLATFORM_HOST_REGSTORE_SQL_H_

#include <sqlite3.h>

#include <string>
#include <string_view>

namespace qzhost {

// How long a write waits for another process's write lock, unless the
// process sets another wait (RegStore::SetLockWait).
const int kBusyTimeoutMs = 10000;

// Prepared statements, one slot each.
enum Slot {
  kFindChild,
  kInsertKey,
  kKeyExists,
  kListChildren,
  kListChildNames,
  kHasChild,
  kDeleteTreeValues,
  kDeleteTreeKeys,
  kGetValue,
  kUpdateValue,
  kInsertValue,
  kDeleteValue,
  kListValues,
  kDataVersion,
  kBegin,
  kBeginImmediate,
  kCommit,
  kRollback,
  kSavepoint,
  kRelease,
  kRollbackToSavepoint,
  kSyncOn,
  kSyncOff,
  kSummarizeChildren,  // and the two slots after it (see SummarizeChildren)
  kSummarizeChildrenWithSubkey,
  kSummarizeChildrenWithPorts,
  kKeyRow,
  kChildrenWithDriver,
  kChildrenWithDriverNames,
  kSlotCount
};

// Binds a byte string as a BLOB; an empty one stays a zero-length BLOB, not NULL.
inline void BindBytes(sqlite3_stmt* st, int index, const std::string& bytes) {
  sqlite3_bind_blob(st, index, bytes.empty() ? "" : bytes.data(), static_cast<int>(bytes.size()),
                    SQLITE_TRANSIENT);
}

// A column's bytes where SQLite holds them, valid until the statement moves on.
inline std::string_view ColumnView(sqlite3_stmt* st, int index) {
  const void* p = sqlite3_column_blob(st, index);
  int n = sqlite3_column_bytes(st, index);
  return p ? std::string_view(static_cast<const char*>(p), n) : std::string_view();
}

inline std::string ColumnBytes(sqlite3_stmt* st, int index) {
  return std::string(ColumnView(st, index));
}

// Resets a cached statement when the step is over, whatever happened.
class StepScope {
 public:
  explicit StepScope(sqlite3_stmt* st) : st_(st) {}
  ~StepScope() {
    if (st_) {
      sqlite3_reset(st_);
      sqlite3_clear_bindings(st_);
    }
  }

 private:
  sqlite3_stmt* st_;
};

}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_REGSTORE_SQL_H_
