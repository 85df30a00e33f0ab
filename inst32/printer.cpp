// Command 2: the printer object.
#include "inst32/printer.h"

#include <string.h>

#include <new>

#include "inst32/context.h"
#include "inst32/langmonitor.h"
#include "inst32/portmonitor.h"
#include "inst32/printdriver.h"
#include "inst32/printprocessor.h"
#include "inst32/resultcodes.h"
#include "inst32/trace.h"
#include "inst32/util32.h"

#define QZ_PRINTER_NAME_CHARS 32
#define QZ_ATTRIBUTES_CHARS 16

namespace {

LPSTR WritableOrNull(COrlString* pText) { return pText ? pText->GetWritable() : nullptr; }

}  // namespace

COrlPrinter::COrlPrinter(const COrlString* pParam)
    : m_pDriver(nullptr),
      m_pPortMonitor(nullptr),
      m_pLangMonitor(nullptr),
      m_pPrintProcessor(nullptr),
      m_hPrinter(nullptr),
      m_bConfigured(FALSE),
      m_nStatus(QZ_RESULT_OK) {
  memset(&m_PrnInfo2, 0, sizeof m_PrnInfo2);
  if (pParam == nullptr) return;
  DbgTrace("COrlPrinter(%s)\n", pParam->GetString());
  SplitInstallParameter(*pParam, &m_csInfFile, &m_csPrnSect, &m_csPort);
  if (m_csPort.IsEmpty() || m_csInfFile.IsEmpty() || m_csPrnSect.IsEmpty()) {
    m_nStatus = QZ_RESULT_BAD_PARAM;
    return;
  }
  DbgTrace("INF file=%s\nPrnSect=%s Port=%s\n", m_csInfFile.GetString(), m_csPrnSect.GetString(),
           m_csPort.GetString());
  // The printer's own name is not translated and keeps at most 31 characters.
  m_csName = GetInfString(m_csInfFile, m_csPrnSect, "device", "", QZ_PRINTER_NAME_CHARS);
  m_nStatus = CreateSupportObjects();
  if (m_nStatus == QZ_RESULT_OK) {
    memset(&m_PrnInfo2, 0, sizeof m_PrnInfo2);
    DbgTrace("COrlPrinter() constructor complete\n");
  }
}

COrlPrinter::~COrlPrinter() {
  delete m_pDriver;
  delete m_pPortMonitor;
  delete m_pLangMonitor;
  delete m_pPrintProcessor;
  DbgTrace("~COrlPrinter() complete\n");
}

int COrlPrinter::CreateSupportObjects() {
  m_pPortMonitor = new (std::nothrow) COrlPortMonitor(this);
  if (m_pPortMonitor == nullptr) return QZ_RESULT_NO_PORTMON_OBJ;
  m_pLangMonitor = new (std::nothrow) COrlLangMonitor(this);
  if (m_pLangMonitor == nullptr) return QZ_RESULT_NO_LANGMON_OBJ;
  m_pPrintProcessor = new (std::nothrow) COrlPrintProcessor(this);
  if (m_pPrintProcessor == nullptr) return QZ_RESULT_NO_PRINTPROC_OBJ;
  // Last: the driver asks this printer for the language monitor's name.
  m_pDriver = new (std::nothrow) COrlPrintDriver(this);
  if (m_pDriver == nullptr) return QZ_RESULT_NO_DRIVER_OBJ;
  return QZ_RESULT_OK;
}

BOOL COrlPrinter::IsInstalled() {
  DbgTrace("COrlPrinter::IsInstalled() not implemented\n");
  return FALSE;
}

int COrlPrinter::GetStatus() const { return m_nStatus; }
COrlString* COrlPrinter::GetPrinterName() { return m_csName.IsEmpty() ? nullptr : &m_csName; }
COrlString* COrlPrinter::GetPortName() { return m_csPort.IsEmpty() ? nullptr : &m_csPort; }
COrlString* COrlPrinter::GetInfFile() { return &m_csInfFile; }
COrlString* COrlPrinter::GetPrinterSection() { return &m_csPrnSect; }
COrlString* COrlPrinter::GetDriverName() { return m_pDriver->GetName(); }
COrlString* COrlPrinter::GetDriverFile() { return m_pDriver->GetFile(); }
COrlString* COrlPrinter::GetPortMonitorName() { return m_pPortMonitor->GetName(); }
COrlString* COrlPrinter::GetPortMonitorFile() { return m_pPortMonitor->GetFile(); }
COrlString* COrlPrinter::GetLangMonitorName() { return m_pLangMonitor->GetName(); }
COrlString* COrlPrinter::GetLangMonitorFile() { return m_pLangMonitor->GetFile(); }
COrlString* COrlPrinter::GetPrintProcessorName() { return m_pPrintProcessor->GetName(); }
COrlString* COrlPrinter::GetPrintProcessorFile() { return m_pPrintProcessor->GetFile(); }

