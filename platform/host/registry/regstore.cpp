// Registry storage over SQLite: schema, format check, keys and values.
#include "platform/host/registry/regstore.h"

#include <errno.h>
#include <fcntl.h>
#include <sqlite3.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>

#include "platform/host/machine/codepage.h"
#include "platform/host/machine/cpconvert.h"
#include "platform/host/machine/hostfile.h"
#include "platform/host/registry/regerror.h"
#include "platform/host/registry/regrecord.h"
#include "platform/host/registry/regstore_rows.h"
#include "platform/host/registry/regstore_sql.h"
#include "platform/host/registry/sqlitevfs.h"

namespace qzhost {
namespace {

const char kFormatName[] = "QZINST32 registry";
const int kFormatVersion = 1;
// How long reads share one snapshot. Without it SQLite takes and drops the
// log's read lock around every statement, which costs more than most lookups
// themselves; another process's commit shows at the latest this much later.
const int64_t kReadSnapshotMicros = 20000;
// The log syncs nothing by itself and is never checkpointed behind our back:
// commits stay in the log until Flush or Close checkpoint it with syncs in the
// safe order (log, then database). A run that changes something thus pays for
// that one checkpoint, not for a sync at every start of the log as well. The
// checkpoint at close empties the log (see KeepLogFiles), and the size limit
// is that of a log the file layer keeps (sqlitevfs.h).
// Undo records of the nested transactions stay in memory: on a large registry
// they outgrow SQLite's in-memory limit and would go to a temporary file
// created, written and removed in every run.
const char kLogMode[] =
    "PRAGMA journal_mode=WAL; PRAGMA synchronous=OFF; PRAGMA wal_autocheckpoint=0;"
    " PRAGMA journal_size_limit=1048576; PRAGMA temp_store=MEMORY;";
static_assert(kKeptLogBytes == 1048576, "the log's size limit is the size of a log kept");

struct RootRow {
  RegKeyId id;
  ULONG_PTR hkey;
  const char* name;
  const char* shortName;
};

const RootRow kRoots[] = {
    {1, 0x80000000, "HKEY_CLASSES_ROOT", "HKCR"},
    {2, 0x80000001, "HKEY_CURRENT_USER", "HKCU"},
    {3, 0x80000002, "HKEY_LOCAL_MACHINE", "HKLM"},
    {4, 0x80000003, "HKEY_USERS", "HKU"},
};

// What listings read, besides the tables: the children of a key from one
// index that holds their names in order; and what the spooler reads below each
// of thousands of monitors (see regstore_summary.cpp). The keys named Ports,
// of which there are few, have an index of their own. The values named Driver
// have a table of their own, each row with its key's parent and names: the
// join of keys and vals it stands for, read in one pass in the order of the
// keys' names. Triggers on both tables keep it that join in the transaction of
// every change, whoever makes it. (Rows that an INSERT OR REPLACE removes fire
// delete triggers only with SQLite's recursive_triggers on: a script that
// replaces keys or values so turns it on.)
const char kListingSchema[] =
    "CREATE INDEX IF NOT EXISTS keys_listed ON keys(parent, upper, name);"
    "CREATE INDEX IF NOT EXISTS keys_named_ports ON keys(parent) WHERE upper = x'504F525453';"
    "CREATE TABLE IF NOT EXISTS driver_values(parent INTEGER NOT NULL, upper BLOB NOT NULL,"
    " name BLOB NOT NULL, type INTEGER NOT NULL, data BLOB NOT NULL, PRIMARY KEY(parent, upper))"
    " WITHOUT ROWID;"
    "CREATE TRIGGER IF NOT EXISTS driver_values_key_insert AFTER INSERT ON keys BEGIN"
    " INSERT OR REPLACE INTO driver_values SELECT new.parent, new.upper, new.name, type, data"
    " FROM vals WHERE key = new.id AND upper = x'445249564552'; END;"
    "CREATE TRIGGER IF NOT EXISTS driver_values_key_update AFTER UPDATE ON keys BEGIN"
    " DELETE FROM driver_values WHERE parent = old.parent AND upper = old.upper;"
    " INSERT OR REPLACE INTO driver_values SELECT new.parent, new.upper, new.name, type, data"
    " FROM vals WHERE key = new.id AND upper = x'445249564552'; END;"
    "CREATE TRIGGER IF NOT EXISTS driver_values_key_delete AFTER DELETE ON keys BEGIN"
    " DELETE FROM driver_values WHERE parent = old.parent AND upper = old.upper; END;"
    "CREATE TRIGGER IF NOT EXISTS driver_values_value_insert AFTER INSERT ON vals"
    " WHEN new.upper = x'445249564552' BEGIN"
    " INSERT OR REPLACE INTO driver_values SELECT parent, upper, name, new.type, new.data"
    " FROM keys WHERE id = new.key; END;"
    "CREATE TRIGGER IF NOT EXISTS driver_values_value_update AFTER UPDATE ON vals"
    " WHEN old.upper = x'445249564552' OR new.upper = x'445249564552' BEGIN"
    " DELETE FROM driver_values WHERE old.upper = x'445249564552'"
    " AND parent = (SELECT parent FROM keys WHERE id = old.key)"
    " AND upper = (SELECT upper FROM keys WHERE id = old.key);"
    " INSERT OR REPLACE INTO driver_values SELECT parent, upper, name, new.type, new.data"
    " FROM keys WHERE id = new.key AND new.upper = x'445249564552'; END;"
    "CREATE TRIGGER IF NOT EXISTS driver_values_value_delete AFTER DELETE ON vals"
    " WHEN old.upper = x'445249564552' BEGIN DELETE FROM driver_values"
    " WHERE parent = (SELECT parent FROM keys WHERE id = old.key)"
    " AND upper = (SELECT upper FROM keys WHERE id = old.key); END;";
// The names of the objects above, for the format check.
const char kListingObjectNames[] =
    "'keys_listed', 'keys_named_ports', 'driver_values', 'driver_values_key_insert',"
    " 'driver_values_key_update', 'driver_values_key_delete', 'driver_values_value_insert',"
    " 'driver_values_value_update', 'driver_values_value_delete'";
const int kListingObjectCount = 9;
// Makes the table of Driver values and its triggers anew, from the tables: a
// registry of an earlier version had none, or another shape of them.
const char kRebuildDriverValues[] =
    "DROP TRIGGER IF EXISTS driver_values_key_insert;"
    "DROP TRIGGER IF EXISTS driver_values_key_update;"
    "DROP TRIGGER IF EXISTS driver_values_key_delete;"
    "DROP TRIGGER IF EXISTS driver_values_value_insert;"
    "DROP TRIGGER IF EXISTS driver_values_value_update;"
    "DROP TRIGGER IF EXISTS driver_values_value_delete;"
    "DROP TABLE IF EXISTS driver_values;";
const char kFillDriverValues[] =
    "INSERT INTO driver_values SELECT k.parent, k.upper, k.name, v.type, v.data"
    " FROM keys k JOIN vals v ON v.key = k.id WHERE v.upper = x'445249564552';";

const char kSchema[] =
    "CREATE TABLE registry_format(format TEXT NOT NULL, version INTEGER NOT NULL);"
    "CREATE TABLE keys(id INTEGER PRIMARY KEY, parent INTEGER NOT NULL, name BLOB NOT NULL,"
    " upper BLOB NOT NULL);"
    "CREATE UNIQUE INDEX keys_by_name ON keys(parent, upper);"
    "CREATE TABLE vals(id INTEGER PRIMARY KEY, key INTEGER NOT NULL, name BLOB NOT NULL,"
    " upper BLOB NOT NULL, type INTEGER NOT NULL, data BLOB NOT NULL);"
    "CREATE UNIQUE INDEX vals_by_name ON vals(key, upper);"
    "CREATE INDEX vals_in_order ON vals(key, id);";

// Once, before SQLite's first use: every connection of this process is used
// by its one thread, so SQLite's locks and its memory statistics would only
// cost time. (When something else started SQLite first, this changes nothing.)
void ConfigureSqliteOnce() {
  static const bool configured = [] {
    sqlite3_config(SQLITE_CONFIG_SINGLETHREAD);
    sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
    return true;
  }();
  (void)configured;
}

int64_t MonotonicMicros() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

}  // namespace

RegKeyId RootKeyId(HKEY hKey) {
  ULONG_PTR value = reinterpret_cast<ULONG_PTR>(hKey);
  for (const RootRow& row : kRoots)
    if (row.hkey == value) return row.id;
  return kNoKey;
}

const char* RootKeyName(RegKeyId id) {
  for (const RootRow& row : kRoots)
    if (row.id == id) return row.name;
  return nullptr;
}

RegKeyId RootKeyIdByName(const std::string& name) {
  std::string upper = RegUpperName(1252, name);
  for (const RootRow& row : kRoots)
    if (upper == row.name || upper == row.shortName) return row.id;
  return kNoKey;
}

std::string RegUpperName(unsigned codePage, const std::string& name) {
  std::string out = name;
  for (size_t i = 0; i < out.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(out[i]);
    if (IsLeadByteOf(codePage, c))
      ++i;  // the trail byte is part of one double-byte character
    else
      out[i] = static_cast<char>(UpperByteOf(codePage, c));
  }
  return out;
}

// Windows NT keeps a key's subkeys sorted by their names upper-cased in
// Unicode and compared by UTF-16 code unit (the hive format's sorted subkey
// lists; Wine's registry tests see the same order). So the code page 1252
// letters at 0x80-0x9F (S caron U+0160, OE U+0152, Z caron U+017D, Y
// diaeresis U+0178) and the euro sign (U+20AC) come after every Latin-1
// letter: subkeys "\xFF", "\x80", "\xC4" list as Ae, Y diaeresis, euro; and
// on 932 the half-width katakana (U+FF61 on) after the kanji. A name that is
// no text of the code page (a lone lead byte) counts its bytes as they are.
namespace {
std::u16string RegSortKey(unsigned codePage, const std::string& upper) {
  std::u16string key;
  if (CodePageToUtf16(codePage, upper, &key)) return key;
  key.clear();
  for (char c : upper) key.push_back(static_cast<unsigned char>(c));
  return key;
}
}  // namespace

bool RegNameOrderLess(unsigned codePage, const std::string& upperA, const std::string& upperB) {
  return RegSortKey(codePage, upperA) < RegSortKey(codePage, upperB);
}

RegStore::~RegStore() { Close(); }

void RegStore::Close() {
  EndRead();
  EndRunTransaction();
  if (db_ != nullptr) {
    if (unsynced_) {
      DWORD error = Checkpoint(SQLITE_CHECKPOINT_PASSIVE);
      if (error != ERROR_SUCCESS) WriteFailed(error);
      unsynced_ = false;
    }
    // Whatever SQLite itself does at close (the last connection checkpoints
    // and empties the log) must sync as well.
    Run(kSyncOn, "PRAGMA synchronous=NORMAL");
  }
  snapshots_ = false;
  holdChanges_ = discard_ = false;
  record_ = nullptr;
  for (sqlite3_stmt* st : statements_) sqlite3_finalize(st);
  statements_.clear();
  if (db_ != nullptr) sqlite3_close(db_);
  db_ = nullptr;
}

void RegStore::HoldChangesUntilClose() { holdChanges_ = true; }

// Commits the changes held for the run; a failure is the machine's.
DWORD RegStore::EndRunTransaction() {
  if (!runOpen_) return ERROR_SUCCESS;
  runOpen_ = versionKnown_ = false;
  if (discard_) {
    RollBackOutermost();
    return ERROR_SUCCESS;
  }
  DWORD error = CommitOutermost();
  if (error != ERROR_SUCCESS) {
    RollBackOutermost();
    return WriteFailed(error);
  }
  return ERROR_SUCCESS;
}

// Takes the write lock, waiting up to the busy timeout or not at all, and
// begins the outermost transaction. A lock still held by another program
// past the wait is a fault of the machine: the write it was for, and every
// later one, fails (at once), and the run stores nothing.
DWORD RegStore::BeginOutermost(bool wait) {
  if (discard_ && !openingRun_) return ERROR_ACCESS_DENIED;
  EndRead();
  if (!wait || lockLost_) sqlite3_busy_timeout(db_, 0);
  DWORD error = Run(kBeginImmediate, "BEGIN IMMEDIATE");
  if (!wait || lockLost_) sqlite3_busy_timeout(db_, LockWaitMs());
  if (wait && error == kErrorLockViolation) {
    lockLost_ = true;
    if (writeFault_) writeFault_(error, "");
  }
  return error;
}

DWORD RegStore::BeginRunTransaction() {
  openingRun_ = true;
  DWORD error = BeginOutermost(true);
  openingRun_ = false;
  return error;
}

DWORD RegStore::CommitOutermost() {
  DWORD error = Run(kCommit, "COMMIT");
  if (error != ERROR_SUCCESS) return error;
  ++localChanges_;
  unsynced_ = true;
  return ERROR_SUCCESS;
}

void RegStore::RollBackOutermost() { Run(kRollback, "ROLLBACK"); }

DWORD RegStore::Fail(int rc) {
  return Win32ErrorFromSqlite(db_ ? sqlite3_extended_errcode(db_) : rc);
}

DWORD RegStore::Exec(const char* sql) {
  int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
  return rc == SQLITE_OK ? ERROR_SUCCESS : Fail(rc);
}

// A statement without results, prepared once: transaction control runs
// several times per call, and parsing it each time costs more than running it.
DWORD RegStore::Run(int slot, const char* sql) {
  sqlite3_stmt* st = Prepare(slot, sql);
  if (st == nullptr) return Fail(sqlite3_errcode(db_));
  int rc = sqlite3_step(st);
  sqlite3_reset(st);
  return rc == SQLITE_DONE ? ERROR_SUCCESS : Fail(rc);
}

sqlite3_stmt* RegStore::Prepare(int slot, const char* sql) {
  if (statements_.empty()) statements_.assign(kSlotCount, nullptr);
  sqlite3_stmt*& st = statements_[slot];
  if (st == nullptr &&
      sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &st, nullptr) != SQLITE_OK) {
    st = nullptr;
  }
  return st;
}

