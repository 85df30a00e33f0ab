// Double-byte stepping and single-byte case and order by ANSI code page.
#include "platform/host/machine/codepage.h"

namespace qzhost {

bool IsLeadByteOf(unsigned codePage, unsigned char ch) {
  if (codePage != 932) return false;
  return (ch >= 0x81 && ch <= 0x9F) || (ch >= 0xE0 && ch <= 0xFC);
}

const char* NextCharOf(unsigned codePage, const char* p) {
  if (*p == '\0') return p;
  if (IsLeadByteOf(codePage, static_cast<unsigned char>(*p)) && p[1] != '\0') return p + 2;
  return p + 1;
}

const char* PrevCharOf(unsigned codePage, const char* start, const char* current) {
  if (current <= start) return start;
  const char* p = start;
  for (;;) {
    const char* next = NextCharOf(codePage, p);
    if (next >= current || next == p) return p;
    p = next;
  }
}

const char* FindCharOf(unsigned codePage, const char* text, char ch) {
  for (const char* p = text; *p != '\0'; p = NextCharOf(codePage, p)) {
    if (*p == ch) return p;
  }
  return nullptr;
}

size_t FindCharOffset(unsigned codePage, std::string_view s, char c, size_t from) {
  for (size_t i = from; i < s.size(); ++i) {
    if (s[i] == c) return i;
    if (IsLeadByteOf(codePage, static_cast<unsigned char>(s[i])) && i + 1 < s.size()) ++i;
  }
  return std::string_view::npos;
}

unsigned char UpperByteOf(unsigned codePage, unsigned char c) {
  if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 0x20);
  if (codePage != 1252) return c;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<unsigned char>(c - 0x20);
  switch (c) {
    case 0x9A:
      return 0x8A;  // s caron
    case 0x9C:
      return 0x8C;  // oe
    case 0x9E:
      return 0x8E;  // z caron
    case 0xFF:
      return 0x9F;  // y diaeresis
    default:
      return c;
  }
}

uint32_t UnicodeOfByte(unsigned codePage, unsigned char c) {
  // Code page 1252 at 0x80-0x9F (Microsoft's published table, bestfit1252);
  // the five unassigned bytes map to the C1 controls of the same value.
  static const uint16_t k1252High[32] = {
      0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  if (codePage == 1252 && c >= 0x80 && c <= 0x9F) return k1252High[c - 0x80];
  if (codePage == 932 && c >= 0xA1 && c <= 0xDF) return 0xFF61u + (c - 0xA1u);
  return c;
}

}  // namespace qzhost
