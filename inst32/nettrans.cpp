// Command 5: the TCP/IP transport's address for the setup script.
#include "inst32/nettrans.h"

#include "inst32/context.h"
#include "inst32/registry.h"
#include "inst32/resultcodes.h"
#include "inst32/trace.h"
#include "inst32/util32.h"

namespace {

// Reads a string value of any type into a buffer of nChars characters; the
// text always ends with a terminator, even when the stored data had none.
LONG QueryString(HKEY hKey, LPCSTR pszName, LPSTR pszBuffer, DWORD nChars) {
  DWORD cbData = nChars;
  LONG lResult = RegQueryValueExA(hKey, pszName, nullptr, nullptr,
                                  reinterpret_cast<LPBYTE>(pszBuffer), &cbData);
  if (lResult != ERROR_SUCCESS) {
    pszBuffer[0] = '\0';
    return lResult;
  }
  pszBuffer[cbData < nChars ? cbData : nChars - 1] = '\0';
  return ERROR_SUCCESS;
}

// Writes the address when hkTransport is a TCP/IP transport that has one.
// Returns TRUE when the search is over, with *pwResult set.
BOOL TryTransport(HKEY hkTransport, const char* pszProfileFile, WORD* pwResult) {
  char acDesc[QZ_PATH_CHARS];
  if (QueryString(hkTransport, "DriverDesc", acDesc, QZ_PATH_CHARS) != ERROR_SUCCESS ||
      lstrcmpiA(acDesc, "TCP/IP") != 0) {
    return FALSE;
  }
  char acAddress[QZ_PATH_CHARS];
  if (QueryString(hkTransport, "IPAddress", acAddress, QZ_PATH_CHARS) != ERROR_SUCCESS) {
    return FALSE;
  }
  if (WritePrivateProfileStringA("Config", "ServerAddress", acAddress, pszProfileFile)) {
    *pwResult = QZ_RESULT_OK;
  } else {
    // The script would read no address: reported like finding none.
    DWORD dwError = GetLastError();
    DbgTrace("WritePrivateProfileString() Failed! ERROR=%d <0x%8.8lX>\n", static_cast<int>(dwError),
             static_cast<unsigned long>(dwError));
  }
  return TRUE;
}

}  // namespace

WORD GetNetTransAddress(const char* pszProfileFile) {
  WORD wResult = QZ_RESULT_NOTHING_DONE;
  COrlRegKey hkClass;
  if (hkClass.Open(HKEY_LOCAL_MACHINE, QZ_NETTRANS_KEY, KEY_ALL_ACCESS) != ERROR_SUCCESS) {
    MessageBoxA(nullptr,
                "The registry key HKEY_LOCAL_MACHINE\\" QZ_NETTRANS_CLASS
                " (the installed network transports) could not be opened. "
                "No TCP/IP address was written.",
                QZ_NETTRANS_CAPTION, MB_OK);
    return wResult;
  }

  const int nClassLength = lstrlenA(QZ_NETTRANS_KEY);
  BOOL bFound = FALSE;
  for (DWORD dwIndex = 0; !bFound; ++dwIndex) {
    char acName[QZ_PATH_CHARS];
    DWORD cchName = QZ_PATH_CHARS;
    if (RegEnumKeyExA(hkClass, dwIndex, acName, &cchName, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;
    }
    // A path that would pass 259 characters is passed over, never cut: a cut
    // name could open another transport's key.
    if (nClassLength + lstrlenA(acName) >= QZ_PATH_CHARS) continue;
    char acPath[QZ_PATH_CHARS];
    lstrcpyA(acPath, QZ_NETTRANS_KEY);
    lstrcatA(acPath, acName);

    COrlRegKey hkTransport;
    if (hkTransport.Open(HKEY_LOCAL_MACHINE, acPath, KEY_ALL_ACCESS) != ERROR_SUCCESS) continue;
    bFound = TryTransport(hkTransport, pszProfileFile, &wResult);
  }
  return wResult;
}