DWORD RegStore::Open(const std::string& path, unsigned codePage, const std::function<DWORD()>& seed,
                     std::string* why) {
  Close();
  ConfigureSqliteOnce();
  codePage_ = codePage;
  bool inMemory = path == ":memory:";
  if (!inMemory) {
    // Created here rather than by SQLite so the file (and the -wal and -shm
    // files, which copy its mode) is private from the start.
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
      close(fd);
      SyncFolderOf(path);
    } else if (errno != EEXIST) {
      *why = "cannot create " + path + ": " + strerror(errno);
      return Win32ErrorFromErrno(errno);
    }
  }
  logFound_ = inMemory || access((path + "-wal").c_str(), F_OK) == 0;
  // One connection per store, used by one thread: SQLite's own locking of
  // the connection would only cost time.
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (inMemory ? SQLITE_OPEN_CREATE : 0);
  int rc = sqlite3_open_v2(path.c_str(), &db_, flags, inMemory ? nullptr : RegistryVfsName());
  if (rc != SQLITE_OK) {
    *why = db_ ? sqlite3_errmsg(db_) : "cannot open";
    DWORD error = Fail(rc);
    Close();
    return error;
  }
  sqlite3_extended_result_codes(db_, 1);
  sqlite3_busy_timeout(db_, LockWaitMs());
  RegisterRowBlockFunction(db_, &rowTarget_);
  lockLost_ = false;

  // Nothing is written before the file is known to be ours.
  bool earlier = false;
  DWORD error = CheckFormat(why, &earlier);
  if (error == ERROR_SUCCESS && !inMemory) {
    error = Exec(kLogMode);
    if (error != ERROR_SUCCESS) *why = sqlite3_errmsg(db_);
  }
  if (error == ERROR_SUCCESS && earlier) UpgradeSchema();
  if (error == ERROR_FILE_NOT_FOUND) {  // a fresh, empty database
    if (!inMemory) Exec(kLogMode);
    RegTransaction tx(this);
    error = tx.Status();
    if (error == ERROR_SUCCESS) error = CheckFormat(why);  // another process may have won
    if (error == ERROR_FILE_NOT_FOUND) {
      error = CreateSchema();
      if (error == ERROR_SUCCESS) error = seed();
      if (error != ERROR_SUCCESS && why->empty()) *why = "cannot create the registry";
    }
    if (error == ERROR_SUCCESS) error = tx.Commit();
  }
  if (error != ERROR_SUCCESS) {
    // What Close runs must not wait for a lock that the open already waited for.
    if (db_ != nullptr) sqlite3_busy_timeout(db_, 0);
    Close();
  }
  snapshots_ = error == ERROR_SUCCESS && !inMemory;
  if (snapshots_) KeepLogFiles();
  return error;
}

