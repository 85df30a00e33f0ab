// Win32 error numbers for the registry's storage failures (SQLite and errno).
//
// One table per source, sorted by its key, so every storage failure reaches
// the caller of a Reg* call as the number Windows would give for that kind of
// trouble, never as an ad hoc constant.
#ifndef QZINST32_PLATFORM_HOST_REGERROR_H_
#define QZINST32_PLATFORM_HOST_REGERROR_H_

#include "platform/win32.h"

namespace qzhost {

// Numbers winerror.h has that the program's seam does not declare.
const DWORD kErrorWriteProtect = 19;      // ERROR_WRITE_PROTECT
const DWORD kErrorLockViolation = 33;     // ERROR_LOCK_VIOLATION
const DWORD kErrorFilenameTooLong = 206;  // ERROR_FILENAME_EXCED_RANGE

// A SQLite result code (extended codes are looked up first, then their
// primary code). SQLITE_OK, SQLITE_ROW and SQLITE_DONE give ERROR_SUCCESS;
// codes not in the table give ERROR_REGISTRY_CORRUPT.
DWORD Win32ErrorFromSqlite(int sqliteCode);

// An errno value; 0 gives ERROR_SUCCESS, values not in the table ERROR_CANTWRITE.
DWORD Win32ErrorFromErrno(int errnoValue);

// For tests: true when both tables are strictly sorted by their key.
bool RegErrorTablesSorted();

}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_REGERROR_H_
