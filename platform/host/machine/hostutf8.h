// The host's side of text: UTF-8 where the locale speaks it, converted to
// and from the machine's code page at the programs' edges (arguments, text
// output, 8-bit .reg files), so that the machine itself holds code-page text
// as Windows does.
#ifndef QZINST32_PLATFORM_HOST_HOSTUTF8_H_
#define QZINST32_PLATFORM_HOST_HOSTUTF8_H_

#include <string>

namespace qzhost {

// True when the locale (LC_ALL, else LC_CTYPE, else LANG) names UTF-8; the
// C and POSIX locales pass bytes as they are.
bool HostSpeaksUtf8();

// True when `text` is well-formed UTF-8 and holds a byte above 0x7F.
bool IsNonAsciiUtf8(const std::string& text);

// UTF-8 to the code page. False when a character has no form in it; *bad
// then gets that character in UTF-8.
bool Utf8ToCodePage(unsigned codePage, const std::string& in, std::string* out, std::string* bad);
// The code page's text in UTF-8; a byte that is no character becomes U+FFFD.
std::string CodePageToUtf8(unsigned codePage, const std::string& in);

// At the host's edge: an argument taken into the code page when the locale
// speaks UTF-8 and the argument is UTF-8 with non-ASCII characters (else as
// it is), and text for the terminal out of it. False as Utf8ToCodePage.
bool ArgumentToCodePage(unsigned codePage, const std::string& in, std::string* out,
                        std::string* bad);
std::string ForTerminal(unsigned codePage, const std::string& text);

}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_HOSTUTF8_H_