// The log and shared-memory files stay between runs, the log emptied by the
// checkpoint at close: creating and removing both on every run costs more
// than a run's reads. At rest the database file alone holds everything: the
// log has no valid header (or no bytes), and the shared-memory file, empty,
// is rebuilt by the next first connection.
void RegStore::KeepLogFiles() {
  int on = 1;
  sqlite3_file_control(db_, "main", SQLITE_FCNTL_PERSIST_WAL, &on);
}

void RegStore::BeginRead() {
  if (!snapshots_) return;
  int64_t now = MonotonicMicros();
  if (readOpen_ && sqlite3_get_autocommit(db_)) {
    readOpen_ = versionKnown_ = false;  // rolled back by SQLite
  }
  if (readOpen_ && (pinned_ || now - readSince_ < kReadSnapshotMicros)) return;
  EndRead();
  if (!sqlite3_get_autocommit(db_)) return;  // inside a write transaction
  readOpen_ = Run(kBegin, "BEGIN") == ERROR_SUCCESS;
  versionKnown_ = false;
  readSince_ = now;
}

void RegStore::PinReadSnapshot() {
  pinned_ = false;
  EndRead();
  if (db_ != nullptr && sqlite3_get_autocommit(db_))
    readOpen_ = Run(kBegin, "BEGIN") == ERROR_SUCCESS;
  readSince_ = MonotonicMicros();
  pinned_ = readOpen_;
}

