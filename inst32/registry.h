// Registry helpers shared by the commands: a key that closes itself.
#ifndef QZINST32_INST32_REGISTRY_H_
#define QZINST32_INST32_REGISTRY_H_

#include "platform/win32.h"

class COrlString;

class COrlRegKey {
 public:
  COrlRegKey() = default;
  ~COrlRegKey() { Close(); }
  COrlRegKey(const COrlRegKey&) = delete;
  COrlRegKey& operator=(const COrlRegKey&) = delete;

  // Each returns the registry's error number; the key is held on success.
  LONG Open(HKEY hParent, LPCSTR pszSubKey, REGSAM samDesired);
  LONG OpenSimple(HKEY hParent, LPCSTR pszSubKey);  // RegOpenKeyA
  LONG Create(HKEY hParent, LPCSTR pszSubKey);      // RegCreateKeyA
  void Close();

  HKEY Get() const { return m_hKey; }
  BOOL IsOpen() const { return m_hKey != nullptr; }
  operator HKEY() const { return m_hKey; }

  // REG_SZ with its terminator counted; REG_BINARY byte for byte.
  LONG SetString(LPCSTR pszName, LPCSTR pszValue);
  LONG SetBinary(LPCSTR pszName, const BYTE* pData, DWORD cbData);
  // Reads a string value whole, whatever its length: asks its size, then reads
  // it into a buffer of that size. The text ends at the first terminator; the
  // type is not checked. *pcsValue is empty unless the read succeeded.
  LONG QueryString(LPCSTR pszName, COrlString* pcsValue);

 private:
  HKEY m_hKey = nullptr;
};

#endif  // QZINST32_INST32_REGISTRY_H_
