// The trace log: DbgTrace and the record dumps.
#include "inst32/trace.h"

#include <limits.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <new>

#include "inst32/context.h"

namespace {

char g_acTrace[QZ_TRACE_CHARS];
const size_t kcchTraceText = QZ_TRACE_CHARS - 1;

// Sends a line longer than the buffer in pieces of at most 511 characters.
void SendInPieces(LPCSTR pszLine, int nLength) {
  for (int nDone = 0; nDone < nLength; nDone += QZ_TRACE_CHARS - 1) {
    lstrcpynA(g_acTrace, pszLine + nDone, QZ_TRACE_CHARS);
    OutputDebugStringA(g_acTrace);
  }
}

// Most trace lines are text and %s (a command that lists thousands of ports
// traces one "Here's a port" line each), and the C library's formatter costs
// more per line than everything else the command does with a port: such a
// line is copied together here, text between conversions at once. Returns the
// whole line's length, as vsnprintf does, or -1 for another conversion or a
// null string, which are left to vsnprintf.
int FormatStrings(LPCSTR pszFormat, va_list args) {
  size_t cchDone = 0;
  // memmove, not memcpy: a copy into the buffer, known to be short, is made
  // inline as a string move instruction that costs more than the library's
  // call, on every line.
  const auto append = [&cchDone](LPCSTR pszText, size_t cchText) {
    if (cchDone < kcchTraceText) {
      memmove(g_acTrace + cchDone, pszText, std::min(cchText, kcchTraceText - cchDone));
    }
    cchDone += cchText;
  };
  for (LPCSTR p = pszFormat;; p += 2) {
    LPCSTR pszPercent = strchr(p, '%');
    if (pszPercent == nullptr) {
      append(p, strlen(p));
      break;
    }
    append(p, static_cast<size_t>(pszPercent - p));
    p = pszPercent;
    if (p[1] != 's') return -1;
    LPCSTR pszArg = va_arg(args, LPCSTR);
    if (pszArg == nullptr) return -1;
    append(pszArg, strlen(pszArg));
  }
  g_acTrace[std::min(cchDone, kcchTraceText)] = '\0';
  return cchDone > INT_MAX ? -1 : static_cast<int>(cchDone);
}

}  // namespace

void DbgTrace(LPCSTR pszFormat, ...) {
  va_list args;
  va_start(args, pszFormat);
  va_list argsAgain;
  va_copy(argsAgain, args);
  va_list argsCopied;
  va_copy(argsCopied, args);
  int nLength = FormatStrings(pszFormat, argsCopied);
  va_end(argsCopied);
  if (nLength < 0) nLength = vsnprintf(g_acTrace, sizeof g_acTrace, pszFormat, args);
  va_end(args);
  if (nLength >= 0 && nLength < QZ_TRACE_CHARS) {
    OutputDebugStringA(g_acTrace);
  } else if (nLength >= QZ_TRACE_CHARS) {
    char* pszLong = new (std::nothrow) char[static_cast<size_t>(nLength) + 1];
    if (pszLong != nullptr) {
      vsnprintf(pszLong, static_cast<size_t>(nLength) + 1, pszFormat, argsAgain);
      SendInPieces(pszLong, nLength);
      delete[] pszLong;
    } else {
      OutputDebugStringA(g_acTrace);  // the first 511 characters, cut
    }
  }
  va_end(argsAgain);
}

void DbgDumpDirs() {
  if (g_pInstallContext == nullptr) return;
  DbgTrace("acWinDir=%s\n", g_pInstallContext->acWinDir);
  DbgTrace("acSysDir=%s\n", g_pInstallContext->acSysDir);
  DbgTrace("acSupDir=%s\n", g_pInstallContext->acSupDir);
}

void DbgDumpDrvInfo3Level2(const DRIVER_INFO_2A* pDrvInfo) {
  if (pDrvInfo == nullptr) return;
  DbgTrace("  pDrvInfo->cVersion == 0x%04X\n", static_cast<unsigned>(pDrvInfo->cVersion));
  DbgTrace("  pDrvInfo->pName == %s\n", DbgStr(pDrvInfo->pName));
  DbgTrace("  pDrvInfo->pDriverPath == %s\n", DbgStr(pDrvInfo->pDriverPath));
  DbgTrace("  pDrvInfo->pDataFile == %s\n", DbgStr(pDrvInfo->pDataFile));
  DbgTrace("  pDrvInfo->pConfigFile == %s\n", DbgStr(pDrvInfo->pConfigFile));
}

void DbgDumpDrvInfo3Level3(const DRIVER_INFO_3A* pDrvInfo) {
  if (pDrvInfo == nullptr) return;
  DbgTrace("  pDrvInfo->pHelpFile == %s\n", DbgStr(pDrvInfo->pHelpFile));
  DbgTrace("  pDrvInfo->pDependentFiles == %s\n", DbgStr(pDrvInfo->pDependentFiles));
  DbgTrace("  pDrvInfo->pMonitorName == %s\n", DbgStr(pDrvInfo->pMonitorName));
  DbgTrace("  pDrvInfo->pDefaultDataType == %s\n", DbgStr(pDrvInfo->pDefaultDataType));
  DbgTrace("  pDrvInfo->pEnvironment == %s\n", DbgStr(pDrvInfo->pEnvironment));
}

void DbgDumpDrvInfo3(const DRIVER_INFO_3A* pDrvInfo) {
  DbgDumpDrvInfo3Level2(reinterpret_cast<const DRIVER_INFO_2A*>(pDrvInfo));
  DbgDumpDrvInfo3Level3(pDrvInfo);
}

void DbgDumpPrnInfo2(const PRINTER_INFO_2A*) { DbgTrace(" [DbgDumpPrnInfo2() not implemented]\n"); }
