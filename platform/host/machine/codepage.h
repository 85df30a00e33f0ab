// Double-byte stepping by ANSI code page, as plain functions of the code page.
#ifndef QZINST32_PLATFORM_HOST_CODEPAGE_H_
#define QZINST32_PLATFORM_HOST_CODEPAGE_H_

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

}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_CODEPAGE_H_
