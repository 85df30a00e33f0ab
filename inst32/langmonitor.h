// The language monitor of command 2: "LanguageMonitor" = <name>,<file>.
#ifndef QZINST32_INST32_LANGMONITOR_H_
#define QZINST32_INST32_LANGMONITOR_H_

#include "inst32/orlstring.h"
#include "platform/win32.h"

class COrlPrinter;

class COrlLangMonitor {
 public:
  // pPrinter may be null: the object then stays empty and invalid.
  explicit COrlLangMonitor(COrlPrinter* pPrinter);
  COrlLangMonitor(const COrlLangMonitor&) = delete;
  COrlLangMonitor& operator=(const COrlLangMonitor&) = delete;

  virtual ~COrlLangMonitor();
  virtual COrlString* GetName();  // null when empty
  virtual COrlString* GetFile();  // null when empty
  virtual BOOL IsValid();
  // True when the monitor is in place afterwards or the INF names none.
  virtual BOOL Install();

  // True when EnumMonitorsA (level 1) lists a monitor named exactly m_csName.
  BOOL IsInstalled(LPSTR pszServer);

 private:
  COrlString m_csName;
  COrlString m_csFile;
  BOOL m_bValid;
};

#endif  // QZINST32_INST32_LANGMONITOR_H_
