// Extended commands 257 and 258: shared-DLL marks and the setup source path.
#ifndef QZINST32_W32_OEMCMD32_H_
#define QZINST32_W32_OEMCMD32_H_

#include "platform/win32.h"

WORD MarkDLLs(const char* pszSourceDir);
WORD RestoreSourceDir();

#endif  // QZINST32_W32_OEMCMD32_H_
