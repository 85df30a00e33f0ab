// Command 4: enter the product in the system's list of installed software.
#ifndef QZINST32_INST32_UNINSTALL_H_
#define QZINST32_INST32_UNINSTALL_H_

#include "platform/win32.h"

WORD SetUninstall(const char* pszRemovalCommand);

#endif  // QZINST32_INST32_UNINSTALL_H_
