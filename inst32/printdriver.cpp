// The print driver of command 2.
#include "inst32/printdriver.h"

#include <new>

#include "inst32/printer.h"
#include "inst32/spooler.h"
#include "inst32/trace.h"
#include "inst32/util32.h"

#define QZ_DRIVER_NAME_CHARS 64
#define QZ_FILE_NAME_CHARS 16
#define QZ_VERSION_CHARS 128
#define QZ_VERSION_READ 126

namespace {

LPSTR WritableOrNull(COrlString* pText) { return pText ? pText->GetWritable() : nullptr; }

}  // namespace

void COrlPrintDriver::InitMembers() {
  m_bValid = FALSE;
  m_pDrvInfo = nullptr;
  m_dwLevel = 0;
  m_acDefaultDataType[0] = '\0';
  m_pszServer = nullptr;
}

COrlPrintDriver::COrlPrintDriver(COrlPrinter* pPrinter) {
  InitMembers();
  if (pPrinter == nullptr) return;
  COrlString* pPrinterName = pPrinter->GetPrinterName();
  DbgTrace("COrlPrintDriver::COrlPrintDriver() for %s\n",
           DbgStr(pPrinterName ? pPrinterName->GetString() : nullptr));
  COrlString* pInfFile = pPrinter->GetInfFile();
  COrlString* pSection = pPrinter->GetPrinterSection();
  if (pInfFile->IsEmpty() || pSection->IsEmpty()) return;
  GetKeysFromINF(*pSection, *pInfFile);
  m_dwLevel = 3;
  if (!GetInfoFromINF(pPrinter) || !GetServer()) {
    DbgTrace("FAIL: GetInfoFromINF() or GetServer() returned false");
    return;
  }
  DbgTrace("COrlPrintDriver(): name==%s; File==%s\n", m_csName.GetString(), m_csFile.GetString());
  m_bValid = !m_csName.IsEmpty() && !m_csFile.IsEmpty();
}

// The texts that both levels of an enumerated entry have (a DRIVER_INFO_3
// begins with the fields of a DRIVER_INFO_2).
void COrlPrintDriver::TakeLevel2Texts(const DRIVER_INFO_2A* pEntry) {
  m_csName = pEntry->pName;
  m_csDataFile = pEntry->pDataFile;
  m_csConfigFile = pEntry->pConfigFile;
  m_csFile = pEntry->pDriverPath;
  m_bValid = TRUE;
}

// The copy of the entry is what IsDifferent compares the version of; without
// it the temporary object stays invalid and counts as different.
COrlPrintDriver::COrlPrintDriver(const DRIVER_INFO_2A* pEntry) {
  InitMembers();
  m_dwLevel = 2;
  if (pEntry == nullptr) return;
  DRIVER_INFO_2A* pCopy = new (std::nothrow) DRIVER_INFO_2A(*pEntry);
  if (pCopy == nullptr) return;
  m_pDrvInfo = reinterpret_cast<LPBYTE>(pCopy);
  TakeLevel2Texts(pEntry);
}

COrlPrintDriver::COrlPrintDriver(const DRIVER_INFO_3A* pEntry) {
  InitMembers();
  m_dwLevel = 3;
  if (pEntry == nullptr) return;
  DRIVER_INFO_3A* pCopy = new (std::nothrow) DRIVER_INFO_3A(*pEntry);
  if (pCopy == nullptr) return;
  m_pDrvInfo = reinterpret_cast<LPBYTE>(pCopy);
  TakeLevel2Texts(reinterpret_cast<const DRIVER_INFO_2A*>(pEntry));
  m_csHelpFile = pEntry->pHelpFile;
  m_csDependentFiles = pEntry->pDependentFiles;  // the first name of the list
  // A longer data type than the array holds is cut to 31 characters.
  lstrcpynA(m_acDefaultDataType, pEntry->pDefaultDataType ? pEntry->pDefaultDataType : "",
            QZ_DATATYPE_CHARS);
}