void RegStore::UnpinReadSnapshot() {
  pinned_ = false;
  EndRead();
}

namespace {
int g_lockWaitMs = kBusyTimeoutMs;
}  // namespace

void RegStore::SetLockWait(int ms) { g_lockWaitMs = ms < 0 ? 0 : ms; }

int RegStore::LockWaitMs() const { return g_lockWaitMs; }

DWORD RegStore::SaveCopy(const std::string& path, std::string* why) {
  UnpinReadSnapshot();
  if (db_ == nullptr || !sqlite3_get_autocommit(db_)) {
    *why = "the registry is not open, or a change of it is under way";
    return 170;  // ERROR_BUSY
  }
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_prepare_v2(db_, "VACUUM INTO ?", -1, &st, nullptr);
  if (rc == SQLITE_OK) {
    sqlite3_bind_text(st, 1, path.c_str(), -1, SQLITE_TRANSIENT);
    rc = sqlite3_step(st);
  }
  sqlite3_finalize(st);
  if (rc == SQLITE_DONE || rc == SQLITE_OK) return ERROR_SUCCESS;
  *why = sqlite3_errmsg(db_);
  return Fail(rc);
}

RegReadSnapshot::RegReadSnapshot(RegStore* store) : store_(store), mine_(!store->pinned_) {
  if (mine_) store_->PinReadSnapshot();
}

RegReadSnapshot::~RegReadSnapshot() {
  if (mine_) store_->UnpinReadSnapshot();
}

// Failures of the storage itself, as opposed to answers about keys.
DWORD RegStore::WriteFailed(DWORD error) {
  switch (error) {
    case ERROR_DISK_FULL:
    case ERROR_CANTWRITE:
    case ERROR_CANTREAD:
    case ERROR_ACCESS_DENIED:
    case ERROR_CANTOPEN:
    case ERROR_REGISTRY_CORRUPT:
      if (writeFault_) writeFault_(error, db_ ? sqlite3_errmsg(db_) : "");
      break;
    default:
      break;
  }
  return error;
}

void RegStore::EndRead() {
  versionKnown_ = false;
  if (!readOpen_) return;
  readOpen_ = false;
  if (!sqlite3_get_autocommit(db_)) Run(kCommit, "COMMIT");
}

