// Command-line parsing and dispatch: the command and extended-command tables.
#ifndef QZINST32_INST32_DISPATCH_H_
#define QZINST32_INST32_DISPATCH_H_

#include "inst32/orlstring.h"

typedef WORD (*PFNCOMMAND)(const COrlString& csParam);

struct COMMANDENTRY {
  DWORD dwNumber;
  PFNCOMMAND pfnHandler;
  LPCSTR pszParams;  // for help texts: what the parameter holds
  LPCSTR pszHelp;
};

// Splits "<number> <parameter>", runs the command and returns its result code
// with bit 0x400 set on any failure.
WORD ProcessCommand(LPCSTR pszCommandText);
BOOL IsExtendedCommand(DWORD dwNumber);
WORD ProcessExtendedCommand(DWORD dwNumber, LPCSTR pszParam);

// The number text read as the 32-bit C library's atol reads it, then taken
// as unsigned: leading blanks, one sign, digits; wraps modulo 2^32.
DWORD ParseCommandNumber(LPCSTR pszText, int nLength);

// Both tables end with an entry whose handler is null.
const COMMANDENTRY* GetCommandTable();
const COMMANDENTRY* GetExtendedCommandTable();

#endif  // QZINST32_INST32_DISPATCH_H_