COrlPrintDriver::~COrlPrintDriver() {
  DbgTrace("~COrlPrintDriver()\n");
  FreeDrvInfo();
}

DRIVER_INFO_2A* COrlPrintDriver::Info2() const {
  return reinterpret_cast<DRIVER_INFO_2A*>(m_pDrvInfo);
}

DRIVER_INFO_3A* COrlPrintDriver::Info3() const {
  return m_dwLevel == 3 ? reinterpret_cast<DRIVER_INFO_3A*>(m_pDrvInfo) : nullptr;
}

const DRIVER_INFO_2A* COrlPrintDriver::GetDriverInfo() const { return Info2(); }

void COrlPrintDriver::FreeDrvInfo() {
  if (m_dwLevel == 3) {
    delete Info3();
  } else {
    delete Info2();
  }
  m_pDrvInfo = nullptr;
}

COrlString* COrlPrintDriver::GetName() { return m_csName.IsEmpty() ? nullptr : &m_csName; }
COrlString* COrlPrintDriver::GetFile() { return m_csFile.IsEmpty() ? nullptr : &m_csFile; }
BOOL COrlPrintDriver::IsValid() { return m_bValid; }
LPSTR COrlPrintDriver::GetDefaultDataType() { return m_acDefaultDataType; }

void COrlPrintDriver::GetKeysFromINF(const COrlString& csSection, const COrlString& csInfFile) {
  m_csName = GetInfString(csInfFile, csSection, "Device", "", QZ_DRIVER_NAME_CHARS);
  orlTranslateStringPlaceholder(m_csName, csInfFile);  // other forms stay as they are
  m_csConfigFile = GetInfString(csInfFile, csSection, "ConfigFile", "", QZ_FILE_NAME_CHARS);
  m_csDataFile = GetInfString(csInfFile, csSection, "DataFile", "", QZ_FILE_NAME_CHARS);
  m_csHelpFile = GetInfString(csInfFile, csSection, "HelpFile", "", QZ_FILE_NAME_CHARS);
  m_csFile = GetInfString(csInfFile, csSection, "Driver", "", QZ_FILE_NAME_CHARS);
}

BOOL COrlPrintDriver::GetInfoFromINF(COrlPrinter* pPrinter) {
  if (pPrinter == nullptr) return FALSE;
  COrlString* pSection = pPrinter->GetPrinterSection();
  COrlString* pInfFile = pPrinter->GetInfFile();
  if (pSection->IsEmpty() || pInfFile->IsEmpty()) return FALSE;

  FreeDrvInfo();
  if (m_dwLevel == 2) {
    m_pDrvInfo = reinterpret_cast<LPBYTE>(new (std::nothrow) DRIVER_INFO_2A());
  } else {
    m_pDrvInfo = reinterpret_cast<LPBYTE>(new (std::nothrow) DRIVER_INFO_3A());
  }
  if (m_pDrvInfo == nullptr) {
    DbgTrace("COrlPrintDriver::GetInfoFromINF() FAILED memory Allocation!\n");
    return FALSE;
  }
  GetPrivateProfileStringA(*pSection, "DefaultDataType", "EMF", m_acDefaultDataType,
                           QZ_DATATYPE_CHARS, *pInfFile);
  char acVersion[QZ_VERSION_CHARS];
  GetPrivateProfileStringA(*pSection, "DrvVersion", "0x400", acVersion, QZ_VERSION_READ, *pInfFile);

  DRIVER_INFO_2A* pInfo = Info2();
  pInfo->cVersion = HexToDword(acVersion);
  pInfo->pName = m_csName.GetWritable();
  pInfo->pDriverPath = m_csFile.GetWritable();
  pInfo->pEnvironment = const_cast<LPSTR>(QZ_ENV_WIN40);  // on Windows NT too
  pInfo->pDataFile = m_csDataFile.GetWritable();
  pInfo->pConfigFile = m_csConfigFile.GetWritable();
  DbgDumpDrvInfo3Level2(pInfo);
  if (m_dwLevel != 3) {
    DbgTrace("No LEVEL_3 Info\n");
    return TRUE;
  }
  DRIVER_INFO_3A* pInfo3 = Info3();
  pInfo3->pHelpFile = m_csHelpFile.GetWritable();
  pInfo3->pDependentFiles =
      m_csDependentFiles.IsEmpty() ? nullptr : m_csDependentFiles.GetWritable();
  pInfo3->pMonitorName = WritableOrNull(pPrinter->GetLangMonitorName());
  pInfo3->pDefaultDataType = m_acDefaultDataType;
  DbgDumpDrvInfo3Level3(pInfo3);
  return TRUE;
}

