// Plug and Play enumeration lookup: the hardware node that carries a port.
#include "inst32/pnpenum.h"

#include <limits.h>

#include <new>

#include "inst32/registry.h"
#include "inst32/trace.h"

#define QZ_SUBKEY_CHARS 36     // subkey names of up to 35 characters
#define QZ_SHORT_PORT_CHARS 8  // the short port name's buffer
#define QZ_SHORT_PORT_LENGTH 6

namespace {

INT g_nPnPMatchSkip = 0;

// The count's current value; the count goes one down (it never wraps).
INT TakeMatchSkip() {
  INT nTaken = g_nPnPMatchSkip;
  if (g_nPnPMatchSkip != INT_MIN) --g_nPnPMatchSkip;
  return nTaken;
}

void TraceOpenFailure(LPCSTR pszName, LONG lError) {
  DbgTrace("Failed opening %s: ERROR %ld <0x%8.8lX>\n", pszName, static_cast<long>(lError),
           static_cast<unsigned long>(lError));
}

// One key under search: what one nested call of the search holds. Levels live
// on the heap and are chained upwards, so a deep tree never costs stack.
struct SEARCHLEVEL {
  SEARCHLEVEL* pUp;
  COrlRegKey hKey;     // the key whose subkeys are examined
  COrlRegKey hSubKey;  // the subkey at dwIndex while it is examined
  DWORD dwIndex;
  char acName[QZ_SUBKEY_CHARS];
};

enum SEARCHSTEP {
  kStepNext,     // go on with the next index
  kStepDescend,  // the subkey has no readable value: search below it
  kStepFound,    // the subkey is the match the skip count asked for
  kStepEnd       // no more subkeys
};

class CPnPSearch {
 public:
  CPnPSearch(LPCSTR pszValueName, LPCSTR pszWanted, char cSeparator);
  ~CPnPSearch();
  CPnPSearch(const CPnPSearch&) = delete;
  CPnPSearch& operator=(const CPnPSearch&) = delete;

  COrlString Run(HKEY hParent, LPCSTR pszPath);

 private:
  BOOL Push(HKEY hParent, LPCSTR pszPath);
  void Pop();
  SEARCHSTEP Examine(SEARCHLEVEL* pLevel);
  BOOL ReadValue(HKEY hKey);

