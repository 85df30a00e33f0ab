// COrlString: the program's text string, aware of double-byte characters.
#include "inst32/orlstring.h"

#include <cstring>

BOOL IsBlankChar(char ch) {
  return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\v' || ch == '\f' || ch == '\r';
}

COrlString::COrlString(LPCSTR pch, int nLength) {
  if (pch != nullptr && nLength > 0) m_str.assign(pch, static_cast<size_t>(nLength));
}

int COrlString::Find(char ch) const {
  LPCSTR pszStart = m_str.c_str();
  for (LPCSTR p = pszStart; *p != '\0'; p = CharNextA(p)) {
    if (*p == ch) return static_cast<int>(p - pszStart);
  }
  return -1;
}

int COrlString::ReverseFind(char ch) const {
  LPCSTR pszStart = m_str.c_str();
  int nLast = -1;
  for (LPCSTR p = pszStart; *p != '\0'; p = CharNextA(p)) {
    if (*p == ch) nLast = static_cast<int>(p - pszStart);
  }
  return nLast;
}

COrlString COrlString::Left(int nCount) const {
  if (nCount < 0) nCount = 0;
  if (nCount > GetLength()) nCount = GetLength();
  return COrlString(m_str.c_str(), nCount);
}

COrlString COrlString::Mid(int nFirst) const { return Mid(nFirst, GetLength()); }

COrlString COrlString::Mid(int nFirst, int nCount) const {
  if (nFirst < 0) nFirst = 0;
  if (nFirst >= GetLength() || nCount <= 0) return COrlString();
  if (nCount > GetLength() - nFirst) nCount = GetLength() - nFirst;
  return COrlString(m_str.c_str() + nFirst, nCount);
}

COrlString& COrlString::TrimLeft() {
  size_t i = 0;
  while (i < m_str.size() && IsBlankChar(m_str[i])) ++i;
  m_str.erase(0, i);
  return *this;
}

COrlString& COrlString::TrimRight() {
  // Walk by characters so a trail byte is never taken for a blank.
  LPCSTR pszStart = m_str.c_str();
  LPCSTR pEnd = pszStart;  // one past the last non-blank character
  for (LPCSTR p = pszStart; *p != '\0';) {
    LPCSTR pNext = CharNextA(p);
    if (!(pNext == p + 1 && IsBlankChar(*p))) pEnd = pNext;
    p = pNext;
  }
  m_str.resize(static_cast<size_t>(pEnd - pszStart));
  return *this;
}

COrlString& COrlString::operator=(LPCSTR psz) {
  m_str = psz ? psz : "";
  return *this;
}

COrlString& COrlString::operator+=(const COrlString& other) {
  m_str += other.m_str;
  return *this;
}

COrlString& COrlString::operator+=(char ch) {
  m_str += ch;
  return *this;
}

COrlString operator+(const COrlString& a, const COrlString& b) {
  COrlString result(a);
  result += b;
  return result;
}

void COrlString::CopyTo(LPSTR pBuffer, int nSize) const {
  if (pBuffer == nullptr || nSize <= 0) return;
  size_t n = m_str.size();
  if (n > static_cast<size_t>(nSize - 1)) n = static_cast<size_t>(nSize - 1);
  memcpy(pBuffer, m_str.data(), n);
  pBuffer[n] = '\0';
}
