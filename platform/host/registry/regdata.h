// The bytes of a value as Windows stores them and hands them back, by
// personality: the rules a string's terminator follows.
#ifndef QZINST32_PLATFORM_HOST_REGDATA_H_
#define QZINST32_PLATFORM_HOST_REGDATA_H_

#include <string>

#include "platform/win32.h"

namespace qzhost {

// What RegSetValueExA stores for `size` bytes at `data` (null only with
// size 0 on NT, which the call checks first). Windows 98 ignores the size of
// a REG_SZ and stores the text to its first NUL with one; NT stores the
// bytes given, adding a terminator only where a string's last byte is none
// and the byte just after it is one ("FullString" with size 10: 11 bytes;
// with size 9: 9 bytes). Everything else is stored byte for byte.
std::string StoredValueData(bool isNT, DWORD type, const BYTE* data, DWORD size);

// Copies a value's bytes into a caller's buffer of `room` bytes that holds
// them; a string stored without its terminator gets a NUL after it where the
// buffer has room for one, as RegQueryValueExA and RegEnumValueA do.
void CopyValueData(DWORD type, const std::string& data, BYTE* buffer, DWORD room);

}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_REGDATA_H_
