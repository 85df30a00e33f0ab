// Registry value types by the names reg.exe and the SDK give them, and their
// data as reg.exe shows it.
#include <stdio.h>
#include <strings.h>

#include <string>

#include "platform/win32.h"
#include "tools/qzreg.h"

namespace qzreg {
namespace {

struct TypeName {
  DWORD type;
  const char* name;
};
const TypeName kTypes[] = {{REG_NONE, "REG_NONE"},
                           {REG_SZ, "REG_SZ"},
                           {REG_EXPAND_SZ, "REG_EXPAND_SZ"},
                           {REG_BINARY, "REG_BINARY"},
                           {REG_DWORD, "REG_DWORD"},
                           {REG_DWORD_BIG_ENDIAN, "REG_DWORD_BIG_ENDIAN"},
                           {REG_LINK, "REG_LINK"},
                           {REG_MULTI_SZ, "REG_MULTI_SZ"},
                           {REG_RESOURCE_LIST, "REG_RESOURCE_LIST"},
                           {REG_FULL_RESOURCE_DESCRIPTOR, "REG_FULL_RESOURCE_DESCRIPTOR"},
                           {REG_RESOURCE_REQUIREMENTS_LIST, "REG_RESOURCE_REQUIREMENTS_LIST"},
                           {REG_QWORD, "REG_QWORD"}};

std::string HexBytes(const std::string& data) {
  std::string out;
  char hex[3];
  for (unsigned char c : data) snprintf(hex, sizeof hex, "%02X", c), out += hex;
  return out;
}

// The bytes as a number, least significant first unless `bigEndian`.
std::string Number(const std::string& d, bool bigEndian) {
  unsigned long long v = 0;
  for (size_t i = 0; i < d.size(); ++i) {
    unsigned char b = static_cast<unsigned char>(d[bigEndian ? i : d.size() - 1 - i]);
    v = v << 8 | b;
  }
  char text[24];
  snprintf(text, sizeof text, "0x%llx", v);
  return text;
}

}  // namespace

std::string RegTypeName(DWORD type) {
  for (const TypeName& t : kTypes)
    if (t.type == type) return t.name;
  char text[24];
  snprintf(text, sizeof text, "REG_0x%lX", static_cast<unsigned long>(type));
  return text;
}

bool RegTypeByName(const std::string& name, DWORD* type) {
  for (const TypeName& t : kTypes) {
    if (strcasecmp(name.c_str(), t.name) == 0) {
      *type = t.type;
      return true;
    }
  }
  return false;
}

std::string RegDataText(DWORD type, const std::string& data) {
  std::string d = data;
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
      return d.substr(0, d.find('\0'));
    case REG_DWORD:
    case REG_DWORD_BIG_ENDIAN:
      return d.size() == 4 ? Number(d, type == REG_DWORD_BIG_ENDIAN) : HexBytes(d);
    case REG_QWORD:
      return d.size() == 8 ? Number(d, false) : HexBytes(d);
    case REG_MULTI_SZ: {
      while (!d.empty() && d.back() == '\0') d.pop_back();
      std::string out;
      for (char c : d) out += c == '\0' ? std::string("\\0") : std::string(1, c);
      return out;
    }
    default:
      return HexBytes(d);
  }
}

}  // namespace qzreg
