// Setup-information (INF) strings: placeholders, "name, file" values, paths.
#include "inst32/util32.h"

#include <stdint.h>

#include <vector>

#include "inst32/context.h"
#include "inst32/trace.h"

#define QZ_PLACEHOLDER_CHARS 260
#define QZ_DELIMITED_CHARS 32

COrlString GetInfString(const COrlString& infFile, LPCSTR pszSection, LPCSTR pszKey,
                        LPCSTR pszDefault, int nChars) {
  std::vector<char> acValue(static_cast<size_t>(nChars), '\0');
  DWORD cch = GetPrivateProfileStringA(pszSection, pszKey, pszDefault, acValue.data(),
                                       static_cast<DWORD>(nChars), infFile);
  if (cch >= static_cast<DWORD>(nChars)) cch = static_cast<DWORD>(nChars - 1);
  return COrlString(acValue.data(), static_cast<int>(cch));
}

BOOL orlTranslateStringPlaceholder(COrlString& value, const COrlString& infFile) {
  DbgTrace("orlTranslateStringPlaceholder(%s, %s)\n", value.GetString(), infFile.GetString());
  int nLength = value.GetLength();
  if (nLength == 0 || value.GetAt(nLength - 1) != '%' || value.GetAt(0) != '%') return FALSE;
  COrlString csKey = value.Mid(1, nLength - 2);
  value = GetInfString(infFile, "Strings", csKey, "", QZ_PLACEHOLDER_CHARS);
  DbgTrace("%s == %s\n", csKey.GetString(), value.GetString());
  return !value.IsEmpty();
}

BOOL GetDelimitedPrinterObject(const COrlString* pInfFile, const COrlString* pSection,
                               LPCSTR pszKey, LPCSTR pszDefault, COrlString* pName,
                               COrlString* pFile) {
  if (!pInfFile || !pSection || !pszKey || !pszDefault || !pName || !pFile) return FALSE;
  if (pInfFile->IsEmpty() || pSection->IsEmpty()) return FALSE;
  COrlString csValue = GetInfString(*pInfFile, *pSection, pszKey, pszDefault, QZ_DELIMITED_CHARS);
  DbgTrace("%s:[%s]%s=%s\n", pInfFile->GetString(), pSection->GetString(), pszKey,
           csValue.GetString());
  if (csValue.IsEmpty()) {
    *pName = "";
    *pFile = "";
    return TRUE;
  }
  int nComma = csValue.Find(',');
  *pName = nComma >= 0 ? csValue.Left(nComma) : COrlString();
  pName->TrimRight();
  if (!pName->IsEmpty() && pName->GetAt(0) == '%' &&
      !orlTranslateStringPlaceholder(*pName, *pInfFile)) {
    DbgTrace("Invalid string '%s'\n", pName->GetString());
    return FALSE;
  }
  *pFile = nComma >= 0 ? csValue.Mid(nComma + 1) : csValue;
  pFile->TrimLeft();
  int nSemicolon = pFile->Find(';');
  if (nSemicolon >= 0) *pFile = pFile->Left(nSemicolon);
  pFile->TrimRight();
  return !pName->IsEmpty() && !pFile->IsEmpty();
}

void SplitInstallParameter(const COrlString& csParam, COrlString* pcsInfFile,
                           COrlString* pcsSection, COrlString* pcsPort) {
  *pcsInfFile = "";
  *pcsSection = "";
  *pcsPort = "";
  COrlString csRest;
  if (csParam.GetLength() > 0 && csParam.GetAt(0) == '"') {
    int nClose = csParam.ReverseFind('"');
    if (nClose <= 0 || nClose + 1 >= csParam.GetLength() || csParam.GetAt(nClose + 1) != ' ') {
      return;
    }
    *pcsInfFile = csParam.Mid(1, nClose - 1);
    csRest = csParam.Mid(nClose + 2);
  } else {
    int nBlank = csParam.Find(' ');
    if (nBlank < 0) return;
    *pcsInfFile = csParam.Left(nBlank);
    csRest = csParam.Mid(nBlank + 1);
  }
  int nBlank = csRest.Find(' ');
  if (nBlank < 0) {
    *pcsPort = csRest;
    return;
  }
  *pcsSection = csRest.Left(nBlank);
  *pcsPort = csRest.Mid(nBlank + 1);
}

void AppendPathSeparator(LPSTR pszDirectory) {
  if (pszDirectory == nullptr) return;
  char cSep = ContextPathSep();
  LPSTR pEnd = pszDirectory;
  while (*pEnd != '\0') pEnd = CharNextA(pEnd);
  LPSTR pLast = CharPrevA(pszDirectory, pEnd);
  BOOL bEndsWithSep = pLast != pEnd && *pLast == cSep && pLast + 1 == pEnd;
  if (bEndsWithSep) return;
  // A name of 259 characters leaves no room for the separator and a terminator.
  if (pEnd - pszDirectory >= QZ_PATH_CHARS - 1) return;
  pEnd[0] = cSep;
  pEnd[1] = '\0';
}

LPSTR BoundedCopy(LPSTR pszDest, LPCSTR pszSource, int nSize) {
  return lstrcpynA(pszDest, pszSource, nSize);
}

DWORD HexToDword(LPCSTR pszText) {
  if (pszText == nullptr) return 0;
  LPCSTR p = pszText;
  while (IsBlankChar(*p)) ++p;
  BOOL bNegative = FALSE;
  if (*p == '+' || *p == '-') bNegative = *p++ == '-';
  auto digit = [](char ch) -> int {
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
    return -1;
  };
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && digit(p[2]) >= 0) p += 2;
  uint64_t ullValue = 0;
  for (; digit(*p) >= 0; ++p) {
    ullValue = ullValue * 16 + static_cast<uint64_t>(digit(*p));
    if (ullValue > 0xFFFFFFFFull) return 0xFFFFFFFFul;  // saturates, as a 32-bit strtoul
  }
  DWORD dwValue = static_cast<DWORD>(ullValue);
  return bNegative ? static_cast<DWORD>(0u - dwValue) : dwValue;
}
