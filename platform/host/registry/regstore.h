// Registry storage: a tree of keys with typed values in one SQLite database.
//
// Keys are rows (parent id, name as first spelled, upper-cased name); values
// are rows (key id, name, type, bytes) kept in creation order. Callers that
// change anything do it inside a RegTransaction, so each change is atomic.
// Every failure comes back as a Win32 error number (see regerror.h).
#ifndef QZINST32_PLATFORM_HOST_REGSTORE_H_
#define QZINST32_PLATFORM_HOST_REGSTORE_H_

#include <stdint.h>

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/win32.h"

struct sqlite3;
struct sqlite3_stmt;

namespace qzhost {

typedef int64_t RegKeyId;
struct RegChangeRecord;
struct RegKeyBefore;
class RegRowBlock;

// The four predefined roots have fixed ids; 0 is "no key".
const RegKeyId kNoKey = 0;
// The id of a predefined root handle (HKEY_LOCAL_MACHINE ...), or kNoKey.
RegKeyId RootKeyId(HKEY hKey);
// "HKEY_LOCAL_MACHINE" for its id (also accepts "HKLM"-style short names in
// RootKeyIdByName); null / kNoKey when unknown.
const char* RootKeyName(RegKeyId id);
RegKeyId RootKeyIdByName(const std::string& name);

// The deepest a key may lie below its root: Windows refuses a 513th level.
const int kRegMaxDepth = 512;

// The name Windows compares and sorts by: ASCII letters upper-cased, and on
// code page 1252 the accented letters too; double-byte characters (932) kept.
std::string RegUpperName(unsigned codePage, const std::string& name);
// Whether upper-cased name `a` comes before `b` in the order Windows lists
// subkeys: by their Unicode characters, not their bytes.
bool RegNameOrderLess(unsigned codePage, const std::string& upperA, const std::string& upperB);

struct RegValue {
  std::string name;
  DWORD type = REG_NONE;
  std::string data;  // the bytes as stored
};

// One child key as SummarizeChildren reports it.
struct RegChildSummary {
  std::string name;       // as first spelled
  bool hasValue = false;  // the value asked for exists; then its type and bytes
  DWORD type = REG_NONE;
  std::string data;
  bool hasSubkey = false;  // the subkey asked for exists
};

// A child key's name and one of its values, handed to a caller that lists
// thousands of them: the texts are valid during the call only.
using RegChildValueVisitor =
    std::function<void(std::string_view name, DWORD type, std::string_view data)>;

// The names of a key's children, handed over one at a time in enumeration
// order: `count` is how many there are, the same at every call, so that a
// caller can make room at the first (index 0). The name is valid during the
// call only.
using RegNameVisitor = std::function<void(size_t index, size_t count, std::string_view name)>;

// Counters a test reads to check how much work an operation did.
struct RegStoreStats {
  uint64_t rowsRead = 0;
};

class RegStore {
 public:
  RegStore() = default;
  ~RegStore();
  RegStore(const RegStore&) = delete;
  RegStore& operator=(const RegStore&) = delete;

  // Opens the database at `path` (":memory:" for one in memory). A missing
  // file is created with mode 0600; a fresh database gets the schema and then
  // `seed` runs, all in one transaction. A file that is not SQLite, or SQLite
  // without this registry's format marker, is left untouched: ERROR_BADDB,
  // with *why saying what was found.
  DWORD Open(const std::string& path, unsigned codePage, const std::function<DWORD()>& seed,
             std::string* why);
  void Close();
  bool IsOpen() const { return db_ != nullptr; }
  // The ANSI code page names and values are stored in.
  unsigned CodePage() const { return codePage_; }

  // Holds one read snapshot until Unpin (a whole export sees one state, never
  // half of another process's change). Writes of this store end it, as ever.
  void PinReadSnapshot();
  void UnpinReadSnapshot();

  // Writes one consistent snapshot of the whole database to a new file at
  // `path` (SQLite's VACUUM INTO), while other programs go on changing it.
  DWORD SaveCopy(const std::string& path, std::string* why);

  // Checks that the keys form one tree below the four roots, as every walk
  // of the registry needs: each key below a root (no cycle, no orphan), no
  // value of a missing key, none deeper than kRegMaxDepth. ERROR_BADDB with
  // *why saying what was found (regstore_check.cpp).
  DWORD CheckTree(std::string* why);
  // The statements that make this version's schema, for checking a copy of a
  // registry (a machine image) against it.
  static std::string SchemaSql();