  LPCSTR m_pszValueName;
  LPCSTR m_pszWanted;
  char m_cSeparator;
  DWORD m_cbValue;   // what the value read is told: the wanted length + 2
  LPBYTE m_pbValue;  // m_cbValue + 1 bytes, so a value read is always terminated
  SEARCHLEVEL* m_pTop;
};

CPnPSearch::CPnPSearch(LPCSTR pszValueName, LPCSTR pszWanted, char cSeparator)
    : m_pszValueName(pszValueName),
      m_pszWanted(pszWanted),
      m_cSeparator(cSeparator),
      m_cbValue(static_cast<DWORD>(lstrlenA(pszWanted)) + 2),
      m_pbValue(nullptr),
      m_pTop(nullptr) {}

CPnPSearch::~CPnPSearch() {
  while (m_pTop != nullptr) Pop();
  delete[] m_pbValue;
}

// Opens pszPath below hParent as a new innermost level. FALSE when the key
// cannot be opened or held; that branch then counts as searched and empty.
BOOL CPnPSearch::Push(HKEY hParent, LPCSTR pszPath) {
  DbgTrace("FindStrValueSubkeyPath() on %s\n", pszPath);
  SEARCHLEVEL* pLevel = new (std::nothrow) SEARCHLEVEL();
  if (pLevel == nullptr) return FALSE;
  LONG lResult = pLevel->hKey.Open(hParent, pszPath, KEY_READ);
  if (lResult != ERROR_SUCCESS) {
    TraceOpenFailure(pszPath, lResult);
    delete pLevel;
    return FALSE;
  }
  pLevel->pUp = m_pTop;
  m_pTop = pLevel;
  return TRUE;
}

void CPnPSearch::Pop() {
  SEARCHLEVEL* pLevel = m_pTop;
  m_pTop = pLevel->pUp;
  delete pLevel;  // closes its subkey, then its key
}

BOOL CPnPSearch::ReadValue(HKEY hKey) {
  DWORD cbData = m_cbValue;
  if (RegQueryValueExA(hKey, m_pszValueName, nullptr, nullptr, m_pbValue, &cbData) !=
      ERROR_SUCCESS) {
    return FALSE;  // absent, or longer than the buffer holds
  }
  // The value's type is not checked: a binary value need not end with a zero.
  m_pbValue[cbData < m_cbValue ? cbData : m_cbValue] = '\0';
  return TRUE;
}

SEARCHSTEP CPnPSearch::Examine(SEARCHLEVEL* pLevel) {
  DWORD cchName = QZ_SUBKEY_CHARS;
  FILETIME ftLastWrite;
  LONG lResult = RegEnumKeyExA(pLevel->hKey, pLevel->dwIndex, pLevel->acName, &cchName, nullptr,
                               nullptr, nullptr, &ftLastWrite);
  // A name too long for the buffer is passed over; a cut name is never opened.
  if (lResult == ERROR_MORE_DATA) return kStepNext;
  // ERROR_NO_MORE_ITEMS ends the key; so does a key that cannot be listed at
  // all, which would otherwise be asked for ever higher indexes.
  if (lResult != ERROR_SUCCESS) return kStepEnd;
  pLevel->acName[QZ_SUBKEY_CHARS - 1] = '\0';

  lResult = pLevel->hSubKey.Open(pLevel->hKey, pLevel->acName, KEY_READ);
  if (lResult != ERROR_SUCCESS) {
    TraceOpenFailure(pLevel->acName, lResult);
    return kStepNext;
  }
  if (!ReadValue(pLevel->hSubKey)) return kStepDescend;

  LPCSTR pszValue = reinterpret_cast<LPCSTR>(m_pbValue);
  DbgTrace("%s=%s; Looking for %s\n", m_pszValueName, pszValue, m_pszWanted);
  if (lstrcmpA(pszValue, m_pszWanted) == 0 && TakeMatchSkip() == 0) return kStepFound;
  pLevel->hSubKey.Close();  // a node with the value is never searched below
  return kStepNext;
}

// Walks the tree depth-first as nested calls would, level by level on the
// heap: csResult carries what the level just left found back to its parent.
COrlString CPnPSearch::Run(HKEY hParent, LPCSTR pszPath) {
  if (!Push(hParent, pszPath)) return COrlString();
  m_pbValue = new (std::nothrow) BYTE[m_cbValue + 1];
  if (m_pbValue == nullptr) return COrlString();

  COrlString csResult;
  BOOL bReturned = FALSE;  // the level below m_pTop has just finished
  while (m_pTop != nullptr) {
    SEARCHLEVEL* pLevel = m_pTop;
    if (bReturned) {
      bReturned = FALSE;
      if (!csResult.IsEmpty()) {
        COrlString csPath(pLevel->acName);
        csPath += m_cSeparator;
        csResult = csPath + csResult;
        DbgTrace("Found it! csResult == %s\n", csResult.GetString());
        Pop();
        bReturned = TRUE;
        continue;
      }
      pLevel->hSubKey.Close();
      ++pLevel->dwIndex;
      continue;
    }
    switch (Examine(pLevel)) {
      case kStepNext:
        ++pLevel->dwIndex;
        break;
      case kStepDescend:
        if (!Push(pLevel->hKey, pLevel->acName)) {
          csResult = COrlString();
          bReturned = TRUE;
        }
        break;
      case kStepFound:
        csResult = pLevel->acName;
        DbgTrace("Found it! csResult == %s\n", csResult.GetString());
        Pop();
        bReturned = TRUE;
        break;
      case kStepEnd:
        csResult = COrlString();
        Pop();
        bReturned = TRUE;
        break;
    }
  }
  return csResult;
}

}  // namespace

void SetPnPMatchSkip(INT nSkip) { g_nPnPMatchSkip = nSkip; }
INT GetPnPMatchSkip() { return g_nPnPMatchSkip; }

COrlString FindStrValueSubkeyPath(HKEY hParent, LPCSTR pszPath, LPCSTR pszValueName,
                                  LPCSTR pszWanted, char cSeparator) {
  // Callers always pass these; a missing one finds nothing instead of crashing.
  if (pszPath == nullptr || pszValueName == nullptr || pszWanted == nullptr) return COrlString();
  CPnPSearch search(pszValueName, pszWanted, cSeparator);
  return search.Run(hParent, pszPath);
}

COrlString GetPnPEnumKey(LPCSTR pszPort) {
  char acShortPort[QZ_SHORT_PORT_CHARS] = {0};
  lstrcpynA(acShortPort, pszPort != nullptr ? pszPort : "", QZ_SHORT_PORT_LENGTH + 1);
  for (int i = QZ_SHORT_PORT_LENGTH; i >= 1; --i) {
    if (acShortPort[i] == ':') acShortPort[i] = '\0';
  }

  COrlRegKey hEnum;
  LONG lResult = hEnum.Open(HKEY_LOCAL_MACHINE, "Enum", KEY_READ);
  if (lResult != ERROR_SUCCESS) {
    TraceOpenFailure("HKLM\\Enum", lResult);
    return COrlString();
  }
  LPCSTR pszRoot = "BIOS";
  COrlString csPath = FindStrValueSubkeyPath(hEnum, pszRoot, "PortName", acShortPort, '&');
  if (csPath.IsEmpty()) {
    pszRoot = "Root";  // the skip count runs on from the first root
    csPath = FindStrValueSubkeyPath(hEnum, pszRoot, "PortName", acShortPort, '&');
  }
  hEnum.Close();

  if (csPath.IsEmpty()) {
    DbgTrace("GetPnPEnumKey() Failed!\n");
    return COrlString();
  }
  COrlString csResult(pszRoot);
  csResult += '&';
  csResult += csPath;
  DbgTrace("GetPnPEnumKey() found: %s\n", csResult.GetString());
  return csResult;
}
