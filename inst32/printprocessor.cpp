// The print processor of command 2.
#include "inst32/printprocessor.h"

#include "inst32/context.h"
#include "inst32/printer.h"
#include "inst32/spooler.h"
#include "inst32/supportobject.h"
#include "inst32/trace.h"
#include "inst32/util32.h"

#define QZ_WINPRINT "WinPrint"
#define QZ_PARAMS_CHARS 32

COrlPrintProcessor::COrlPrintProcessor(COrlPrinter* pPrinter)
    : m_bValid(FALSE), m_pszEnvironment(QZ_ENV_NTX86) {
  if (ReadSupportObjectKey(pPrinter, "COrlPrintProcessor", "PrintProcessor", &m_csName,
                           &m_csFile) != kSupportRead) {
    return;
  }
  if (m_csName.IsEmpty()) m_csName = QZ_WINPRINT;
  DbgTrace("COrlPrintProcessor.name=%s, COrlPrintProcessor.file=%s\n", m_csName.GetString(),
           m_csFile.GetString());
  m_bValid = TRUE;
  if (lstrcmpA(m_csName, QZ_WINPRINT) == 0) {
    m_csFile = "";  // the system's own; nothing to add, no parameters
    return;
  }
  m_csDefaultParams = GetInfString(*pPrinter->GetInfFile(), *pPrinter->GetPrinterSection(),
                                   "PrintProcessorParam", "", QZ_PARAMS_CHARS);
  DbgTrace("COrlPrintProcessor::m_csDefaultParams==\"%s\"\n", m_csDefaultParams.GetString());
}

COrlPrintProcessor::~COrlPrintProcessor() { DbgTrace("~COrlPrintProcessor()\n"); }

COrlString* COrlPrintProcessor::GetName() { return m_csName.IsEmpty() ? nullptr : &m_csName; }
COrlString* COrlPrintProcessor::GetFile() { return m_csFile.IsEmpty() ? nullptr : &m_csFile; }
BOOL COrlPrintProcessor::IsValid() { return m_bValid; }

COrlString* COrlPrintProcessor::GetDefaultParams() {
  return m_csDefaultParams.IsEmpty() ? nullptr : &m_csDefaultParams;
}

LPSTR COrlPrintProcessor::GetServerName() {
  if (ContextIsNT()) DbgTrace("COrlPrintProcessor::GetServerName() NOT implemented\n");
  return nullptr;
}

BOOL COrlPrintProcessor::Install() {
  LPSTR pszServer = GetServerName();
  if (!m_bValid) return FALSE;
  if (lstrcmpA(m_csName, QZ_WINPRINT) == 0) return TRUE;

  // There is no installed test: an existing one is known by the spooler's 3005.
  if (AddPrintProcessorA(pszServer, const_cast<LPSTR>(m_pszEnvironment), m_csFile.GetWritable(),
                         m_csName.GetWritable())) {
    DbgTrace("AddPrintProcessor() Succeed!\n");
    return TRUE;
  }
  DWORD dwError = GetLastError();
  if (dwError == ERROR_PRINT_PROCESSOR_ALREADY_INSTALLED) {
    DbgTrace("AddPrintProcessor() Succeed!\n");
    return TRUE;
  }
  DbgTrace("AddPrintProcessor() Failed! ERROR=%d <0x%8.8lX>\n", static_cast<int>(dwError),
           static_cast<unsigned long>(dwError));
  return FALSE;
}
