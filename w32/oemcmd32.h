// Extended commands 257 and 258: shared-DLL marks and the setup source path.
#ifndef QZINST32_W32_OEMCMD32_H_
#define QZINST32_W32_OEMCMD32_H_

#include "inst32/orlstring.h"
#include "platform/win32.h"

#define QZ_KNOWN16DLLS_KEY "System\\CurrentControlSet\\control\\SessionManager\\Known16DLLs"
#define QZ_INSTALLEDFILES_KEY "System\\CurrentControlSet\\control\\InstalledFiles"
#define QZ_SETUP_KEY "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Setup"

// The driver files marked as known, installed 16-bit libraries; ends with NULL.
extern const char* const g_apszSharedDLLs[];

// Command 257: marks the shared DLLs, backs up "SourcePath" into
// "SourcePathBak" and sets "SourcePath" to the directory. 0; 1024 when
// neither marking key opens, or when the old path could not be read or the
// backup not written (then nothing is switched and an earlier backup stays),
// or when the new directory could not be set (the marks made stay).
WORD MarkDLLs(const char* pszSourceDir);
// Copies "SourcePath", whole whatever its length, to "SourcePathBak" (empty
// when there is none, or no setup key). The registry's error when the backup
// was not written; a path that cannot be read, or a setup key that exists but
// does not open to be read, writes no backup at all.
LONG SetPrevSrcDir();
// Sets "SourcePath" to the directory; one of fewer than 2 characters is
// ignored (ERROR_SUCCESS). The registry's error when it could not be set.
LONG SetWIN95SourceDir(const char* pszDir);
// Command 258: puts "SourcePathBak" back as "SourcePath" and deletes it. 0,
// also when there is no backup; 1024 when a backup exists but cannot be put
// back, which then stays for a later try.
WORD RestoreSourceDir();
// Reads "SourcePathBak" whole into *pcsDir (empty when it cannot be read).
// ERROR_FILE_NOT_FOUND means there is no backup.
LONG GetPrevSrcDir(COrlString* pcsDir);

#endif  // QZINST32_W32_OEMCMD32_H_
