// Text of the machine's ANSI code page to and from UTF-16, as
// MultiByteToWideChar and WideCharToMultiByte convert it.
#ifndef QZINST32_PLATFORM_HOST_CPCONVERT_H_
#define QZINST32_PLATFORM_HOST_CPCONVERT_H_

#include <string>

namespace qzhost {

// False for bytes that are no character of the code page (a lone lead byte
// of 932). On 1252 every byte converts: the five bytes it leaves unassigned
// become the control characters of the same number, as Windows does.
bool CodePageToUtf16(unsigned codePage, const std::string& in, std::u16string* out);

// False when a character has no form in the code page; *bad then gets it.
// Nothing is replaced by '?': what cannot be carried is refused.
bool Utf16ToCodePage(unsigned codePage, const std::u16string& in, std::string* out, char16_t* bad);

}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_CPCONVERT_H_
