// The port monitor of command 2.
#include "inst32/portmonitor.h"

#include "inst32/context.h"
#include "inst32/printer.h"
#include "inst32/spooler.h"
#include "inst32/supportobject.h"
#include "inst32/trace.h"
#include "inst32/util32.h"

namespace {

BOOL SameText(LPCSTR pszA, const COrlString& csB) {
  return pszA != nullptr && lstrcmpA(pszA, csB) == 0;
}

}  // namespace

COrlPortMonitor::COrlPortMonitor(COrlPrinter* pPrinter) : m_bValid(FALSE) {
  // m_csPort stays empty: the installed test then finds no port, and Install
  // adds the monitor on both systems, an installed one answering 3006 (NT) or
  // 183 (9x). NT's test counts any port of that name, whatever monitor serves
  // it, so the printer's own port (made by command 1) would hide a missing
  // monitor there.
  if (ReadSupportObjectKey(pPrinter, "COrlPortMonitor", "PortMonitor", &m_csName, &m_csFile) !=
      kSupportRead) {
    return;
  }
  DbgTrace("COrlPortMonitor.name=%s, COrlPortMonitor.file=%s\n", m_csName.GetString(),
           m_csFile.GetString());
  m_bValid = m_csName.IsEmpty() == m_csFile.IsEmpty();
}

COrlPortMonitor::~COrlPortMonitor() { DbgTrace("~COrlPortMonitor()\n"); }

COrlString* COrlPortMonitor::GetName() { return m_csName.IsEmpty() ? nullptr : &m_csName; }
COrlString* COrlPortMonitor::GetFile() { return m_csFile.IsEmpty() ? nullptr : &m_csFile; }
BOOL COrlPortMonitor::IsValid() { return m_bValid; }

BOOL COrlPortMonitor::Install() {
  if (!m_bValid) return FALSE;
  if (m_csName.IsEmpty() || m_csFile.IsEmpty()) return TRUE;
  if (IsInstalled(nullptr)) return TRUE;

  return AddSpoolerMonitor(m_csName, m_csFile);
}

BOOL COrlPortMonitor::IsInstalled(LPSTR pszServer) {
  // Windows NT lists a port only where a monitor serves it; 9x names the monitor.
  DWORD dwLevel = ContextIsNT() ? 1 : 2;
  COrlEnumBuffer ports;
  EnumOutcome outcome = ports.Fill(
      [pszServer, dwLevel](LPBYTE pBuf, DWORD cbBuf, LPDWORD pcbNeeded, LPDWORD pcReturned) {
        return EnumPortsA(pszServer, dwLevel, pBuf, cbBuf, pcbNeeded, pcReturned);
      });
  if (outcome == kEnumNoMemory) {
    DbgTrace("COrlPortMonitor::IsInstalled() Memory failure!\n");
    return FALSE;
  }
  BOOL bInstalled = FALSE;
  if (outcome == kEnumFailed) {
    DbgTrace("EnumPorts() FAILED: %lu\n", static_cast<unsigned long>(GetLastError()));
  } else if (dwLevel == 1) {
    const PORT_INFO_1A* pEntries = ports.Records<PORT_INFO_1A>();
    for (DWORD i = 0; i < ports.Count() && !bInstalled; ++i) {
      bInstalled = SameText(pEntries[i].pName, m_csPort);
    }
  } else {
    const PORT_INFO_2A* pEntries = ports.Records<PORT_INFO_2A>();
    for (DWORD i = 0; i < ports.Count() && !bInstalled; ++i) {
      bInstalled =
          SameText(pEntries[i].pPortName, m_csPort) && SameText(pEntries[i].pMonitorName, m_csName);
    }
  }
  DbgTrace("%s ON %s Installed == %d\n", m_csName.GetString(), m_csPort.GetString(),
           bInstalled ? 1 : 0);
  return bInstalled;
}
