// Command 1: create a printer port.
//
// Windows 9x is not known to read either place, so the port is written both
// as a key under the print control key and as a WIN.INI [Ports] entry (on NT
// the profile call lands in the Ports key of IniFileMapping).
#include "inst32/portcreator.h"

#include "inst32/context.h"
#include "inst32/registry.h"
#include "inst32/resource.h"
#include "inst32/spooler.h"
#include "inst32/trace.h"

#define QZ_PRINT_CONTROL_KEY "System\\CurrentControlSet\\Control\\Print"
#define QZ_PORTS_INFIX "\\Ports\\"
#define QZ_PORTS_SECTION "Ports"
// Enough to tell an empty entry from one that has a value.
#define QZ_PORT_ENTRY_CHARS 4

namespace {

const UINT kStandardPrefixIds[] = {IDS_PORT_LPT, IDS_PORT_COM, IDS_PORT_FILE};

}  // namespace

BOOL COrlPortCreator::IsStandardPortName(const COrlString& csPort) {
  char acPort[QZ_PORT_PREFIX_CHARS];
  csPort.CopyTo(acPort, QZ_PORT_PREFIX_CHARS);
  for (UINT uId : kStandardPrefixIds) {
    char acPrefix[QZ_PORT_PREFIX_CHARS];
    int nPrefix = LoadStringA(ContextInstance(), uId, acPrefix, QZ_PORT_PREFIX_CHARS);
    // A prefix that did not load would compare equal to every name.
    if (nPrefix <= 0) continue;
    // A shorter name brings its terminator into the count and never matches.
    if (CompareStringA(LOCALE_USER_DEFAULT,
                       NORM_IGNORECASE | NORM_IGNOREKANATYPE | NORM_IGNOREWIDTH, acPort, nPrefix,
                       acPrefix, nPrefix) == CSTR_EQUAL) {
      return TRUE;
    }
  }
  return FALSE;
}

BOOL COrlPortCreator::Create(const char* pszPort) { return Create(COrlString(pszPort)); }

BOOL COrlPortCreator::Create(const COrlString& csPort) {
  // An empty name would make the path end in "\Ports\", which opens the Ports
  // key itself, and leave a WIN.INI entry without a name: refused like a
  // standard name.
  if (csPort.IsEmpty() || IsStandardPortName(csPort)) return FALSE;

  BOOL bResult = TRUE;
  COrlString csKey = COrlString(QZ_PRINT_CONTROL_KEY QZ_PORTS_INFIX) + csPort;
  COrlRegKey hkPort;
  if (hkPort.Create(HKEY_LOCAL_MACHINE, csKey) == ERROR_SUCCESS) {
    hkPort.Close();
    RegFlushKey(HKEY_LOCAL_MACHINE);
    m_csPort = csPort;
    // On NT the [Ports] entry is what makes the port (it lands in the Ports
    // key the spooler lists); Windows 98 may read either place, so a port
    // counts as made there too only once both are written.
    bResult = AddProfileEntry(csPort);
  } else {
    bResult = FALSE;
  }
  if (!bResult) DbgTrace("Failed to create port `%s'\n", csPort.GetString());
  TracePorts();
  return bResult;
}

// Writes "<port>=" unless the entry is present with a value already. FALSE
// when the write fails.
BOOL COrlPortCreator::AddProfileEntry(const COrlString& csPort) {
  char acEntry[QZ_PORT_ENTRY_CHARS];
  if (GetProfileStringA(QZ_PORTS_SECTION, csPort, "", acEntry, QZ_PORT_ENTRY_CHARS) != 0)
    return TRUE;
  return WriteProfileStringA(QZ_PORTS_SECTION, csPort, "");
}

// For diagnosis only: the spooler's ports, last to first.
void COrlPortCreator::TracePorts() {
  COrlEnumBuffer ports;
  EnumOutcome outcome =
      ports.Fill([](LPBYTE pBuf, DWORD cbBuf, LPDWORD pcbNeeded, LPDWORD pcReturned) {
        return EnumPortsA(nullptr, 1, pBuf, cbBuf, pcbNeeded, pcReturned);
      });
  if (outcome != kEnumFilled) {
    DbgTrace("EnumPorts() FAILED: %lu\n", static_cast<unsigned long>(GetLastError()));
    return;
  }
  DbgTrace("EnumPorts() found %d ports\n", static_cast<int>(ports.Count()));
  const PORT_INFO_1A* pPorts = ports.Records<PORT_INFO_1A>();
  for (DWORD i = ports.Count(); i > 0; --i) {
    DbgTrace("Here's a port: %s\n", DbgStr(pPorts[i - 1].pName));
  }
}
