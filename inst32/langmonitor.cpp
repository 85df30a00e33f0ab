// The language monitor of command 2.
#include "inst32/langmonitor.h"

#include "inst32/context.h"
#include "inst32/printer.h"
#include "inst32/spooler.h"
#include "inst32/supportobject.h"
#include "inst32/trace.h"
#include "inst32/util32.h"

COrlLangMonitor::COrlLangMonitor(COrlPrinter* pPrinter) : m_bValid(FALSE) {
  SupportKeyRead read =
      ReadSupportObjectKey(pPrinter, "COrlLangMonitor", "LanguageMonitor", &m_csName, &m_csFile);
  if (read == kSupportRejected) DbgTrace("Failed GetDelimitedPrinterObject()\n");
  if (read != kSupportRead) return;
  DbgTrace("COrlLangMonitor.name=%s, COrlLangMonitor.file=%s\n", m_csName.GetString(),
           m_csFile.GetString());
  m_bValid = m_csName.IsEmpty() == m_csFile.IsEmpty();
}

COrlLangMonitor::~COrlLangMonitor() { DbgTrace("~COrlLangMonitor()\n"); }

COrlString* COrlLangMonitor::GetName() { return m_csName.IsEmpty() ? nullptr : &m_csName; }
COrlString* COrlLangMonitor::GetFile() { return m_csFile.IsEmpty() ? nullptr : &m_csFile; }
BOOL COrlLangMonitor::IsValid() { return m_bValid; }

BOOL COrlLangMonitor::Install() {
  if (!m_bValid) return FALSE;
  if (m_csName.IsEmpty() && m_csFile.IsEmpty()) return TRUE;
  if (IsInstalled(nullptr)) return TRUE;

  return AddSpoolerMonitor(m_csName, m_csFile);
}

BOOL COrlLangMonitor::IsInstalled(LPSTR pszServer) {
  COrlEnumBuffer monitors;
  EnumOutcome outcome =
      monitors.Fill([pszServer](LPBYTE pBuf, DWORD cbBuf, LPDWORD pcbNeeded, LPDWORD pcReturned) {
        return EnumMonitorsA(pszServer, 1, pBuf, cbBuf, pcbNeeded, pcReturned);
      });
  if (outcome == kEnumNoMemory) {
    DbgTrace("COrlLangMonitor::IsInstalled() Memory failure!\n");
    return FALSE;
  }
  if (outcome == kEnumFailed) {
    DbgTrace("FAILED EnumMonitors()!");
    return FALSE;
  }
  BOOL bInstalled = FALSE;
  const MONITOR_INFO_1A* pEntries = monitors.Records<MONITOR_INFO_1A>();
  for (DWORD i = 0; i < monitors.Count() && !bInstalled; ++i) {
    bInstalled = pEntries[i].pName != nullptr && lstrcmpA(pEntries[i].pName, m_csName) == 0;
  }
  DbgTrace("%s Installed == %d\n", m_csName.GetString(), bInstalled ? 1 : 0);
  return bInstalled;
}
