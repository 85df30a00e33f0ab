// The trace log: one formatted line at a time to the debugger output.
#ifndef QZINST32_INST32_TRACE_H_
#define QZINST32_INST32_TRACE_H_

#include "platform/win32.h"

#define QZ_TRACE_CHARS 512

// Formats with the C library's printf rules into the 512-byte trace buffer and
// sends it with OutputDebugStringA. A longer line goes out in pieces of at most
// 511 characters; nothing is ever written past the buffer.
void DbgTrace(LPCSTR pszFormat, ...) QZ_PRINTF_LIKE(1, 2);

// A string argument for the trace: "(null)" in place of a null pointer.
inline LPCSTR DbgStr(LPCSTR psz) { return psz ? psz : "(null)"; }

void DbgDumpDirs();
// The level-2 half reads only fields that DRIVER_INFO_2 has too.
void DbgDumpDrvInfo3Level2(const DRIVER_INFO_2A* pDrvInfo);
void DbgDumpDrvInfo3Level3(const DRIVER_INFO_3A* pDrvInfo);
void DbgDumpDrvInfo3(const DRIVER_INFO_3A* pDrvInfo);
void DbgDumpPrnInfo2(const PRINTER_INFO_2A* pPrnInfo);

#endif  // QZINST32_INST32_TRACE_H_
