// Command 1: create a printer port (registry key and WIN.INI [Ports] entry).
#ifndef QZINST32_INST32_PORTCREATOR_H_
#define QZINST32_INST32_PORTCREATOR_H_

#include "inst32/orlstring.h"

class COrlPortCreator {
 public:
  BOOL Create(const COrlString& csPort);
  BOOL Create(const char* pszPort);
  BOOL IsStandardPortName(const COrlString& csPort);

 private:
  COrlString m_csPort;
};

#endif  // QZINST32_INST32_PORTCREATOR_H_
