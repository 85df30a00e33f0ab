// Command 2: the printer object. Not built yet.
#ifndef QZINST32_INST32_PRINTER_H_
#define QZINST32_INST32_PRINTER_H_

#include "inst32/orlstring.h"

class COrlPrinter {
 public:
  explicit COrlPrinter(const COrlString* pParam);
  virtual ~COrlPrinter() = default;
  virtual int GetStatus() const { return m_nStatus; }
  BOOL Install();

 private:
  int m_nStatus = 0;
};

#endif  // QZINST32_INST32_PRINTER_H_
