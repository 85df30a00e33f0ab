// Command 4: enter the product in the system's list of installed software.
#ifndef QZINST32_INST32_UNINSTALL_H_
#define QZINST32_INST32_UNINSTALL_H_

#include "platform/win32.h"

#define QZ_UNINSTALL_KEY "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
// The display name (string resource 25015) with its terminator.
#define QZ_DISPLAY_NAME_CHARS 126

// Writes "UninstallString" (the removal command) and "DisplayName" into the
// product's key under the uninstall key. 0; 1026 for an empty command or an
// uninstall key that cannot be opened; 1028 when the product key cannot be
// created or opened.
WORD SetUninstall(const char* pszRemovalCommand);

#endif  // QZINST32_INST32_UNINSTALL_H_
