// Command 5: copy the TCP/IP transport's address into a profile file.
#ifndef QZINST32_INST32_NETTRANS_H_
#define QZINST32_INST32_NETTRANS_H_

#include "platform/win32.h"

// The class key of the network transports; it ends with a backslash so that a
// subkey name can follow at once.
#define QZ_NETTRANS_CLASS "System\\CurrentControlSet\\Services\\Class\\NetTrans"
#define QZ_NETTRANS_KEY QZ_NETTRANS_CLASS "\\"
#define QZ_NETTRANS_CAPTION "failed to open key"

// Writes the first "TCP/IP" transport's "IPAddress" as [Config] ServerAddress
// of the profile file. 0 when written; 1024 when the class key cannot be
// opened (after a message box), no TCP/IP transport has an address, or the
// profile file cannot be written.
WORD GetNetTransAddress(const char* pszProfileFile);

#endif  // QZINST32_INST32_NETTRANS_H_