BOOL COrlPrinter::Install() {
  if (m_nStatus != QZ_RESULT_OK || !m_pDriver || !m_pPortMonitor || !m_pLangMonitor ||
      !m_pPrintProcessor) {
    return FALSE;
  }
  if (!InstallSupportObjects()) {
    DbgTrace("Failed installing printer support objects\n");
    m_nStatus = QZ_RESULT_INSTALL_FAILED;
    return FALSE;
  }
  LockDownObjects();
  if (!GetPrinterInfo()) {
    DbgTrace("Failed getting printer info\n");
    m_nStatus = QZ_RESULT_NO_PRINTER_INFO;
    UnlockObjects();
    return FALSE;
  }
  AddToSpooler();
  UnlockObjects();
  if (m_hPrinter != nullptr) {
    ClosePrinter(m_hPrinter);
    m_hPrinter = nullptr;
  }
  return m_bConfigured;
}

// Print processor, port monitor, language monitor, driver; stops at a failure.
BOOL COrlPrinter::InstallSupportObjects() {
  return m_pPrintProcessor->Install() && m_pPortMonitor->Install() && m_pLangMonitor->Install() &&
         m_pDriver->Install();
}

// A printer that exists already is success; any other refusal means the
// printer is not there, and the command must not report success.
void COrlPrinter::AddToSpooler() {
  m_hPrinter =
      AddPrinterA(m_pPrintProcessor->GetServerName(), 2, reinterpret_cast<LPBYTE>(&m_PrnInfo2));
  if (m_hPrinter != nullptr) {
    DbgTrace("AddPrinter() Succeed !\n");
    Configure();
    return;
  }
  DWORD dwError = GetLastError();
  if (dwError == ERROR_PRINTER_ALREADY_EXISTS) return;
  DbgTrace("AddPrinter() failed: ERROR %ld <0x%8.8lX>\n", static_cast<long>(dwError),
           static_cast<unsigned long>(dwError));
  m_nStatus = QZ_RESULT_ADD_PRINTER_FAILED;
}

BOOL COrlPrinter::GetPrinterInfo() {
  m_PrnInfo2.pPrinterName = WritableOrNull(GetPrinterName());
  m_PrnInfo2.pDriverName = WritableOrNull(GetDriverName());
  m_PrnInfo2.pPortName = WritableOrNull(GetPortName());
  m_PrnInfo2.pPrintProcessor = WritableOrNull(GetPrintProcessorName());
  m_PrnInfo2.pDatatype = GetDataType();
  m_PrnInfo2.pServerName = GetServerName();
  m_PrnInfo2.pParameters = WritableOrNull(m_pPrintProcessor->GetDefaultParams());
  m_PrnInfo2.Attributes = GetAttributes();
  DbgDumpPrnInfo2(&m_PrnInfo2);
  // AddPrinterA needs these four names; without one the record is unusable.
  return m_PrnInfo2.pPrinterName != nullptr && m_PrnInfo2.pDriverName != nullptr &&
         m_PrnInfo2.pPortName != nullptr && m_PrnInfo2.pPrintProcessor != nullptr;
}

LPSTR COrlPrinter::GetServerName() {
  if (ContextIsNT()) DbgTrace("COrlPrinter::GetServerName() NOT implemented\n");
  return nullptr;
}

LPSTR COrlPrinter::GetDataType() { return m_pDriver->GetDefaultDataType(); }

DWORD COrlPrinter::GetAttributes() {
  UINT nMakeDefault = GetPrivateProfileIntA(m_csPrnSect, "MakeDefault", 1, m_csInfFile);
  COrlString csAttributes =
      GetInfString(m_csInfFile, m_csPrnSect, "Attributes", "0", QZ_ATTRIBUTES_CHARS);
  DWORD dwAttrib = 0;
  if (nMakeDefault != 0) dwAttrib = HexToDword(csAttributes) | PRINTER_ATTRIBUTE_DEFAULT;
  COrlString* pName = GetPrinterName();
  DbgTrace("%s printer dwAttrib == <0x%8.8X>\n", DbgStr(pName ? pName->GetString() : nullptr),
           static_cast<unsigned>(dwAttrib));
  return dwAttrib;
}

void COrlPrinter::Configure() {
  DbgTrace("COrlPrinter::Configure() does nothing\n");
  m_bConfigured = TRUE;
}

void COrlPrinter::LockDownObjects() {
  DbgTrace("WARNING: COrlPrinter::LockDownObjects() not implemented!\n");
}

void COrlPrinter::UnlockObjects() {
  DbgTrace("WARNING: COrlPrinter::UnlockObjects() not implemented!\n");
}