BOOL COrlPrintDriver::GetServer() {
  m_pszServer = nullptr;  // the local spooler
  return TRUE;
}

BOOL COrlPrintDriver::Install() {
  if (!m_bValid) return FALSE;
  if (IsInstalled(m_pszServer)) return TRUE;
  if (AddPrinterDriverA(m_pszServer, m_dwLevel, m_pDrvInfo) ||
      GetLastError() == ERROR_PRINTER_DRIVER_ALREADY_INSTALLED) {
    DbgTrace("AddPrinterDriver() succeed!\n");
    return TRUE;
  }
  DWORD dwError = GetLastError();
  DbgTrace("AddPrinterDriver() failed: name=%s; drv=%s; err=%d<0x%8.8lX>\n", m_csName.GetString(),
           m_csFile.GetString(), static_cast<int>(dwError), static_cast<unsigned long>(dwError));
  return FALSE;
}

BOOL COrlPrintDriver::IsInstalled(LPSTR pszServer) {
  if (!m_bValid || m_pDrvInfo == nullptr) return FALSE;
  LPSTR pszEnvironment = Info2()->pEnvironment;
  DWORD dwLevel = m_dwLevel;
  COrlEnumBuffer drivers;
  EnumOutcome outcome =
      drivers.Fill([=](LPBYTE pBuf, DWORD cbBuf, LPDWORD pcbNeeded, LPDWORD pcReturned) {
        return EnumPrinterDriversA(pszServer, pszEnvironment, dwLevel, pBuf, cbBuf, pcbNeeded,
                                   pcReturned);
      });
  if (outcome != kEnumFilled) return FALSE;
  // From the last entry to the first; the first identical one settles it.
  for (DWORD i = drivers.Count(); i-- > 0;) {
    BOOL bSame = FALSE;
    if (dwLevel == 2) {
      const DRIVER_INFO_2A* pEntry = &drivers.Records<DRIVER_INFO_2A>()[i];
      if (pEntry->pName == nullptr || lstrcmpA(pEntry->pName, m_csName) != 0) continue;
      COrlPrintDriver drvEntry(pEntry);
      bSame = !drvEntry.IsDifferent(this);
    } else {
      const DRIVER_INFO_3A* pEntry = &drivers.Records<DRIVER_INFO_3A>()[i];
      if (pEntry->pName == nullptr || lstrcmpA(pEntry->pName, m_csName) != 0) continue;
      COrlPrintDriver drvEntry(pEntry);
      bSame = !drvEntry.IsDifferent(this);
    }
    if (bSame) return TRUE;
  }
  return FALSE;
}

BOOL COrlPrintDriver::IsDifferent(const COrlPrintDriver* pOther) const {
  if (pOther == nullptr || m_pDrvInfo == nullptr || pOther->m_pDrvInfo == nullptr) return TRUE;
  return Info2()->cVersion != pOther->Info2()->cVersion || m_csFile != pOther->m_csFile ||
         m_csDataFile != pOther->m_csDataFile || m_csConfigFile != pOther->m_csConfigFile ||
         m_csHelpFile != pOther->m_csHelpFile;
}
