// Lists kept between runs, and the change counts that tell when they are stale.
//
// A program that derives a long list from one part of the registry (the
// spooler's monitors and ports) stores it here with the part's change count.
// Every change of that part counts, in the same transaction as the change:
// a list read back at equal counts is the list the registry holds.
//
// The parts are told by key names, so that no path needs looking up:
// - "monitors": the keys below a key named Monitors, their values, and keys
//   named Monitors or Ports themselves (whether a monitor has a Ports subkey);
// - "ports": keys named Ports, the keys and values right below them, and the
//   values of a key below Monitors that has a Ports subkey (its Driver value
//   decides whether its ports count).
// Keys of those names elsewhere count too: a count too many costs one reading
// of the list, never a stale one.
//
// This store counts its own changes itself. Any other program that writes the
// database (an older version of this one, a script with sqlite3) is counted by
// triggers, in a third count, "other programs", that every kept list depends
// on. This store's connection switches the triggers off: compiling them into
// its statements would cost every run more than all its own counting.
#include <algorithm>
#include <charconv>
#include <string>

#include "platform/host/registry/regstore.h"
#include "platform/host/registry/regstore_sql.h"

namespace qzhost {
namespace {

const char kKeptSchema[] =
    "CREATE TABLE IF NOT EXISTS area_changes(area TEXT PRIMARY KEY, count INTEGER NOT NULL);"
    "INSERT OR IGNORE INTO area_changes VALUES('monitors', 0), ('ports', 0),"
    " ('other programs', 0);"
    "CREATE TABLE IF NOT EXISTS kept_lists(name TEXT PRIMARY KEY, area TEXT NOT NULL,"
    " count INTEGER NOT NULL, others INTEGER NOT NULL, signature BLOB NOT NULL,"
    " data BLOB NOT NULL);";

const char kOthersCount[] =
    " BEGIN UPDATE area_changes SET count = count + 1 WHERE area = 'other programs'; END;";

std::string KeptSchema() {
  std::string sql = kKeptSchema;
  for (const char* table : {"keys", "vals"}) {
    for (const char* event : {"INSERT", "DELETE", "UPDATE"}) {
      sql += std::string("CREATE TRIGGER IF NOT EXISTS ") + table + "_" + event +
             "_by_others AFTER " + event + " ON " + table + kOthersCount;
    }
  }
  return sql;
}

const char kMonitorsName[] = "MONITORS";
const char kPortsName[] = "PORTS";

// The parts a key touches when it is added or removed, by its upper-cased
// name and that of its parent.
unsigned KeyParts(const std::string& parent, const std::string& name) {
  unsigned parts = 0;
  if (parent == kMonitorsName || name == kMonitorsName || name == kPortsName)
    parts |= kMonitorsPart;
  if (parent == kPortsName || name == kPortsName) parts |= kPortsPart;
  return parts;
}

const size_t kMostKnownKeys = 4096;
// A run that adds more ports than this reads the list again.
const size_t kMostJournalledKeys = 64;

}  // namespace

void RegStore::RememberKey(RegKeyId id, RegKeyId parent, std::string upper) {
  if (txDepth_ == 0 && !runOpen_) return;  // outside, another process may change it
  if (knownKeys_.size() >= kMostKnownKeys) knownKeys_.clear();
  knownKeys_[id] = KnownKey{parent, std::move(upper)};
}

// An unknown key leaves *key empty: nothing below it counts.
DWORD RegStore::LookUpKey(RegKeyId id, KnownKey* key) {
  auto it = knownKeys_.find(id);
  if (it != knownKeys_.end()) {
    *key = it->second;
    return ERROR_SUCCESS;
  }
  *key = KnownKey();
  sqlite3_stmt* st = Prepare(kKeyNames, "SELECT parent, upper FROM keys WHERE id = ?");
  if (st == nullptr) return Fail(SQLITE_ERROR);
  StepScope scope(st);
  sqlite3_bind_int64(st, 1, id);
  int rc = sqlite3_step(st);
  if (rc == SQLITE_DONE) return ERROR_SUCCESS;
  if (rc != SQLITE_ROW) return Fail(rc);
  key->parent = sqlite3_column_int64(st, 0);
  key->upper = ColumnBytes(st, 1);
  RememberKey(id, key->parent, key->upper);
  return ERROR_SUCCESS;
}

DWORD RegStore::CountKeyAdded(RegKeyId parent, const std::string& upperName,
                              const std::string& name) {
  valuePartsKey_ = kNoKey;  // a new Ports subkey changes what its parent's values touch
  KnownKey parentKey;
  DWORD error = LookUpKey(parent, &parentKey);
  if (error != ERROR_SUCCESS) return error;
  const unsigned parts = KeyParts(parentKey.upper, upperName);
  if (parts & kPortsPart) {
    const AddedPortsKey added{parent, name};
    NotePortsChange(parts == kPortsPart && parentKey.upper == kPortsName ? &added : nullptr);
  }
  CountChange(parts);
  return ERROR_SUCCESS;
}

DWORD RegStore::CountTreeRemoved(RegKeyId id) {
  valuePartsKey_ = kNoKey;
  KnownKey key, parent;
  bool hasChildren = false;
  DWORD error = LookUpKey(id, &key);
  if (error == ERROR_SUCCESS) error = LookUpKey(key.parent, &parent);
  if (error == ERROR_SUCCESS) error = HasChildren(id, &hasChildren);
  if (error != ERROR_SUCCESS) return error;
  knownKeys_.clear();  // the ids below are free for new keys
  // Whatever lies below is not looked at: a tree with anything in it counts
  // for both parts.
  const unsigned parts =
      hasChildren ? kMonitorsPart | kPortsPart : KeyParts(parent.upper, key.upper);
  if (parts & kPortsPart) NotePortsChange(nullptr);
  CountChange(parts);
  return ERROR_SUCCESS;
}

DWORD RegStore::CountValueChanged(RegKeyId key) {
  if (valuePartsKey_ != key) {
    KnownKey k, parent;
    DWORD error = LookUpKey(key, &k);
    if (error == ERROR_SUCCESS) error = LookUpKey(k.parent, &parent);
    if (error != ERROR_SUCCESS) return error;
    unsigned parts = 0;
    if (k.upper == kPortsName) parts |= kPortsPart;
    if (parent.upper == kMonitorsName) {
      parts |= kMonitorsPart;
      RegKeyId ports = kNoKey;
      error = FindChild(key, kPortsName, &ports);
      if (error != ERROR_SUCCESS) return error;
      if (ports != kNoKey) parts |= kPortsPart;
    }
    valuePartsKey_ = key;
    valueParts_ = parts;
  }
  if (valueParts_ & kPortsPart) NotePortsChange(nullptr);
  CountChange(valueParts_);
  return ERROR_SUCCESS;
}

// Inside the open transaction: one count per part and transaction is enough,
// since a kept list only asks whether the count moved. A registry without the
// counts (made by an older version, on a root this run could not migrate)
// has nothing to count.
DWORD RegStore::FlushCounts() {
  if (pendingParts_ == 0) return ERROR_SUCCESS;
  sqlite3_stmt* st = Prepare(kCountChange,
                             "UPDATE area_changes SET count = count + 1"
                             " WHERE area = 'monitors' AND ?1 OR area = 'ports' AND ?2");
  if (st == nullptr) return ERROR_SUCCESS;
  StepScope scope(st);
  sqlite3_bind_int(st, 1, (pendingParts_ & kMonitorsPart) != 0);
  sqlite3_bind_int(st, 2, (pendingParts_ & kPortsPart) != 0);
  int rc = sqlite3_step(st);
  if (rc != SQLITE_DONE) return Fail(rc);
  if (pendingParts_ & kPortsPart) {
    ++portsJournal_.counted;
    if (portsJournal_.started && portsJournal_.usable) StoreJournal();
  }
  countedParts_ |= pendingParts_;
  pendingParts_ = 0;
  return ERROR_SUCCESS;
}

namespace {

const char kJournalName[] = "ports keys added";

// The journal's stored form: per key, its parent's id, a blank and its name,
// each ended by a NUL.
std::string EncodeJournal(const std::vector<RegStore::AddedPortsKey>& added) {
  std::string data;
  for (const RegStore::AddedPortsKey& key : added) {
    data += std::to_string(key.parent);
    data += ' ';
    data += key.name;
    data += '\0';
  }
  return data;
}

bool DecodeJournal(std::string_view data, std::vector<RegStore::AddedPortsKey>* added) {
  added->clear();
  while (!data.empty()) {
    const size_t end = data.find('\0');
    const size_t blank = data.find(' ');
    if (end == std::string_view::npos || blank >= end || added->size() >= kMostJournalledKeys)
      return false;
    RegStore::AddedPortsKey key;
    const auto [next, ec] = std::from_chars(data.data(), data.data() + blank, key.parent);
    if (ec != std::errc() || next != data.data() + blank) return false;
    key.name.assign(data.substr(blank + 1, end - blank - 1));
    added->push_back(std::move(key));
    data.remove_prefix(end + 1);
  }
  return true;
}

}  // namespace

// Inside the transaction of the change, before it is counted.
void RegStore::NotePortsChange(const AddedPortsKey* added) {
  PortsJournal& journal = portsJournal_;
  if (!journal.usable) return;
  if (!journal.started) {
    journal.started = true;
    if (!keptLists_ || (pendingParts_ & kPortsPart) || !JournalFromHere(&journal)) {
      journal.usable = false;
      return;
    }
  }
  if (added == nullptr || journal.added.size() >= kMostJournalledKeys) {
    journal.usable = false;
    journal.added.clear();
    return;
  }
  journal.added.push_back(*added);
}

bool RegStore::ReadPartCounts(int64_t* ports, int64_t* others) {
  sqlite3_stmt* st = Prepare(kPartCounts, "SELECT area, count FROM area_changes");
  if (st == nullptr) return false;
  StepScope scope(st);
  int found = 0;
  while (sqlite3_step(st) == SQLITE_ROW) {
    const std::string area = ColumnBytes(st, 0);
    if (area == "ports") {
      *ports = sqlite3_column_int64(st, 1);
      found |= 1;
    } else if (area == "other programs") {
      *others = sqlite3_column_int64(st, 1);
      found |= 2;
    }
  }
  return found == 3;
}

// Where the keys are told from: the counts now, when a ports list is kept at
// them; else the journal an earlier run left, when the counts are those it
// led to and the list it starts from is still kept. False when neither: then
// no list could be brought up to date.
bool RegStore::JournalFromHere(PortsJournal* journal) {
  journal->counted = 0;
  if (!ReadPartCounts(&journal->ports, &journal->others)) return false;
  const std::string now = std::to_string(journal->ports) + ' ' + std::to_string(journal->others);
  // Only the journal's data is read: a kept list's is a block of many pages.
  sqlite3_stmt* st = Prepare(kPortsKept,
                             "SELECT name, count || ' ' || others, signature,"
                             " CASE WHEN name = ?1 THEN data END FROM kept_lists"
                             " WHERE area = 'ports'");
  if (st == nullptr) return false;
  StepScope scope(st);
  sqlite3_bind_text(st, 1, kJournalName, -1, SQLITE_STATIC);
  std::vector<std::string> keptAt;
  bool continues = false;
  std::string data;
  while (sqlite3_step(st) == SQLITE_ROW) {
    const std::string storedAt = ColumnBytes(st, 1);
    if (ColumnBytes(st, 0) != kJournalName) {
      keptAt.push_back(storedAt);
    } else if (storedAt == now) {
      continues = true;
      journal->base = ColumnBytes(st, 2);
      data = ColumnBytes(st, 3);
    }
  }
  if (std::find(keptAt.begin(), keptAt.end(), now) != keptAt.end()) {
    journal->base = now;
    journal->added.clear();
    return true;
  }
  return continues && std::find(keptAt.begin(), keptAt.end(), journal->base) != keptAt.end() &&
         DecodeJournal(data, &journal->added);
}

// With the count it leads to, in the transaction of the keys it adds: the
// next run finds it exactly when nothing else changed the part since.
void RegStore::StoreJournal() {
  const PortsJournal& journal = portsJournal_;
  sqlite3_stmt* st = Prepare(
      kStoreJournal, "INSERT OR REPLACE INTO kept_lists VALUES(?1, 'ports', ?2, ?3, ?4, ?5)");
  if (st == nullptr) return;
  StepScope scope(st);
  sqlite3_bind_text(st, 1, kJournalName, -1, SQLITE_STATIC);
  sqlite3_bind_int64(st, 2, journal.ports + journal.counted);
  sqlite3_bind_int64(st, 3, journal.others);
  BindBytes(st, 4, journal.base);
  BindBytes(st, 5, EncodeJournal(journal.added));
  if (sqlite3_step(st) != SQLITE_DONE) portsJournal_.usable = false;
}

bool RegStore::ReadKeptListBeforeAddedKeys(const char* name, const KeptSignatureCheck& wanted,
                                           const KeptReader& read,
                                           std::vector<AddedPortsKey>* added) {
  added->clear();
  if (!keptLists_ || FlushCounts() != ERROR_SUCCESS) return false;
  BeginRead();
  PortsJournal journal = portsJournal_;
  if (!journal.started) {
    if (!JournalFromHere(&journal)) return false;
  } else {
    // Every increment since this process began is its own: nobody else
    // changed the part in between.
    int64_t ports = -1, others = -1;
    if (!journal.usable || !ReadPartCounts(&ports, &others) ||
        ports != journal.ports + journal.counted || others != journal.others)
      return false;
  }
  sqlite3_stmt* st =
      Prepare(kReadKeptAnySignature,
              "SELECT signature, count || ' ' || others, data FROM kept_lists WHERE name = ?1");
  if (st == nullptr) return false;
  StepScope scope(st);
  sqlite3_bind_text(st, 1, name, -1, SQLITE_STATIC);
  if (sqlite3_step(st) != SQLITE_ROW || ColumnBytes(st, 1) != journal.base) return false;
  if (!wanted(ColumnView(st, 0)) || !read(ColumnView(st, 2))) return false;
  *added = std::move(journal.added);
  return true;
}

DWORD RegStore::CreateKeptLists() {
  DWORD error = Exec(KeptSchema().c_str());
  keptLists_ = error == ERROR_SUCCESS;
  return error;
}

// A registry made before kept lists existed gets them on its first open
// that may write; one that cannot be written (a read-only root) goes without.
void RegStore::OpenKeptLists(bool present) {
  keptLists_ = present;
  if (present) return;
  // A writer at work: the next open will do it.
  if (BeginOutermost(false) != ERROR_SUCCESS) return;
  if (CreateKeptLists() == ERROR_SUCCESS && CommitOutermost() == ERROR_SUCCESS) return;
  keptLists_ = false;
  RollBackOutermost();
}

// One lookup tells whether the list is current and reads it: its data, which
// may be hundreds of kilobytes, only when it is wanted.
bool RegStore::FindKeptList(const char* name, const std::string& signature, bool anyAge,
                            const KeptReader& read, std::string* storedAt, bool* current) {
  if (!keptLists_ || FlushCounts() != ERROR_SUCCESS) return false;
  BeginRead();
  sqlite3_stmt* st =
      Prepare(kReadKept,
              "SELECT CASE WHEN ?3 OR l.count = a.count AND l.others = o.count THEN l.data END,"
              " l.count || ' ' || l.others, l.count = a.count AND l.others = o.count"
              " FROM kept_lists l, area_changes a, area_changes o"
              " WHERE l.name = ?1 AND l.signature = ?2 AND a.area = l.area"
              " AND o.area = 'other programs'");
  if (st == nullptr) return false;
  StepScope scope(st);
  sqlite3_bind_text(st, 1, name, -1, SQLITE_STATIC);
  BindBytes(st, 2, signature);
  sqlite3_bind_int(st, 3, anyAge);
  if (sqlite3_step(st) != SQLITE_ROW) return false;
  *storedAt = ColumnBytes(st, 1);
  *current = sqlite3_column_int(st, 2) != 0;
  if (!anyAge && !*current) return true;
  return read(ColumnView(st, 0));
}

// Best effort, and never a fault of the machine: inside the run's changes a
// savepoint; otherwise a transaction of its own, only when the write lock is
// free at once, so that a reading run never waits for a writer.
bool RegStore::StoreKeptList(const char* name, const char* area, const std::string& signature,
                             const std::string& data) {
  if (!keptLists_) return false;
  const bool inside = txDepth_ > 0 || runOpen_;
  if (inside) {
    if (FlushCounts() != ERROR_SUCCESS) return false;
    if (Run(kSavepoint, "SAVEPOINT nested") != ERROR_SUCCESS) return false;
  } else if (BeginOutermost(false) != ERROR_SUCCESS) {
    return false;
  }
  bool stored = false;
  sqlite3_stmt* st =
      Prepare(kStoreKept,
              "INSERT OR REPLACE INTO kept_lists SELECT ?1, ?2, a.count, o.count, ?3, ?4"
              " FROM area_changes a, area_changes o"
              " WHERE a.area = ?2 AND o.area = 'other programs'");
  if (st != nullptr) {
    StepScope scope(st);
    sqlite3_bind_text(st, 1, name, -1, SQLITE_STATIC);
    sqlite3_bind_text(st, 2, area, -1, SQLITE_STATIC);
    BindBytes(st, 3, signature);
    BindBytes(st, 4, data);
    stored = sqlite3_step(st) == SQLITE_DONE && sqlite3_changes(db_) == 1;
  }
  if (inside) {
    if (!stored) Run(kRollbackToSavepoint, "ROLLBACK TO nested");
    stored = Run(kRelease, "RELEASE nested") == ERROR_SUCCESS && stored;
  } else if (stored && Run(kCommit, "COMMIT") == ERROR_SUCCESS) {
    // Not CommitOutermost: the keys and values are as they were, so what was
    // read of them stays right and the change stamp stays as it is.
    unsynced_ = true;
  } else {
    RollBackOutermost();
    stored = false;
  }
  return stored;
}

}  // namespace qzhost
