// The registry's SQLite VFS: the default one, except for how the log and the
// shared-memory files are opened and left between runs.
#include "platform/host/registry/sqlitevfs.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <mutex>
#include <string>

namespace qzhost {
namespace {

const char kVfsName[] = "qzinst32-unix";
sqlite3_vfs g_vfs;
sqlite3_vfs* g_base = nullptr;

// Kept after SQLite's own file object of a database, in the space the VFS
// asks SQLite to allocate for it.
struct DatabaseFileTail {
  const char* path;  // SQLite keeps the name valid until the file is closed
  int lock;          // the lock this connection holds on the file
};

size_t g_tailOffset = 0;
const sqlite3_io_methods* g_baseDatabaseMethods = nullptr;
sqlite3_io_methods g_databaseMethods;

DatabaseFileTail* TailOf(sqlite3_file* file) {
  return reinterpret_cast<DatabaseFileTail*>(reinterpret_cast<char*>(file) + g_tailOffset);
}

int LockFile(sqlite3_file* file, int level) {
  int rc = g_baseDatabaseMethods->xLock(file, level);
  if (rc == SQLITE_OK && level > TailOf(file)->lock) TailOf(file)->lock = level;
  return rc;
}

int UnlockFile(sqlite3_file* file, int level) {
  TailOf(file)->lock = level;  // whatever the outcome, no longer the only one
  return g_baseDatabaseMethods->xUnlock(file, level);
}

// A connection in log mode holds a shared lock on the database for as long
// as it is open, so the exclusive one SQLite takes to checkpoint at close
// means no other connection has the shared memory mapped. SQLite leaves the
// file as it was; emptied instead, it costs nothing when the next first
// connection truncates it again, where its blocks written back meanwhile
// would have to be freed, and nothing is written back between runs.
int UnmapSharedMemory(sqlite3_file* file, int deleteFlag) {
  const DatabaseFileTail tail = *TailOf(file);
  int rc = g_baseDatabaseMethods->xShmUnmap(file, deleteFlag);
  if (rc == SQLITE_OK && !deleteFlag && tail.lock == SQLITE_LOCK_EXCLUSIVE) {
    const std::string shm = std::string(tail.path) + "-shm";
    int fd = open(shm.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
      if (ftruncate(fd, 0) != 0) {
        // Left as it was: the next first connection rebuilds it either way.
      }
      close(fd);
    }
  }
  return rc;
}

// SQLite empties the log at close, once a checkpoint has copied all of it
// into the database and synced both, by cutting the file to nothing: that
// frees its blocks, at a cost on a disk that discards them, and the next
// run's commit allocates them again. A log up to kKeptLogBytes is emptied by
// overwriting its header instead, which every reader then takes for no log
// at all; the next writer starts a new header, and frames left after its own
// carry the old salts and are never read. Were the new header lost in a
// crash, the old one would replay frames that are already in the database.
const sqlite3_io_methods* g_baseLogMethods = nullptr;
sqlite3_io_methods g_logMethods;

int EmptyOrTruncateLog(sqlite3_file* file, sqlite3_int64 size) {
  sqlite3_int64 now = 0;
  if (size != 0 || g_baseLogMethods->xFileSize(file, &now) != SQLITE_OK || now > kKeptLogBytes)
    return g_baseLogMethods->xTruncate(file, size);
  static const char kNoHeader[32] = {};
  return g_baseLogMethods->xWrite(file, kNoHeader, sizeof kNoHeader, 0);
}

void WatchLogFile(sqlite3_file* file) {
  if (g_baseLogMethods == nullptr) {
    g_baseLogMethods = file->pMethods;
    g_logMethods = *file->pMethods;
    g_logMethods.xTruncate = EmptyOrTruncateLog;
  }
  if (file->pMethods == g_baseLogMethods) file->pMethods = &g_logMethods;
}

// SQLite's methods for this file with the three above; a file of another
// kind (some other locking style) keeps SQLite's own.
void WatchDatabaseFile(sqlite3_file* file, const char* path) {
  if (g_baseDatabaseMethods == nullptr && file->pMethods->iVersion >= 2) {
    g_baseDatabaseMethods = file->pMethods;
    g_databaseMethods = *file->pMethods;
    g_databaseMethods.xLock = LockFile;
    g_databaseMethods.xUnlock = UnlockFile;
    g_databaseMethods.xShmUnmap = UnmapSharedMemory;
  }
  if (file->pMethods != g_baseDatabaseMethods) return;
  *TailOf(file) = DatabaseFileTail{path, SQLITE_LOCK_NONE};
  file->pMethods = &g_databaseMethods;
}

int OpenSqliteFile(const char* zName, sqlite3_file* file, int flags, int* outFlags) {
  const bool existingLog = (flags & SQLITE_OPEN_WAL) && (flags & SQLITE_OPEN_CREATE) &&
                           zName != nullptr && access(zName, F_OK) == 0;
  if (existingLog) {
    int rc = g_base->xOpen(g_base, zName, file, flags & ~SQLITE_OPEN_CREATE, outFlags);
    if (rc == SQLITE_OK) return rc;
    // Removed in between by another process: create it as SQLite would.
  }
  return g_base->xOpen(g_base, zName, file, flags, outFlags);
}

int OpenFile(sqlite3_vfs*, const char* zName, sqlite3_file* file, int flags, int* outFlags) {
  int rc = OpenSqliteFile(zName, file, flags, outFlags);
  if (rc != SQLITE_OK || file->pMethods == nullptr) return rc;
  if ((flags & SQLITE_OPEN_MAIN_DB) && zName != nullptr) WatchDatabaseFile(file, zName);
  if (flags & SQLITE_OPEN_WAL) WatchLogFile(file);
  return rc;
}

}  // namespace

const char* RegistryVfsName() {
  static std::once_flag registered;
  static bool ok = false;
  std::call_once(registered, [] {
    g_base = sqlite3_vfs_find(nullptr);
    if (g_base == nullptr) return;
    g_vfs = *g_base;
    g_vfs.zName = kVfsName;
    g_vfs.pNext = nullptr;
    g_vfs.xOpen = OpenFile;
    const size_t align = alignof(DatabaseFileTail);
    g_tailOffset = (static_cast<size_t>(g_base->szOsFile) + align - 1) / align * align;
    g_vfs.szOsFile = static_cast<int>(g_tailOffset + sizeof(DatabaseFileTail));
    ok = sqlite3_vfs_register(&g_vfs, 0) == SQLITE_OK;
  });
  return ok ? kVfsName : nullptr;  // null: SQLite's default
}

}  // namespace qzhost