// 0 for our registry, ERROR_FILE_NOT_FOUND for an empty database, else the
// reason it is not ours.
DWORD RegStore::CheckFormat(std::string* why, bool* earlier) {
  // Our own registry answers the first query; only another file needs more.
  static const std::string kCheck =
      std::string(
          "SELECT format, version, EXISTS(SELECT 1 FROM sqlite_master WHERE name IN"
          " ('kept_lists', 'area_changes', 'vals_named_driver', 'driver_values_by_key')"
          " OR name GLOB '*_by_others')"
          " OR (SELECT count(*) FROM sqlite_master WHERE name IN (") +
      kListingObjectNames + ")) < " + std::to_string(kListingObjectCount) + " FROM registry_format";
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_prepare_v2(db_, kCheck.c_str(), -1, &st, nullptr);
  if (rc == SQLITE_OK) {
    rc = sqlite3_step(st);
    bool ours = rc == SQLITE_ROW && ColumnBytes(st, 0) == kFormatName &&
                sqlite3_column_int(st, 1) == kFormatVersion;
    if (ours && earlier != nullptr) *earlier = sqlite3_column_int(st, 2) != 0;
    sqlite3_finalize(st);
    if (ours) return ERROR_SUCCESS;
    if (rc == SQLITE_ROW || rc == SQLITE_DONE) {
      *why = "unknown registry format or version";
      return ERROR_BADDB;
    }
  }
  // Another program holds the database locked past the wait (SQLite's
  // exclusive locking mode): no damage, and no other query would fare better.
  if ((rc & 0xFF) == SQLITE_BUSY || (rc & 0xFF) == SQLITE_LOCKED) {
    *why = "the registry is locked by another program";
    return kErrorLockViolation;
  }
  st = nullptr;
  rc = sqlite3_prepare_v2(db_, "SELECT count(*) FROM sqlite_master", -1, &st, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_step(st);
  int objects = rc == SQLITE_ROW ? sqlite3_column_int(st, 0) : -1;
  sqlite3_finalize(st);
  if (objects < 0) {
    // Only a file that is not a database, or a damaged one, is called damaged;
    // a full disk or a read-only root keeps its own error.
    *why = sqlite3_errmsg(db_);
    int primary = sqlite3_extended_errcode(db_) & 0xFF;
    return primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT ? ERROR_BADDB : Fail(rc);
  }
  if (objects == 0) return ERROR_FILE_NOT_FOUND;
  *why = "SQLite database without the registry's format marker";
  return ERROR_BADDB;
}

// A registry of an earlier version gets this one's schema at its first open
// that may write. Until then (a read-only root, another writer at work) it
// works as it is: the earlier versions' lists of the spooler, two tables with
// triggers that count other programs' changes, do no harm (the triggers only
// count), and without the listings' index and table the listings read the
// tables (see ChildrenWithValue). The table of Driver values and its triggers
// are made anew and filled from the tables, in one transaction.
void RegStore::UpgradeSchema() {
  if (BeginOutermost(false) != ERROR_SUCCESS) return;
  std::string sql = std::string(kRebuildDriverValues) + kListingSchema + kFillDriverValues +
                    "DROP INDEX IF EXISTS vals_named_driver;";
  for (const char* table : {"keys", "vals"}) {
    for (const char* event : {"INSERT", "DELETE", "UPDATE"})
      sql += std::string("DROP TRIGGER IF EXISTS ") + table + "_" + event + "_by_others;";
  }
  sql += "DROP TABLE IF EXISTS kept_lists; DROP TABLE IF EXISTS area_changes;";
  if (Exec(sql.c_str()) != ERROR_SUCCESS || CommitOutermost() != ERROR_SUCCESS) RollBackOutermost();
}

std::string RegStore::SchemaSql() { return std::string(kSchema) + kListingSchema; }

DWORD RegStore::CreateSchema() {
  DWORD error = Exec(kSchema);
  if (error == ERROR_SUCCESS) error = Exec(kListingSchema);
  sqlite3_stmt* st = nullptr;
  if (error == ERROR_SUCCESS && sqlite3_prepare_v2(db_, "INSERT INTO registry_format VALUES(?, ?)",
                                                   -1, &st, nullptr) == SQLITE_OK) {
    sqlite3_bind_text(st, 1, kFormatName, -1, SQLITE_STATIC);
    sqlite3_bind_int(st, 2, kFormatVersion);
    if (sqlite3_step(st) != SQLITE_DONE) error = Fail(SQLITE_ERROR);
  }
  sqlite3_finalize(st);
  for (const RootRow& row : kRoots) {
    if (error != ERROR_SUCCESS) break;
    st = nullptr;
    sqlite3_prepare_v2(db_, "INSERT INTO keys(id, parent, name, upper) VALUES(?, 0, ?, ?)", -1, &st,
                       nullptr);
    sqlite3_bind_int64(st, 1, row.id);
    BindBytes(st, 2, row.name);
    BindBytes(st, 3, row.name);
    if (sqlite3_step(st) != SQLITE_DONE) error = Fail(SQLITE_ERROR);
    sqlite3_finalize(st);
  }
  return error;
}

DWORD RegStore::FindChild(RegKeyId parent, const std::string& name, RegKeyId* id,
                          std::string* storedName) {
  BeginRead();
  sqlite3_stmt* st =
      Prepare(kFindChild, "SELECT id, name FROM keys WHERE parent = ? AND upper = ?");
  if (st == nullptr) return Fail(SQLITE_ERROR);
  StepScope scope(st);
  sqlite3_bind_int64(st, 1, parent);
  BindBytes(st, 2, RegUpperName(codePage_, name));
  int rc = sqlite3_step(st);
  if (rc == SQLITE_ROW) ++stats_.rowsRead;
  *id = rc == SQLITE_ROW ? sqlite3_column_int64(st, 0) : kNoKey;
  if (rc == SQLITE_ROW && storedName != nullptr) *storedName = ColumnBytes(st, 1);
  return rc == SQLITE_ROW || rc == SQLITE_DONE ? ERROR_SUCCESS : Fail(rc);
}

DWORD RegStore::CreateChild(RegKeyId parent, const std::string& name, RegKeyId* id) {
  DWORD error = FindChild(parent, name, id);
  if (error != ERROR_SUCCESS || *id != kNoKey) return error;
  NoteChildrenBefore(parent);
  sqlite3_stmt* st = Prepare(kInsertKey, "INSERT INTO keys(parent, name, upper) VALUES(?, ?, ?)");
  if (st == nullptr) return Fail(SQLITE_ERROR);
  StepScope scope(st);
  sqlite3_bind_int64(st, 1, parent);
  BindBytes(st, 2, name);
  BindBytes(st, 3, RegUpperName(codePage_, name));
  int rc = sqlite3_step(st);
  if (rc != SQLITE_DONE) return Fail(rc);
  *id = sqlite3_last_insert_rowid(db_);
  if (record_ != nullptr) record_->made.insert(*id);
  return ERROR_SUCCESS;
}

DWORD RegStore::KeyExists(RegKeyId id, bool* exists) {
  BeginRead();
  sqlite3_stmt* st = Prepare(kKeyExists, "SELECT 1 FROM keys WHERE id = ?");
  if (st == nullptr) return Fail(SQLITE_ERROR);
  StepScope scope(st);
  sqlite3_bind_int64(st, 1, id);
  int rc = sqlite3_step(st);
  *exists = rc == SQLITE_ROW;
  return rc == SQLITE_ROW || rc == SQLITE_DONE ? ERROR_SUCCESS : Fail(rc);
}

// The order in which to list `names` (read in the byte order of their upper
// case), or empty when that order is Windows' already: it differs only
// where a byte from 0x80 on meets another byte.
std::vector<size_t> RegStore::InWindowsOrder(const std::vector<std::string>& names) const {
  unsigned char bits = 0;  // every byte's bits, without a branch per byte
  for (const std::string& name : names)
    for (char c : name) bits |= static_cast<unsigned char>(c);
  if (bits < 0x80) return {};
  std::vector<std::u16string> keys;
  for (const std::string& name : names)
    keys.push_back(RegSortKey(codePage_, RegUpperName(codePage_, name)));
  std::vector<size_t> order(names.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return keys[a] < keys[b]; });
  return order;
}

