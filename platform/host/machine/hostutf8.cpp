// UTF-8 at the host's edges.
#include "platform/host/machine/hostutf8.h"

#include <ctype.h>
#include <stdlib.h>

#include "platform/host/machine/cpconvert.h"

namespace qzhost {
namespace {

// The length of the UTF-8 sequence at text[i] and its character; 0 when the
// bytes there are no well-formed sequence (overlong, surrogate, past U+10FFFF).
size_t DecodeUtf8(const std::string& text, size_t i, char32_t* c) {
  const unsigned char b = static_cast<unsigned char>(text[i]);
  size_t n = b < 0x80             ? 1
             : (b & 0xE0) == 0xC0 ? 2
             : (b & 0xF0) == 0xE0 ? 3
             : (b & 0xF8) == 0xF0 ? 4
                                  : 0;
  if (n == 0 || i + n > text.size()) return 0;
  char32_t v = n == 1 ? b : b & (0x7F >> n);
  for (size_t k = 1; k < n; ++k) {
    const unsigned char t = static_cast<unsigned char>(text[i + k]);
    if ((t & 0xC0) != 0x80) return 0;
    v = v << 6 | (t & 0x3F);
  }
  static const char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
  if (v < kLeast[n] || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) return 0;
  *c = v;
  return n;
}

void AppendUtf8(char32_t c, std::string* out) {
  if (c < 0x80) {
    *out += static_cast<char>(c);
  } else if (c < 0x800) {
    *out += static_cast<char>(0xC0 | (c >> 6));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    *out += static_cast<char>(0xE0 | (c >> 12));
    *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    *out += static_cast<char>(0xF0 | (c >> 18));
    *out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

bool AllAscii(const std::string& text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

}  // namespace

bool HostSpeaksUtf8() {
  const char* locale = nullptr;
  for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    locale = getenv(name);
    if (locale != nullptr && *locale != '\0') break;
  }
  if (locale == nullptr) return false;
  std::string text = locale;
  for (char& c : text) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return text.find("utf-8") != std::string::npos || text.find("utf8") != std::string::npos;
}

bool IsNonAsciiUtf8(const std::string& text) {
  if (AllAscii(text)) return false;
  char32_t c = 0;
  for (size_t i = 0; i < text.size();) {
    size_t n = DecodeUtf8(text, i, &c);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

bool Utf8ToCodePage(unsigned codePage, const std::string& in, std::string* out, std::string* bad) {
  std::u16string wide;
  char32_t c = 0;
  for (size_t i = 0; i < in.size();) {
    size_t n = DecodeUtf8(in, i, &c);
    if (n == 0) return *bad = in.substr(i, 1), false;
    i += n;
    if (c >= 0x10000) {  // no code page holds a character past the first plane
      *bad = in.substr(i - n, n);
      return false;
    }
    wide.push_back(static_cast<char16_t>(c));
  }
  char16_t refused = 0;
  if (Utf16ToCodePage(codePage, wide, out, &refused)) return true;
  bad->clear();
  AppendUtf8(refused, bad);
  return false;
}

std::string CodePageToUtf8(unsigned codePage, const std::string& in) {
  if (AllAscii(in)) return in;
  std::u16string wide;
  std::string out;
  if (!CodePageToUtf16(codePage, in, &wide)) {
    // Byte by byte, so that one stray byte spoils only itself.
    for (char b : in) {
      std::u16string one;
      if (CodePageToUtf16(codePage, std::string(1, b), &one) && one.size() == 1)
        AppendUtf8(one[0], &out);
      else
        AppendUtf8(0xFFFD, &out);
    }
    return out;
  }
  for (char16_t u : wide) AppendUtf8(u, &out);
  return out;
}

bool ArgumentToCodePage(unsigned codePage, const std::string& in, std::string* out,
                        std::string* bad) {
  if (!HostSpeaksUtf8() || !IsNonAsciiUtf8(in)) {
    *out = in;
    return true;
  }
  return Utf8ToCodePage(codePage, in, out, bad);
}

std::string ForTerminal(unsigned codePage, const std::string& text) {
  return HostSpeaksUtf8() ? CodePageToUtf8(codePage, text) : text;
}

}  // namespace qzhost
