// The install context: the one record of start-up facts every command reads.
#ifndef QZINST32_INST32_CONTEXT_H_
#define QZINST32_INST32_CONTEXT_H_

#include "platform/win32.h"

#define QZ_PATH_CHARS 260

struct INSTALLCONTEXT {
  HWND hwndSetup;       // the setup engine's main window; recorded only
  HINSTANCE hInstance;  // for the string resources
  INT IsNT;             // 1 on Windows NT
  char acWinDir[QZ_PATH_CHARS];
  char acSysDir[QZ_PATH_CHARS];
  char acSupDir[QZ_PATH_CHARS];
  char cPathSep;
  char cParamDelim;
};

// Null until InitInstance has allocated it.
extern INSTALLCONTEXT* g_pInstallContext;

WORD InitInstance(HINSTANCE hInstance);
void DeInitInstance();
// 1 when GetVersion() has its top bit clear (Windows NT); traces the flag.
INT IsNT();
// The context's flag, or 0 before the context exists.
BOOL ContextIsNT();
// The context's separator, or '\\' before the context exists.
char ContextPathSep();
HINSTANCE ContextInstance();
// The command text of a full command line: Windows' rules skip the program
// name (a quoted name runs to its closing quote, else to the first blank) and
// the blanks after it. Bytes of 0x80 and above are never blanks.
LPCSTR SkipProgramName(LPCSTR pszCommandLine);

#endif  // QZINST32_INST32_CONTEXT_H_
