// Win32 error numbers for the registry's storage failures.
#include "platform/host/registry/regerror.h"

#include <errno.h>
#include <sqlite3.h>

#include <algorithm>
#include <iterator>

namespace qzhost {
namespace {

struct ErrorRow {
  int from;
  DWORD to;
};

// Sorted by SQLite code (primary codes are below 256, extended ones above).
const ErrorRow kSqliteRows[] = {
    {SQLITE_OK, ERROR_SUCCESS},
    {SQLITE_ERROR, ERROR_REGISTRY_CORRUPT},
    {SQLITE_PERM, ERROR_ACCESS_DENIED},
    {SQLITE_BUSY, kErrorLockViolation},
    {SQLITE_LOCKED, kErrorLockViolation},
    {SQLITE_NOMEM, ERROR_NOT_ENOUGH_MEMORY},
    {SQLITE_READONLY, ERROR_ACCESS_DENIED},
    {SQLITE_IOERR, ERROR_CANTWRITE},
    {SQLITE_CORRUPT, ERROR_REGISTRY_CORRUPT},
    {SQLITE_FULL, ERROR_DISK_FULL},
    {SQLITE_CANTOPEN, ERROR_CANTOPEN},
    {SQLITE_TOOBIG, ERROR_INVALID_PARAMETER},
    {SQLITE_CONSTRAINT, ERROR_REGISTRY_CORRUPT},
    {SQLITE_NOTADB, ERROR_BADDB},
    {SQLITE_ROW, ERROR_SUCCESS},
    {SQLITE_DONE, ERROR_SUCCESS},
    {SQLITE_IOERR_READ, ERROR_CANTREAD},
    {SQLITE_IOERR_SHORT_READ, ERROR_CANTREAD},
    {SQLITE_IOERR_WRITE, ERROR_CANTWRITE},
    {SQLITE_IOERR_NOMEM, ERROR_NOT_ENOUGH_MEMORY},
};

// Sorted by errno value.
const ErrorRow kErrnoRows[] = {
    {0, ERROR_SUCCESS},
    {EPERM, ERROR_ACCESS_DENIED},
    {ENOENT, ERROR_FILE_NOT_FOUND},
    {EIO, ERROR_CANTWRITE},
    {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},
    {EACCES, ERROR_ACCESS_DENIED},
    {EEXIST, ERROR_ALREADY_EXISTS},
    {ENOTDIR, ERROR_PATH_NOT_FOUND},
    {EISDIR, ERROR_ACCESS_DENIED},
    {ENOSPC, ERROR_DISK_FULL},
    {EROFS, kErrorWriteProtect},
    {ENAMETOOLONG, kErrorFilenameTooLong},
    {EDQUOT, ERROR_DISK_FULL},
};

template <size_t N>
const ErrorRow* Find(const ErrorRow (&rows)[N], int from) {
  const ErrorRow* end = rows + N;
  const ErrorRow* row =
      std::lower_bound(rows, end, from, [](const ErrorRow& r, int v) { return r.from < v; });
  return row != end && row->from == from ? row : nullptr;
}

template <size_t N>
bool Sorted(const ErrorRow (&rows)[N]) {
  return std::adjacent_find(rows, rows + N, [](const ErrorRow& a, const ErrorRow& b) {
           return a.from >= b.from;
         }) == rows + N;
}

}  // namespace

DWORD Win32ErrorFromSqlite(int sqliteCode) {
  if (const ErrorRow* row = Find(kSqliteRows, sqliteCode)) return row->to;
  if (const ErrorRow* row = Find(kSqliteRows, sqliteCode & 0xFF)) return row->to;
  return ERROR_REGISTRY_CORRUPT;
}

DWORD Win32ErrorFromErrno(int errnoValue) {
  if (const ErrorRow* row = Find(kErrnoRows, errnoValue)) return row->to;
  return ERROR_CANTWRITE;
}

bool RegErrorTablesSorted() { return Sorted(kSqliteRows) && Sorted(kErrnoRows); }

}  // namespace qzhost
