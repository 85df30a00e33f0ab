// Command-line parsing and dispatch.
#include "inst32/dispatch.h"

#include "inst32/nettrans.h"
#include "inst32/pnp.h"
#include "inst32/portcreator.h"
#include "inst32/printer.h"
#include "inst32/resultcodes.h"
#include "inst32/trace.h"
#include "inst32/uninstall.h"
#include "w32/oemcmd32.h"

#define QZ_FIRST_EXTENDED 256
#define QZ_LAST_EXTENDED 65280

namespace {

WORD CreatePortCommand(const COrlString& csParam) {
  COrlPortCreator creator;
  return creator.Create(csParam) ? QZ_RESULT_OK : QZ_RESULT_PORT_NOT_CREATED;
}

WORD InstallPrinterCommand(const COrlString& csParam) {
  COrlPrinter printer(&csParam);
  if (printer.Install()) return QZ_RESULT_OK;
  return static_cast<WORD>(printer.GetStatus() & 0xFFFF);
}

WORD RegisterPnPCommand(const COrlString& csParam) { return RegisterPnPPrinter(csParam); }
WORD UninstallCommand(const COrlString& csParam) { return SetUninstall(csParam); }
WORD NetTransCommand(const COrlString& csParam) { return GetNetTransAddress(csParam); }
WORD MarkDLLsCommand(const COrlString& csParam) { return MarkDLLs(csParam); }
WORD RestoreSourceDirCommand(const COrlString&) { return RestoreSourceDir(); }
WORD NoOperationCommand(const COrlString&) { return QZ_RESULT_OK; }

const COMMANDENTRY kCommands[] = {
    {1, CreatePortCommand, "PORT", "create a printer port (registry key and WIN.INI [Ports])"},
    {2, InstallPrinterCommand, "INF SECTION PORT",
     "install the printer of an INF section with its driver, monitors and print processor"},
    {3, RegisterPnPCommand, "INF SECTION PORT",
     "register the printer as a Plug and Play device on a parallel port"},
    {4, UninstallCommand, "REMOVAL-COMMAND", "enter the product in the installed-software list"},
    {5, NetTransCommand, "PROFILE-FILE",
     "write the TCP/IP address into [Config] ServerAddress of a profile file"},
    {0, nullptr, nullptr, nullptr}};

const COMMANDENTRY kExtendedCommands[] = {
    {257, MarkDLLsCommand, "SOURCE-DIR",
     "mark the shared DLLs and set the setup source path (saving the old one)"},
    {258, RestoreSourceDirCommand, "", "restore the setup source path saved by 257"},
    {259, NoOperationCommand, "", "no operation"},
    {0, nullptr, nullptr, nullptr}};

const COMMANDENTRY* FindCommand(const COMMANDENTRY* pTable, DWORD dwNumber) {
  for (; pTable->pfnHandler != nullptr; ++pTable) {
    if (pTable->dwNumber == dwNumber) return pTable;
  }
  return nullptr;
}

// Index of the first space, stepping over double-byte characters; -1 if none.
int FindFirstSpace(LPCSTR pszText) {
  for (LPCSTR p = pszText; *p != '\0'; p = CharNextA(p)) {
    if (*p == ' ') return static_cast<int>(p - pszText);
  }
  return -1;
}

}  // namespace

const COMMANDENTRY* GetCommandTable() { return kCommands; }
const COMMANDENTRY* GetExtendedCommandTable() { return kExtendedCommands; }

BOOL IsExtendedCommand(DWORD dwNumber) {
  return dwNumber >= QZ_FIRST_EXTENDED && dwNumber <= QZ_LAST_EXTENDED;
}

DWORD ParseCommandNumber(LPCSTR pszText, int nLength) {
  int i = 0;
  while (i < nLength && IsBlankChar(pszText[i])) ++i;
  BOOL bNegative = FALSE;
  if (i < nLength && (pszText[i] == '+' || pszText[i] == '-')) bNegative = pszText[i++] == '-';
  DWORD dwValue = 0;
  for (; i < nLength && pszText[i] >= '0' && pszText[i] <= '9'; ++i) {
    dwValue = dwValue * 10u + static_cast<DWORD>(pszText[i] - '0');
  }
  return bNegative ? 0u - dwValue : dwValue;
}

WORD ProcessExtendedCommand(DWORD dwNumber, LPCSTR pszParam) {
  const COMMANDENTRY* pEntry = FindCommand(kExtendedCommands, dwNumber);
  if (pEntry == nullptr) return QZ_RESULT_UNKNOWN_CMD;
  return pEntry->pfnHandler(COrlString(pszParam));
}

WORD ProcessCommand(LPCSTR pszCommandText) {
  DbgTrace("ProcessCommand(\"%s\")\n", pszCommandText);
  COrlString csText(pszCommandText);
  if (csText.IsEmpty()) return QZ_RESULT_BAD_PARAM;

  int nSpace = FindFirstSpace(csText);
  int nNumberLength = nSpace >= 0 ? nSpace : csText.GetLength();
  COrlString csParam = nSpace >= 0 ? csText.Mid(nSpace + 1) : COrlString();
  csParam.TrimLeft();
  csParam.TrimRight();
  DWORD dwNumber = ParseCommandNumber(csText, nNumberLength);
  DbgTrace("Cmd=`%u' Param=`%s'\n", static_cast<unsigned>(dwNumber), csParam.GetString());

  WORD wResult = QZ_RESULT_UNKNOWN_CMD;
  const COMMANDENTRY* pEntry = FindCommand(kCommands, dwNumber);
  if (pEntry != nullptr) {
    wResult = pEntry->pfnHandler(csParam);
  } else if (IsExtendedCommand(dwNumber)) {
    wResult = ProcessExtendedCommand(dwNumber, csParam);
  }
  if (wResult != QZ_RESULT_OK) wResult |= QZ_RESULT_FAILED_BIT;
  return wResult;
}
