// Registry helpers shared by the commands.
#include "inst32/registry.h"

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
