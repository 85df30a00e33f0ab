// Process entry, single-instance guard and the install context.
#include "inst32/context.h"
#include "inst32/dispatch.h"
#include "inst32/resource.h"
#include "inst32/resultcodes.h"
#include "inst32/trace.h"
#include "inst32/util32.h"
#include "platform/instance_guard.h"

#define QZ_SETUP_WINDOW_CLASS "InstallShield_Win"
#define QZ_SETUP_WINDOW_TITLE "Halden RT-2210 Series System Installation"

INSTALLCONTEXT* g_pInstallContext = nullptr;

BOOL ContextIsNT() { return g_pInstallContext != nullptr && g_pInstallContext->IsNT; }
char ContextPathSep() { return g_pInstallContext ? g_pInstallContext->cPathSep : '\\'; }
HINSTANCE ContextInstance() { return g_pInstallContext ? g_pInstallContext->hInstance : nullptr; }

INT IsNT() {
  INT nIsNT = (GetVersion() & 0x80000000u) == 0 ? 1 : 0;
  DbgTrace("IsNT == %d\n", nIsNT);
  return nIsNT;
}

namespace {

char LoadFirstChar(HINSTANCE hInstance, UINT uID) {
  char acText[2] = {0, 0};
  LoadStringA(hInstance, uID, acText, sizeof acText);
  return acText[0];
}

// Keeps the module path up to and including its last separator; a trail byte
// equal to the separator's code is stepped over with its lead byte.
void CutAfterLastSeparator(LPSTR pszPath, char cSep) {
  LPSTR pKeepEnd = pszPath;
  for (LPSTR p = pszPath; *p != '\0'; p = CharNextA(p)) {
    if (*p == cSep && CharNextA(p) == p + 1) pKeepEnd = p + 1;
  }
  *pKeepEnd = '\0';
}

}  // namespace

WORD InitInstance(HINSTANCE hInstance) {
  INSTALLCONTEXT* pContext =
      static_cast<INSTALLCONTEXT*>(GlobalAlloc(GPTR, sizeof(INSTALLCONTEXT)));
  if (pContext == nullptr) return QZ_RESULT_NO_CONTEXT;
  g_pInstallContext = pContext;
  pContext->IsNT = IsNT();

  char acTitle[QZ_PATH_CHARS];
  BoundedCopy(acTitle, QZ_SETUP_WINDOW_TITLE, QZ_PATH_CHARS);
  pContext->hwndSetup = FindWindowA(QZ_SETUP_WINDOW_CLASS, acTitle);
  pContext->hInstance = hInstance;
  pContext->cPathSep = LoadFirstChar(hInstance, IDS_PATH_SEPARATOR);
  pContext->cParamDelim = LoadFirstChar(hInstance, IDS_PARAM_DELIMITER);

  // A failed call leaves its zero-filled field empty; a too-long name is not
  // terminated by every system, so the last character is kept for the terminator.
  GetWindowsDirectoryA(pContext->acWinDir, QZ_PATH_CHARS);
  pContext->acWinDir[QZ_PATH_CHARS - 1] = '\0';
  AppendPathSeparator(pContext->acWinDir);
  GetSystemDirectoryA(pContext->acSysDir, QZ_PATH_CHARS);
  pContext->acSysDir[QZ_PATH_CHARS - 1] = '\0';
  AppendPathSeparator(pContext->acSysDir);
  GetModuleFileNameA(nullptr, pContext->acSupDir, QZ_PATH_CHARS);
  pContext->acSupDir[QZ_PATH_CHARS - 1] = '\0';
  CutAfterLastSeparator(pContext->acSupDir, pContext->cPathSep);

  DbgDumpDirs();
  return QZ_RESULT_OK;
}

void DeInitInstance() {
  DbgTrace("DeInitInstance()\n");
  if (g_pInstallContext != nullptr) {
    GlobalFree(g_pInstallContext);
    g_pInstallContext = nullptr;
  }
}

LPCSTR SkipProgramName(LPCSTR pszCommandLine) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(pszCommandLine);
  if (*p == '"') {
    for (++p; *p != '\0' && *p != '"'; ++p) {
    }
    if (*p == '"') ++p;
  } else {
    while (*p > ' ') ++p;
  }
  while (*p != '\0' && *p <= ' ') ++p;
  return reinterpret_cast<LPCSTR>(p);
}

// The command text comes from GetCommandLineA rather than the C runtime's
// lpCmdLine: that copy skips the program name with signed characters, so a
// text starting with a byte of 0x80 or above loses the byte as a "blank".
int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int) {
  LPCSTR lpstrCmdLine = SkipProgramName(GetCommandLineA());
  DbgTrace("lpstrCmdLine=%s\n", DbgStr(lpstrCmdLine));
  WORD wResult = QZ_RESULT_RUNNING;
  if (IncrementInstanceCounter() == 0) {
    wResult = InitInstance(hInstance);
    if (wResult == QZ_RESULT_OK) wResult = ProcessCommand(lpstrCmdLine);
  }
  DeInitInstance();
  DecrementInstanceCounter();
  DbgTrace("WinMain()=0x%04X\n", static_cast<unsigned>(wResult));
  return wResult;
}
