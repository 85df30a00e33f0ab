// JSON text for the machine-readable outputs.
#include "platform/host/report/jsontext.h"

#include <stdio.h>

namespace qzhost {

std::string JsonString(std::string_view s) {
  std::string out = "\"";
  for (char ch : s) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += ch;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20 || c > 0x7E) {
      char escape[8];
      snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
    } else {
      out += ch;
    }
  }
  return out + "\"";
}

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
