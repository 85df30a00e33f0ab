// Copies of the machine's files: SQLite backups and temporary folders.
#include "platform/host/report/snapshot.h"

#include <errno.h>
#include <ftw.h>
#include <sqlite3.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "platform/host/registry/sqlitevfs.h"

namespace qzhost {
namespace {

std::string Message(sqlite3* db, const char* what) {
  return std::string(what) + ": " + (db ? sqlite3_errmsg(db) : "out of memory");
}

// Opens the database as the registry does, so that its log and
// shared-memory files are left as they were found. Read-write without
// create: a read-only connection would create both and leave the
// shared-memory file full. Through the registry's file layer, the last
// connection to close leaves the shared-memory file empty, and told to keep
// the log, leaves the log alone (nothing is written to it here). A database
// found without a log (another client removed it) gets none: SQLite removes
// the two files it made at close, as it does for every client.
bool OpenSource(const std::string& source, sqlite3** db) {
  bool keepLog = access((source + "-wal").c_str(), F_OK) == 0;
  if (sqlite3_open_v2(source.c_str(), db, SQLITE_OPEN_READWRITE, RegistryVfsName()) != SQLITE_OK)
    return false;
  int on = 1;
  if (keepLog) sqlite3_file_control(*db, "main", SQLITE_FCNTL_PERSIST_WAL, &on);
  return true;
}

}  // namespace

bool BackupDatabase(const std::string& source, const std::string& target, std::string* why) {
  sqlite3* from = nullptr;
  sqlite3* to = nullptr;
  bool ok = false;
  if (!OpenSource(source, &from)) {
    *why = Message(from, ("cannot open " + source).c_str());
  } else if (sqlite3_open_v2(target.c_str(), &to, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                             nullptr) != SQLITE_OK) {
    *why = Message(to, ("cannot create " + target).c_str());
  } else {
    sqlite3_busy_timeout(from, 5000);
    sqlite3_backup* backup = sqlite3_backup_init(to, "main", from, "main");
    if (backup == nullptr) {
      *why = Message(to, "cannot copy the registry");
    } else {
      int rc, tries = 0;
      while (((rc = sqlite3_backup_step(backup, -1)) == SQLITE_BUSY || rc == SQLITE_LOCKED) &&
             ++tries < 250)
        sqlite3_sleep(20);
      sqlite3_backup_finish(backup);
      ok = rc == SQLITE_DONE;
      if (!ok) *why = "cannot copy " + source + ": " + sqlite3_errstr(rc);
    }
  }
  sqlite3_close(to);
  sqlite3_close(from);
  return ok;
}

std::string MakeTempFolder(const char* prefix, std::string* why) {
  const char* tmp = getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + prefix + ".XXXXXX";
  if (mkdtemp(&pattern[0]) == nullptr) {
    *why = "cannot create a temporary folder " + pattern + ": " + strerror(errno);
    return {};
  }
  return pattern;
}

void RemoveTree(const std::string& folder) {
  if (folder.empty()) return;
  nftw(
      folder.c_str(),
      [](const char* path, const struct stat*, int, struct FTW*) { return remove(path); }, 16,
      FTW_DEPTH | FTW_PHYS);
}

}  // namespace qzhost