// The names alone, all in one step, from the index that holds them in order:
// INDEXED BY keeps the rows in its order whatever other indexes the table may
// be given. A registry of an earlier version lacks the index.
DWORD RegStore::VisitChildNames(RegKeyId parent, const RegNameVisitor& visit) {
  BeginRead();
  RegRowBlock rows(1, 0);
  bool read = false;
  DWORD error = ReadRowBlock(
      kListChildNames, "SELECT qz_rows(name) FROM keys INDEXED BY keys_listed WHERE parent = ?",
      parent, &rows, &read);
  if (error != ERROR_SUCCESS) return error;
  if (!read) {
    std::vector<std::string> names;
    std::vector<RegKeyId> ids;
    error = ListChildren(parent, &names, &ids);
    for (size_t i = 0; error == ERROR_SUCCESS && i < names.size(); ++i)
      visit(i, names.size(), names[i]);
    return error;
  }
  const std::vector<size_t> order = RowsInWindowsOrder(rows);
  for (size_t i = 0; i < rows.size(); ++i)
    visit(i, rows.size(), rows.Blob(order.empty() ? i : order[i], 0));
  return ERROR_SUCCESS;
}

// The rows' order as Windows enumerates their names (each row's first BLOB):
// empty where it is the order they were read in, every name being ASCII.
std::vector<size_t> RegStore::RowsInWindowsOrder(const RegRowBlock& rows) const {
  if (rows.AllAscii(0)) return {};
  std::vector<std::string> names;
  names.reserve(rows.size());
  for (size_t i = 0; i < rows.size(); ++i) names.emplace_back(rows.Blob(i, 0));
  return InWindowsOrder(names);
}

DWORD RegStore::ListChildren(RegKeyId parent, std::vector<std::string>* names,
                             std::vector<RegKeyId>* ids) {
  names->clear();
  if (ids == nullptr) {
    return VisitChildNames(parent, [names](size_t index, size_t count, std::string_view name) {
      if (index == 0) names->reserve(count);
      names->emplace_back(name);
    });
  }
  BeginRead();
  ids->clear();
  sqlite3_stmt* st =
      Prepare(kListChildren, "SELECT name, id FROM keys WHERE parent = ? ORDER BY upper");
  if (st == nullptr) return Fail(SQLITE_ERROR);
  StepScope scope(st);
  sqlite3_bind_int64(st, 1, parent);
  int rc;
  std::vector<RegKeyId> found;
  while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
    ++stats_.rowsRead;
    names->emplace_back(ColumnView(st, 0));
    found.push_back(sqlite3_column_int64(st, 1));
  }
  if (rc != SQLITE_DONE) return Fail(rc);
  std::vector<size_t> order = InWindowsOrder(*names);
  if (!order.empty()) {
    std::vector<std::string> sorted;
    std::vector<RegKeyId> sortedIds;
    for (size_t i : order) {
      sorted.push_back(std::move((*names)[i]));
      sortedIds.push_back(found[i]);
    }
    names->swap(sorted);
    found.swap(sortedIds);
  }
  ids->swap(found);
  return ERROR_SUCCESS;
}

