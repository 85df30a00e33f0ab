// Command 5: copy the TCP/IP transport's address into a profile file.
#ifndef QZINST32_INST32_NETTRANS_H_
#define QZINST32_INST32_NETTRANS_H_

#include "platform/win32.h"

WORD GetNetTransAddress(const char* pszProfileFile);

#endif  // QZINST32_INST32_NETTRANS_H_
