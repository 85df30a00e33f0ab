// The registry's SQLite VFS: the default one, opening existing logs as such.
#include "platform/host/sqlitevfs.h"

#include <sqlite3.h>
#include <unistd.h>

#include <mutex>

namespace qzhost {
namespace {

const char kVfsName[] = "qzinst32-unix";
sqlite3_vfs g_vfs;
sqlite3_vfs* g_base = nullptr;

int OpenFile(sqlite3_vfs*, const char* zName, sqlite3_file* file, int flags, int* outFlags) {
  const bool existingLog = (flags & SQLITE_OPEN_WAL) && (flags & SQLITE_OPEN_CREATE) &&
                           zName != nullptr && access(zName, F_OK) == 0;
  if (existingLog) {
    int rc = g_base->xOpen(g_base, zName, file, flags & ~SQLITE_OPEN_CREATE, outFlags);
    if (rc == SQLITE_OK) return rc;
    // Removed in between by another process: create it as SQLite would.
  }
  return g_base->xOpen(g_base, zName, file, flags, outFlags);
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
    ok = sqlite3_vfs_register(&g_vfs, 0) == SQLITE_OK;
  });
  return ok ? kVfsName : nullptr;  // null: SQLite's default
}

}  // namespace qzhost
