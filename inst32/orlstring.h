// COrlString: the program's text string, aware of double-byte characters.
//
// A growable string of 8-bit characters in the system's ANSI code page. Find,
// ReverseFind and the trims step with CharNextA, so a trail byte that happens
// to equal the character looked for (0x5C in code page 932) never counts.
#ifndef QZINST32_INST32_ORLSTRING_H_
#define QZINST32_INST32_ORLSTRING_H_

#include <string>

#include "platform/win32.h"

class COrlString {
 public:
  COrlString() = default;
  COrlString(LPCSTR psz) : m_str(psz ? psz : "") {}  // NOLINT: implicit on purpose
  COrlString(LPCSTR pch, int nLength);

  int GetLength() const { return static_cast<int>(m_str.size()); }
  BOOL IsEmpty() const { return m_str.empty(); }
  operator LPCSTR() const { return m_str.c_str(); }
  LPCSTR GetString() const { return m_str.c_str(); }
  // The characters, or a null pointer when there are none.
  LPCSTR GetStringOrNull() const { return m_str.empty() ? nullptr : m_str.c_str(); }
  // A writable view for spooler records, which take LPSTR.
  LPSTR GetWritable() { return &m_str[0]; }
  char GetAt(int i) const { return m_str[static_cast<size_t>(i)]; }

  // Byte index of the first / last character ch, or -1; double-byte aware.
  int Find(char ch) const;
  int ReverseFind(char ch) const;

  COrlString Left(int nCount) const;
  COrlString Mid(int nFirst) const;
  COrlString Mid(int nFirst, int nCount) const;

  // Blanks are space, tab, line feed, vertical tab, form feed, carriage return.
  COrlString& TrimLeft();
  COrlString& TrimRight();
  COrlString& Trim() { return TrimRight().TrimLeft(); }

  COrlString& operator=(LPCSTR psz);
  COrlString& operator+=(const COrlString& other);
  COrlString& operator+=(char ch);
  friend COrlString operator+(const COrlString& a, const COrlString& b);
  bool operator==(const COrlString& other) const { return m_str == other.m_str; }
  bool operator!=(const COrlString& other) const { return m_str != other.m_str; }

  // Copies at most nSize - 1 characters into pBuffer and terminates it.
  void CopyTo(LPSTR pBuffer, int nSize) const;

 private:
  std::string m_str;
};

BOOL IsBlankChar(char ch);

#endif  // QZINST32_INST32_ORLSTRING_H_
