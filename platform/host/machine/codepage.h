// Double-byte stepping and single-byte case and order by ANSI code page, as
// plain functions of the code page.
#ifndef QZINST32_PLATFORM_HOST_CODEPAGE_H_
#define QZINST32_PLATFORM_HOST_CODEPAGE_H_

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace qzhost {

// Code page 932: lead bytes 0x81-0x9F and 0xE0-0xFC. 1252 has none.
bool IsLeadByteOf(unsigned codePage, unsigned char ch);
// The next character; at the terminator the same pointer; a lead byte before
// the terminator counts as one character.
const char* NextCharOf(unsigned codePage, const char* p);
// The start of the character before `current`, or `start`.
const char* PrevCharOf(unsigned codePage, const char* start, const char* current);
// The first character `ch` of `text`, never a trail byte of that value; null if none.
const char* FindCharOf(unsigned codePage, const char* text, char ch);

// The offset of the first `c` at or after `from` that is a character of its
// own (never the second byte of a double-byte character), or npos.
size_t FindCharOffset(unsigned codePage, std::string_view s, char c, size_t from = 0);

// A single-byte character upper-cased as Windows does it through Unicode:
// ASCII letters, and on 1252 the accented letters, s/z caron, oe and y
// diaeresis (0xFF -> 0x9F, U+0178). Callers step over double-byte characters.
unsigned char UpperByteOf(unsigned codePage, unsigned char c);
// The Unicode character of a single byte: on 1252 the letters and signs at
// 0x80-0x9F (euro U+20AC, S caron U+0160, Y diaeresis U+0178 ...); on 932 the
// half-width katakana 0xA1-0xDF (U+FF61-U+FF9F); else the byte's own value.
uint32_t UnicodeOfByte(unsigned codePage, unsigned char c);

// ASCII letters in lower case, every other byte as it is: the case that no
// code page reads otherwise. Without a branch, for names hashed by thousands.
inline unsigned char FoldAsciiByte(unsigned char c) {
  return static_cast<unsigned char>(c | (static_cast<unsigned char>(c - 'A') < 26 ? 0x20 : 0));
}

// A single-byte character as names are compared without regard to case:
// ASCII letters folded as FoldAsciiByte folds them, and the code page's other
// letters upper-cased as Windows does it (UpperByteOf). Names equal so are
// the names the registry takes for one (RegUpperName), the profile's and the
// port list's alike. Callers step over double-byte characters.
inline unsigned char FoldNameByte(unsigned codePage, unsigned char c) {
  return c < 0x80 ? FoldAsciiByte(c) : UpperByteOf(codePage, c);
}

// The same for eight bytes at once: bit 7 marks the bytes below 0x80 that
// reach 'A' and do not pass 'Z', and becomes 0x20; no sum carries into the
// next byte.
inline uint64_t FoldAsciiWord(uint64_t w) {
  const uint64_t ones = 0x0101010101010101ull, highs = ones * 0x80;
  const uint64_t low = w & ~highs;
  const uint64_t upper = (low + ones * (0x80 - 'A')) & ~(low + ones * (0x80 - '[')) & ~w & highs;
  return w | (upper >> 2);
}

}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_CODEPAGE_H_