  // Called when a change cannot be stored (full disk, read-only root, I/O
  // error): the storage failed, not the caller. Gets the error and SQLite's text.
  void SetWriteFaultHandler(std::function<void(DWORD, const std::string&)> handler) {
    writeFault_ = std::move(handler);
  }

  // kNoKey in *id when the child does not exist (the result is still 0);
  // *storedName, when given, gets the name as first spelled.
  DWORD FindChild(RegKeyId parent, const std::string& name, RegKeyId* id,
                  std::string* storedName = nullptr);
  // Opens the child, creating it when missing. Needs a transaction.
  DWORD CreateChild(RegKeyId parent, const std::string& name, RegKeyId* id);
  DWORD KeyExists(RegKeyId id, bool* exists);
  // Names (and ids) of the children, sorted as Windows NT enumerates them.
  DWORD VisitChildNames(RegKeyId parent, const RegNameVisitor& visit);
  DWORD ListChildren(RegKeyId parent, std::vector<std::string>* names,
                     std::vector<RegKeyId>* ids = nullptr);
  DWORD HasChildren(RegKeyId parent, bool* has);
  // The children in enumeration order, each with its value `valueName` and
  // whether it has a subkey `subkeyName` (none asked for when empty): in one
  // query, what a caller would otherwise open and ask of every child in turn.
  // `onlyWithSubkey` leaves out the children without it; for a subkey named
  // Ports they are found through an index of the keys so named, at a cost
  // that does not grow with the children without one.
  DWORD SummarizeChildren(RegKeyId parent, const std::string& valueName,
                          const std::string& subkeyName, std::vector<RegChildSummary>* children,
                          bool onlyWithSubkey = false);
  // The children that have a value named Driver, each with it, in
  // enumeration order: one pass over the rows kept of such values.
  // Without `withData` the values' types and data are not read (0 and
  // empty): a caller that wants the names only.
  DWORD ChildrenWithDriver(RegKeyId parent, const RegChildValueVisitor& visit,
                           bool withData = true);
  // Removes the key with everything below it. Needs a transaction.
  DWORD DeleteTree(RegKeyId id);

  // ERROR_FILE_NOT_FOUND when the value is missing.
  DWORD GetValue(RegKeyId key, const std::string& name, RegValue* value);
  // A value that exists keeps its place and first spelling. Needs a transaction.
  DWORD SetValue(RegKeyId key, const std::string& name, DWORD type, const std::string& data);
  // ERROR_FILE_NOT_FOUND when the value is missing. Needs a transaction.
  DWORD DeleteValue(RegKeyId key, const std::string& name);
  // All values of the key in creation order.
  DWORD ListValues(RegKeyId key, std::vector<RegValue>* values);

  // Makes every committed change durable on disk before returning.
  DWORD Flush();

  // From now on every change of this store is part of one transaction that
  // Close (or Flush) commits: a run stores all its changes or none, and pays
  // for one commit. Each RegTransaction stays atomic as a savepoint in it.
  void HoldChangesUntilClose();

  // From now on notes in `record` how each key was before this store's first
  // change of it (see regrecord.h); null stops. The record must outlive that.
  void RecordChanges(RegChangeRecord* record) { record_ = record; }
  // Holds every change in the run's one transaction (HoldChangesUntilClose),
  // which Close rolls back: the changes are seen by this store's own reads
  // only, Flush commits nothing, and no other transaction is begun.
  void DiscardChangesAtClose();

  // Changes whenever anything was committed, by this process or another, and
  // when a transaction of this store ended (a rollback undoes what was seen).
  uint64_t ChangeStamp();
  // True when no other process committed between the two stamps (this
  // process's own changes may lie between them).
  static bool SameForeignState(uint64_t a, uint64_t b) { return (a >> 32) == (b >> 32); }
  RegStoreStats& Stats() { return stats_; }

  // How long every store of this process waits for another program's write
  // lock. Past it a write fails with ERROR_LOCK_VIOLATION, reported as a
  // fault of the machine; later writes of the store then fail at once.
  static void SetLockWait(int ms);

