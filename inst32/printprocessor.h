// The print processor of command 2: "PrintProcessor" = <name>,<file>.
//
// No name, or "WinPrint", means the system's own print processor, which is
// never added. Any other one is added for the "Windows NT x86" environment.
#ifndef QZINST32_INST32_PRINTPROCESSOR_H_
#define QZINST32_INST32_PRINTPROCESSOR_H_

#include "inst32/orlstring.h"
#include "platform/win32.h"

class COrlPrinter;

class COrlPrintProcessor {
 public:
  // pPrinter may be null: the object then stays empty and invalid.
  explicit COrlPrintProcessor(COrlPrinter* pPrinter);
  COrlPrintProcessor(const COrlPrintProcessor&) = delete;
  COrlPrintProcessor& operator=(const COrlPrintProcessor&) = delete;

  virtual ~COrlPrintProcessor();
  virtual COrlString* GetName();  // null when empty
  virtual COrlString* GetFile();  // null when empty
  virtual BOOL IsValid();
  // True when the print processor is in place afterwards or is "WinPrint".
  virtual BOOL Install();
  virtual COrlString* GetDefaultParams();  // null when empty

  // Always the local machine (null); on Windows NT it says so in the trace.
  LPSTR GetServerName();

 private:
  COrlString m_csName;
  COrlString m_csFile;
  COrlString m_csDefaultParams;
  BOOL m_bValid;
  LPCSTR m_pszEnvironment;
};

#endif  // QZINST32_INST32_PRINTPROCESSOR_H_