// Reads the rows of a statement of qz_rows whose parameter is the parent.
// *read is false where the statement cannot be prepared: its table or index
// is not in this registry (one of an earlier version), or another program
// dropped it since it was prepared, which its step tells.
DWORD RegStore::ReadRowBlock(int slot, const char* sql, RegKeyId parent, RegRowBlock* rows,
                             bool* read) {
  *read = false;
  DWORD error = ERROR_SUCCESS;
  for (int attempt = 0; attempt < 2; ++attempt) {
    sqlite3_stmt* st = Prepare(slot, sql);
    if (st == nullptr) return ERROR_SUCCESS;
    rows->Clear();
    int rc;
    {
      StepScope scope(st);
      sqlite3_bind_int64(st, 1, parent);
      rowTarget_ = rows;
      while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
      }
      rowTarget_ = nullptr;
    }
    if (rc == SQLITE_DONE) {
      stats_.rowsRead += rows->size();
      *read = true;
      return ERROR_SUCCESS;
    }
    error = Fail(rc);
    if ((rc & 0xff) != SQLITE_ERROR) return error;  // busy, I/O: the machine's failure
    sqlite3_finalize(st);
    statements_[slot] = nullptr;
  }
  return error;
}

DWORD RegStore::HasChildren(RegKeyId parent, bool* has) {
  BeginRead();
  sqlite3_stmt* st = Prepare(kHasChild, "SELECT 1 FROM keys WHERE parent = ? LIMIT 1");
  if (st == nullptr) return Fail(SQLITE_ERROR);
  StepScope scope(st);
  sqlite3_bind_int64(st, 1, parent);
  int rc = sqlite3_step(st);
  *has = rc == SQLITE_ROW;
  return rc == SQLITE_ROW || rc == SQLITE_DONE ? ERROR_SUCCESS : Fail(rc);
}

DWORD RegStore::DeleteTree(RegKeyId id) {
  static const char kTree[] =
      "WITH RECURSIVE tree(id) AS (SELECT ?1 UNION ALL"
      " SELECT k.id FROM keys k JOIN tree t ON k.parent = t.id) ";
  static const std::string kValues = std::string(kTree) + "DELETE FROM vals WHERE key IN tree";
  static const std::string kKeys = std::string(kTree) + "DELETE FROM keys WHERE id IN tree";
  NoteTreeBefore(id);
  for (auto [slot, sql] :
       {std::make_pair(kDeleteTreeValues, &kValues), std::make_pair(kDeleteTreeKeys, &kKeys)}) {
    sqlite3_stmt* st = Prepare(slot, sql->c_str());
    if (st == nullptr) return Fail(SQLITE_ERROR);
    StepScope scope(st);
    sqlite3_bind_int64(st, 1, id);
    int rc = sqlite3_step(st);
    if (rc != SQLITE_DONE) return Fail(rc);
  }
  return ERROR_SUCCESS;
}

DWORD RegStore::GetValue(RegKeyId key, const std::string& name, RegValue* value) {
  BeginRead();
  sqlite3_stmt* st =
      Prepare(kGetValue, "SELECT name, type, data FROM vals WHERE key = ? AND upper = ?");
  if (st == nullptr) return Fail(SQLITE_ERROR);
  StepScope scope(st);
  sqlite3_bind_int64(st, 1, key);
  BindBytes(st, 2, RegUpperName(codePage_, name));
  int rc = sqlite3_step(st);
  if (rc == SQLITE_DONE) return ERROR_FILE_NOT_FOUND;
  if (rc != SQLITE_ROW) return Fail(rc);
  ++stats_.rowsRead;
  value->name = ColumnBytes(st, 0);
  value->type = static_cast<DWORD>(sqlite3_column_int64(st, 1));
  value->data = ColumnBytes(st, 2);
  return ERROR_SUCCESS;
}

DWORD RegStore::SetValue(RegKeyId key, const std::string& name, DWORD type,
                         const std::string& data) {
  std::string upper = RegUpperName(codePage_, name);
  NoteValuesBefore(key);
  sqlite3_stmt* st =
      Prepare(kUpdateValue, "UPDATE vals SET type = ?, data = ? WHERE key = ? AND upper = ?");
  if (st == nullptr) return Fail(SQLITE_ERROR);
  {
    StepScope scope(st);
    sqlite3_bind_int64(st, 1, type);
    BindBytes(st, 2, data);
    sqlite3_bind_int64(st, 3, key);
    BindBytes(st, 4, upper);
    int rc = sqlite3_step(st);
    if (rc != SQLITE_DONE) return Fail(rc);
    if (sqlite3_changes(db_) > 0) return ERROR_SUCCESS;
  }
  st = Prepare(kInsertValue, "INSERT INTO vals(key, name, upper, type, data) VALUES(?,?,?,?,?)");
  if (st == nullptr) return Fail(SQLITE_ERROR);
  StepScope scope(st);
  sqlite3_bind_int64(st, 1, key);
  BindBytes(st, 2, name);
  BindBytes(st, 3, upper);
  sqlite3_bind_int64(st, 4, type);
  BindBytes(st, 5, data);
  int rc = sqlite3_step(st);
  return rc == SQLITE_DONE ? ERROR_SUCCESS : Fail(rc);
}