 private:
  friend class RegTransaction;
  friend class RegReadSnapshot;
  std::vector<size_t> InWindowsOrder(const std::vector<std::string>& names) const;
  // Reads of a file store share one read transaction for a few milliseconds
  // (see BeginRead); a write transaction, a flush or Close ends it first.
  void BeginRead();
  void EndRead();
  DWORD Exec(const char* sql);
  DWORD Run(int slot, const char* sql);
  void KeepLogFiles();
  DWORD EndRunTransaction();
  DWORD BeginRunTransaction();
  DWORD BeginOutermost(bool wait);
  DWORD CommitOutermost();
  void RollBackOutermost();
  DWORD Checkpoint(int mode);
  sqlite3_stmt* Prepare(int slot, const char* sql);
  DWORD ReadRowBlock(int slot, const char* sql, RegKeyId parent, RegRowBlock* rows, bool* read);
  std::vector<size_t> RowsInWindowsOrder(const RegRowBlock& rows) const;
  DWORD Fail(int rc);
  // *earlier: the schema is an earlier version's.
  DWORD CheckFormat(std::string* why, bool* earlier = nullptr);
  DWORD CreateSchema();
  void UpgradeSchema();
  DWORD PutInWindowsOrder(std::vector<RegChildSummary>* children) const;
  DWORD ChildrenWithValue(RegKeyId parent, const std::string& valueName,
                          std::vector<RegChildSummary>* children);
  DWORD WriteFailed(DWORD error);
  int LockWaitMs() const;
  // Noting keys before a change, for RecordChanges (regstore_record.cpp).
  void NoteValuesBefore(RegKeyId key);
  void NoteChildrenBefore(RegKeyId parent);
  void NoteTreeBefore(RegKeyId id);
  RegKeyBefore* NoteKey(RegKeyId id);
  void NoteTouched(RegKeyId id);

  sqlite3* db_ = nullptr;
  std::function<void(DWORD, const std::string&)> writeFault_;
  bool lockLost_ = false;  // a write found the registry locked past the wait
  bool pinned_ = false;
  RegChangeRecord* record_ = nullptr;
  bool discard_ = false;     // see DiscardChangesAtClose
  bool openingRun_ = false;  // the run's transaction is being begun
  bool logFound_ = false;    // the log file was there when the store was opened
  unsigned codePage_ = 1252;
  std::vector<sqlite3_stmt*> statements_;
  // The block that qz_rows fills while ReadRowBlock steps; none otherwise.
  RegRowBlock* rowTarget_ = nullptr;
  uint64_t localChanges_ = 0;  // ends of this store's write transactions
  int txDepth_ = 0;  // open RegTransactions, the outermost one BEGIN, the others savepoints
  bool holdChanges_ = false;  // see HoldChangesUntilClose
  bool runOpen_ = false;      // the run's transaction is open
  bool unsynced_ = false;     // commits that only the log holds, not yet synced
  RegStoreStats stats_;
  bool snapshots_ = false;  // file stores only
  bool readOpen_ = false;
  bool versionKnown_ = false;  // dataVersion_ is that of the open read transaction
  uint64_t dataVersion_ = 0;
  int64_t readSince_ = 0;  // monotonic microseconds
};

// One atomic change: begins a write transaction, rolls back unless committed.
// A transaction begun inside another is part of it (a savepoint): its own
// rollback undoes only its changes, and nothing is stored before the
// outermost one commits.
class RegTransaction {
 public:
  explicit RegTransaction(RegStore* store);
  ~RegTransaction();
  RegTransaction(const RegTransaction&) = delete;
  RegTransaction& operator=(const RegTransaction&) = delete;

  // The result of BEGIN; nothing may be changed when it is not 0.
  DWORD Status() const { return status_; }
  DWORD Commit();

 private:
  RegStore* store_;
  DWORD status_;
  bool nested_;
  bool open_;
};

// Holds one read snapshot while it lives: what is read meanwhile is one state
// of the registry, whatever other processes commit. Nothing when a snapshot
// is pinned already, or inside a write transaction (which sees one state).
class RegReadSnapshot {
 public:
  explicit RegReadSnapshot(RegStore* store);
  ~RegReadSnapshot();
  RegReadSnapshot(const RegReadSnapshot&) = delete;
  RegReadSnapshot& operator=(const RegReadSnapshot&) = delete;

 private:
  RegStore* store_;
  bool mine_;
};

}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_REGSTORE_H_
