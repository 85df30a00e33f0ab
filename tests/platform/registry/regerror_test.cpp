// The registry's translation of storage failures into Win32 error numbers.
#include "platform/host/registry/regerror.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

namespace {

struct Row {
  int from;
  DWORD to;
};

TEST(RegErrorTest, TablesAreSortedForTheBinarySearch) {
  EXPECT_TRUE(qzhost::RegErrorTablesSorted());
}

TEST(RegErrorTest, SqliteCodesRowByRow) {
  const Row rows[] = {
      {SQLITE_OK, ERROR_SUCCESS},
      {SQLITE_ROW, ERROR_SUCCESS},
      {SQLITE_DONE, ERROR_SUCCESS},
      {SQLITE_ERROR, ERROR_REGISTRY_CORRUPT},
      {SQLITE_PERM, ERROR_ACCESS_DENIED},
      {SQLITE_BUSY, qzhost::kErrorLockViolation},
      {SQLITE_LOCKED, qzhost::kErrorLockViolation},
      {SQLITE_NOMEM, ERROR_NOT_ENOUGH_MEMORY},
      {SQLITE_READONLY, ERROR_ACCESS_DENIED},
      {SQLITE_IOERR, ERROR_CANTWRITE},
      {SQLITE_CORRUPT, ERROR_REGISTRY_CORRUPT},
      {SQLITE_FULL, ERROR_DISK_FULL},
      {SQLITE_CANTOPEN, ERROR_CANTOPEN},
      {SQLITE_TOOBIG, ERROR_INVALID_PARAMETER},
      {SQLITE_CONSTRAINT, ERROR_REGISTRY_CORRUPT},
      {SQLITE_NOTADB, ERROR_BADDB},
      {SQLITE_IOERR_READ, ERROR_CANTREAD},
      {SQLITE_IOERR_SHORT_READ, ERROR_CANTREAD},
      {SQLITE_IOERR_WRITE, ERROR_CANTWRITE},
      {SQLITE_IOERR_NOMEM, ERROR_NOT_ENOUGH_MEMORY},
  };
  for (const Row& row : rows)
    EXPECT_EQ(row.to, qzhost::Win32ErrorFromSqlite(row.from)) << "SQLite code " << row.from;
}

TEST(RegErrorTest, ExtendedCodesFallBackToTheirPrimaryCode) {
  EXPECT_EQ(ERROR_CANTWRITE, qzhost::Win32ErrorFromSqlite(SQLITE_IOERR_FSYNC));
  EXPECT_EQ(qzhost::kErrorLockViolation, qzhost::Win32ErrorFromSqlite(SQLITE_BUSY_SNAPSHOT));
  EXPECT_EQ(ERROR_REGISTRY_CORRUPT, qzhost::Win32ErrorFromSqlite(SQLITE_CORRUPT_VTAB));
  EXPECT_EQ(ERROR_REGISTRY_CORRUPT, qzhost::Win32ErrorFromSqlite(SQLITE_SCHEMA));  // not listed
}

TEST(RegErrorTest, ErrnoRowByRow) {
  const Row rows[] = {
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
      {EROFS, qzhost::kErrorWriteProtect},
      {ENAMETOOLONG, qzhost::kErrorFilenameTooLong},
      {EDQUOT, ERROR_DISK_FULL},
      {EXDEV, ERROR_CANTWRITE},  // not listed
  };
  for (const Row& row : rows)
    EXPECT_EQ(row.to, qzhost::Win32ErrorFromErrno(row.from)) << "errno " << row.from;
}

}  // namespace