DWORD RegStore::DeleteValue(RegKeyId key, const std::string& name) {
  NoteValuesBefore(key);
  sqlite3_stmt* st = Prepare(kDeleteValue, "DELETE FROM vals WHERE key = ? AND upper = ?");
  if (st == nullptr) return Fail(SQLITE_ERROR);
  StepScope scope(st);
  sqlite3_bind_int64(st, 1, key);
  BindBytes(st, 2, RegUpperName(codePage_, name));
  int rc = sqlite3_step(st);
  if (rc != SQLITE_DONE) return Fail(rc);
  return sqlite3_changes(db_) > 0 ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

DWORD RegStore::ListValues(RegKeyId key, std::vector<RegValue>* values) {
  BeginRead();
  values->clear();
  sqlite3_stmt* st =
      Prepare(kListValues, "SELECT name, type, data FROM vals WHERE key = ? ORDER BY id");
  if (st == nullptr) return Fail(SQLITE_ERROR);
  StepScope scope(st);
  sqlite3_bind_int64(st, 1, key);
  int rc;
  while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
    ++stats_.rowsRead;
    RegValue value;
    value.name = ColumnBytes(st, 0);
    value.type = static_cast<DWORD>(sqlite3_column_int64(st, 1));
    value.data = ColumnBytes(st, 2);
    values->push_back(std::move(value));
  }
  return rc == SQLITE_DONE ? ERROR_SUCCESS : Fail(rc);
}

DWORD RegStore::Flush() {
  if (discard_) return ERROR_SUCCESS;
  EndRead();
  DWORD error = EndRunTransaction();
  if (error != ERROR_SUCCESS) return error;
  error = Checkpoint(SQLITE_CHECKPOINT_FULL);
  Run(kSyncOff, "PRAGMA synchronous=OFF");
  return error;
}

// With synchronous=NORMAL a checkpoint syncs the log, copies it into the
// database and syncs that: what it copied is then on disk, and a power cut
// in between leaves the database whole.
DWORD RegStore::Checkpoint(int mode) {
  DWORD error = Run(kSyncOn, "PRAGMA synchronous=NORMAL");
  if (error != ERROR_SUCCESS) return error;
  int rc = sqlite3_wal_checkpoint_v2(db_, nullptr, mode, nullptr, nullptr);
  if (rc != SQLITE_OK) return Fail(rc);
  unsynced_ = false;
  return ERROR_SUCCESS;
}

uint64_t RegStore::ChangeStamp() {
  BeginRead();
  // Other processes' commits show only at the start of a read transaction:
  // within one, the version read first stays right.
  if (!versionKnown_) {
    sqlite3_stmt* st = Prepare(kDataVersion, "PRAGMA data_version");
    dataVersion_ = 0;
    if (st != nullptr) {
      StepScope scope(st);
      if (sqlite3_step(st) == SQLITE_ROW) {
        dataVersion_ = static_cast<uint64_t>(sqlite3_column_int64(st, 0));
      }
    }
    versionKnown_ = readOpen_ || runOpen_;  // the write lock keeps others out
  }
  return (dataVersion_ << 32) ^ localChanges_;
}

RegTransaction::RegTransaction(RegStore* store)
    : store_(store), nested_(store->txDepth_ > 0 || store->holdChanges_), open_(false) {
  if (nested_ && store_->holdChanges_ && !store_->runOpen_) {
    // The run's one transaction, held until Close or Flush.
    status_ = store_->BeginRunTransaction();
    store_->runOpen_ = status_ == ERROR_SUCCESS;
    if (!store_->runOpen_) {
      store_->WriteFailed(status_);
      return;
    }
  }
  if (nested_) {
    status_ = store_->Run(kSavepoint, "SAVEPOINT nested");
  } else {
    // The write lock is taken at once (waiting up to the busy timeout), so a
    // transaction never fails half-way because another process wrote.
    status_ = store_->BeginOutermost(true);
  }
  open_ = status_ == ERROR_SUCCESS;
  if (open_) {
    ++store_->txDepth_;
  } else {
    store_->WriteFailed(status_);
  }
}

RegTransaction::~RegTransaction() {
  if (!open_) return;
  --store_->txDepth_;
  ++store_->localChanges_;  // what was read inside may be gone
  if (!nested_) {
    store_->RollBackOutermost();
    return;
  }
  store_->Run(kRollbackToSavepoint, "ROLLBACK TO nested");
  store_->Run(kRelease, "RELEASE nested");
}

DWORD RegTransaction::Commit() {
  if (!open_) return status_ != ERROR_SUCCESS ? status_ : ERROR_INVALID_PARAMETER;
  if (nested_) {
    DWORD error = store_->Run(kRelease, "RELEASE nested");
    if (error != ERROR_SUCCESS) return store_->WriteFailed(error);
    open_ = false;
    --store_->txDepth_;
    ++store_->localChanges_;
    return ERROR_SUCCESS;
  }
  DWORD error = store_->CommitOutermost();
  if (error != ERROR_SUCCESS) return store_->WriteFailed(error);  // the destructor rolls back
  open_ = false;
  --store_->txDepth_;
  return ERROR_SUCCESS;
}

}  // namespace qzhost
