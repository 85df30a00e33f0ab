// Double-byte stepping by ANSI code page.
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

}  // namespace qzhost
