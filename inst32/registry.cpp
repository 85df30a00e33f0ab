// Registry helpers shared by the commands.
#include "inst32/registry.h"

#include <new>

#include "inst32/orlstring.h"

// A value that grows between the size query and the read is asked for again,
// at most this many times.
#define QZ_QUERY_TRIES 3

LONG COrlRegKey::Open(HKEY hParent, LPCSTR pszSubKey, REGSAM samDesired) {
  Close();
  HKEY hKey = nullptr;
  LONG lResult = RegOpenKeyExA(hParent, pszSubKey, 0, samDesired, &hKey);
  if (lResult == ERROR_SUCCESS) m_hKey = hKey;
  return lResult;
}

LONG COrlRegKey::OpenSimple(HKEY hParent, LPCSTR pszSubKey) {
  Close();
  HKEY hKey = nullptr;
  LONG lResult = RegOpenKeyA(hParent, pszSubKey, &hKey);
  if (lResult == ERROR_SUCCESS) m_hKey = hKey;
  return lResult;
}

LONG COrlRegKey::Create(HKEY hParent, LPCSTR pszSubKey) {
  Close();
  HKEY hKey = nullptr;
  LONG lResult = RegCreateKeyA(hParent, pszSubKey, &hKey);
  if (lResult == ERROR_SUCCESS) m_hKey = hKey;
  return lResult;
}

void COrlRegKey::Close() {
  if (m_hKey != nullptr) {
    RegCloseKey(m_hKey);
    m_hKey = nullptr;
  }
}

LONG COrlRegKey::SetString(LPCSTR pszName, LPCSTR pszValue) {
  DWORD cbData = static_cast<DWORD>(lstrlenA(pszValue)) + 1;
  return RegSetValueExA(m_hKey, pszName, 0, REG_SZ, reinterpret_cast<const BYTE*>(pszValue),
                        cbData);
}

LONG COrlRegKey::SetBinary(LPCSTR pszName, const BYTE* pData, DWORD cbData) {
  return RegSetValueExA(m_hKey, pszName, 0, REG_BINARY, pData, cbData);
}

LONG COrlRegKey::QueryString(LPCSTR pszName, COrlString* pcsValue) {
  *pcsValue = "";
  LONG lResult = ERROR_MORE_DATA;
  for (int nTry = 0; nTry < QZ_QUERY_TRIES && lResult == ERROR_MORE_DATA; ++nTry) {
    DWORD cbData = 0;
    lResult = RegQueryValueExA(m_hKey, pszName, nullptr, nullptr, nullptr, &cbData);
    if (lResult != ERROR_SUCCESS) return lResult;
    // One byte more than asked, so that a value stored without its
    // terminator still reads as a terminated text.
    char* pBuffer = new (std::nothrow) char[static_cast<size_t>(cbData) + 1];
    if (pBuffer == nullptr) return ERROR_NOT_ENOUGH_MEMORY;
    DWORD cbRead = cbData;
    lResult = RegQueryValueExA(m_hKey, pszName, nullptr, nullptr, reinterpret_cast<LPBYTE>(pBuffer),
                               &cbRead);
    if (lResult == ERROR_SUCCESS) {
      pBuffer[cbRead < cbData ? cbRead : cbData] = '\0';
      *pcsValue = pBuffer;
    }
    delete[] pBuffer;
  }
  return lResult;
}
