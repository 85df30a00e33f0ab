// JSON text for the machine-readable outputs.
#include "platform/host/report/jsontext.h"

#include <iconv.h>
#include <stdio.h>

#include "platform/host/machine/codepage.h"
#include "platform/host/machine/machine.h"

namespace qzhost {
namespace {

const char32_t kReplacement = 0xFFFD;

// Code page 1252 at 0x80-0x9F; the unassigned bytes map to themselves, as
// MultiByteToWideChar maps them.
const char16_t k1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

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

// One double-byte character of code page 932, through the C library's
// converter (the double-byte table is its, not ours).
char32_t Decode932Pair(unsigned char lead, unsigned char trail) {
  static iconv_t cd = iconv_open("UTF-32LE", "CP932");
  if (cd == reinterpret_cast<iconv_t>(-1)) return kReplacement;
  char in[2] = {static_cast<char>(lead), static_cast<char>(trail)};
  unsigned char out[8];
  char* pin = in;
  char* pout = reinterpret_cast<char*>(out);
  size_t inLeft = 2, outLeft = sizeof out;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  if (iconv(cd, &pin, &inLeft, &pout, &outLeft) == static_cast<size_t>(-1) || inLeft != 0 ||
      outLeft != 4)
    return kReplacement;
  return static_cast<char32_t>(out[0] | out[1] << 8 | out[2] << 16 | out[3] << 24);
}

// A single byte above 0x7F.
char32_t DecodeHighByte(unsigned codePage, unsigned char c) {
  if (codePage != 932) return c < 0xA0 ? k1252High[c - 0x80] : c;
  if (c >= 0xA1 && c <= 0xDF) return 0xFF61 + (c - 0xA1);  // half-width katakana
  if (c == 0x80) return 0x0080;
  if (c == 0xA0) return 0xF8F0;
  if (c >= 0xFD) return 0xF8F1 + (c - 0xFD);
  return kReplacement;  // a lead byte without its trail byte
}

void AppendEscaped(char32_t c, std::string* out) {
  switch (c) {
    case '"':
      *out += "\\\"";
      return;
    case '\\':
      *out += "\\\\";
      return;
    case '\n':
      *out += "\\n";
      return;
    case '\r':
      *out += "\\r";
      return;
    case '\t':
      *out += "\\t";
      return;
    default:
      break;
  }
  if (c < 0x20 || c == 0x7F) {
    char escape[8];
    snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
    *out += escape;
    return;
  }
  AppendUtf8(c, out);
}

}  // namespace

std::string JsonString(std::string_view s, unsigned codePage) {
  std::string out = "\"";
  for (size_t i = 0; i < s.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      AppendEscaped(c, &out);
    } else if (IsLeadByteOf(codePage, c) && i + 1 < s.size()) {
      AppendEscaped(Decode932Pair(c, static_cast<unsigned char>(s[i + 1])), &out);
      ++i;
    } else {
      AppendEscaped(DecodeHighByte(codePage, c), &out);
    }
  }
  return out + "\"";
}

std::string JsonString(std::string_view s) { return JsonString(s, PreparedCodePage()); }

void JsonObject::Name(std::string_view name) {
  if (!members_.empty()) members_ += ", ";
  members_ += JsonString(name) + ": ";
}

JsonObject& JsonObject::Add(std::string_view name, std::string_view text) {
  Name(name);
  members_ += JsonString(text);
  return *this;
}

JsonObject& JsonObject::AddNumber(std::string_view name, unsigned long number) {
  Name(name);
  members_ += std::to_string(number);
  return *this;
}

JsonObject& JsonObject::AddBool(std::string_view name, bool value) {
  Name(name);
  members_ += value ? "true" : "false";
  return *this;
}

JsonObject& JsonObject::AddRaw(std::string_view name, std::string_view json) {
  Name(name);
  members_ += json;
  return *this;
}

}  // namespace qzhost
