// Profile calls: not built yet; every read gives the default, writes fail.
#include <cstring>

#include "platform/win32.h"

extern "C" {
DWORD WINAPI GetPrivateProfileStringA(LPCSTR, LPCSTR, LPCSTR lpDefault, LPSTR lpReturnedString,
                                      DWORD nSize, LPCSTR) {
  if (nSize == 0) return 0;
  lstrcpynA(lpReturnedString, lpDefault ? lpDefault : "", static_cast<int>(nSize));
  return static_cast<DWORD>(strlen(lpReturnedString));
}
UINT WINAPI GetPrivateProfileIntA(LPCSTR, LPCSTR, INT nDefault, LPCSTR) {
  return static_cast<UINT>(nDefault);
}
BOOL WINAPI WritePrivateProfileStringA(LPCSTR, LPCSTR, LPCSTR, LPCSTR) { return FALSE; }
DWORD WINAPI GetProfileStringA(LPCSTR a, LPCSTR k, LPCSTR d, LPSTR r, DWORD n) {
  return GetPrivateProfileStringA(a, k, d, r, n, "win.ini");
}
BOOL WINAPI WriteProfileStringA(LPCSTR, LPCSTR, LPCSTR) { return FALSE; }
}
