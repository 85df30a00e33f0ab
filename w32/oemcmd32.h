// Extended commands 257 and 258: shared-DLL marks and the setup source path.
#ifndef QZINST32_W32_OEMCMD32_H_
#define QZINST32_W32_OEMCMD32_H_

#include "platform/win32.h"

#define QZ_KNOWN16DLLS_KEY "System\\CurrentControlSet\\control\\SessionManager\\Known16DLLs"
#define QZ_INSTALLEDFILES_KEY "System\\CurrentControlSet\\control\\InstalledFiles"
#define QZ_SETUP_KEY "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Setup"
#define QZ_SOURCE_DIR_CHARS 260

// The driver files marked as known, installed 16-bit libraries; ends with NULL.
extern const char* const g_apszSharedDLLs[];

// Command 257: marks the shared DLLs, backs up "SourcePath" into
// "SourcePathBak" and sets "SourcePath" to the directory. 0, or 1024 when
// neither marking key opens.
WORD MarkDLLs(const char* pszSourceDir);
// Copies "SourcePath" to "SourcePathBak" through the previous-directory buffer.
void SetPrevSrcDir();
// Sets "SourcePath" to the directory; one of fewer than 2 characters is ignored.
void SetWIN95SourceDir(const char* pszDir);
// Command 258: puts "SourcePathBak" back as "SourcePath". Always 0.
WORD RestoreSourceDir();
// Reads "SourcePathBak" into the buffer (empty when it cannot be read) and
// deletes the value.
void GetPrevSrcDir(char* pszBuffer, unsigned long cchBuffer);

#endif  // QZINST32_W32_OEMCMD32_H_
