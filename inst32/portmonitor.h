// The port monitor of command 2: "PortMonitor" = <name>,<file>.
#ifndef QZINST32_INST32_PORTMONITOR_H_
#define QZINST32_INST32_PORTMONITOR_H_

#include "inst32/orlstring.h"
#include "platform/win32.h"

class COrlPrinter;

class COrlPortMonitor {
 public:
  // pPrinter may be null: the object then stays empty and invalid.
  explicit COrlPortMonitor(COrlPrinter* pPrinter);
  COrlPortMonitor(const COrlPortMonitor&) = delete;
  COrlPortMonitor& operator=(const COrlPortMonitor&) = delete;

  virtual ~COrlPortMonitor();
  virtual COrlString* GetName();  // null when empty
  virtual COrlString* GetFile();  // null when empty
  virtual BOOL IsValid();
  // True when the monitor is in place afterwards or the INF names none.
  virtual BOOL Install();

  // True when the spooler lists the printer's port as served by this monitor
  // (Windows 9x, level 2) or lists the port at all (Windows NT, level 1).
  BOOL IsInstalled(LPSTR pszServer);

 private:
  COrlString m_csName;
  COrlString m_csFile;
  COrlString m_csPort;  // the port the installed test looks on; stays empty
  BOOL m_bValid;
};

#endif  // QZINST32_INST32_PORTMONITOR_H_
