// Plug and Play enumeration lookup: the hardware node that carries a port.
//
// The hardware tree below HKEY_LOCAL_MACHINE\Enum is searched for a node whose
// "PortName" equals the port, and the node's path comes back flat, its names
// joined by '&' (BIOS&dev&inst). One port can match several nodes; the match
// skip count picks the first, second, third ... of them.
#ifndef QZINST32_INST32_PNPENUM_H_
#define QZINST32_INST32_PNPENUM_H_

#include "inst32/orlstring.h"
#include "platform/win32.h"

// Process-wide: the matches to pass over before one is returned. The caller
// sets it before each lookup; every match met decrements it, across both
// roots and at any depth, and the match met while it holds 0 wins.
void SetPnPMatchSkip(INT nSkip);
INT GetPnPMatchSkip();

// The flat path of the matching node below "BIOS", else below "Root", with the
// root's name first ("BIOS&dev&inst"); empty when none. Only the first six
// characters of the port count, cut at a colon ("LPT1:" looks for "LPT1").
COrlString GetPnPEnumKey(LPCSTR pszPort);

// Searches pszPath below hParent, and every key beneath it, depth-first in
// enumeration order for a key whose value pszValueName equals pszWanted (case
// counts). Returns that key's path relative to pszPath, its names joined by
// cSeparator, or an empty string. A key whose value could be read is never
// searched below. Subkey names longer than 35 characters are passed over.
// The depth of the tree costs heap, not stack.
COrlString FindStrValueSubkeyPath(HKEY hParent, LPCSTR pszPath, LPCSTR pszValueName,
                                  LPCSTR pszWanted, char cSeparator);

#endif  // QZINST32_INST32_PNPENUM_H_
