// JSON text for the machine-readable outputs of qzinst32 and qzreg.
#ifndef QZINST32_PLATFORM_HOST_JSONTEXT_H_
#define QZINST32_PLATFORM_HOST_JSONTEXT_H_

#include <string>
#include <string_view>

namespace qzhost {

// `s`, bytes of the ANSI code page `codePage` (1252 or 932), as a JSON
// string with its quotes, in UTF-8. Bytes decode as Windows' own conversion
// decodes them (1252: 0x80 is U+20AC, its five unassigned bytes stand for
// themselves; 932: a lead and a trail byte are one character); a byte pair
// that is no character becomes U+FFFD. Control characters are escaped.
std::string JsonString(std::string_view s, unsigned codePage);
// The same with the code page of the machine this process has prepared
// (1252 before one is): the form every report and listing uses.
std::string JsonString(std::string_view s);

// Builds one JSON object, member by member, in the order given.
class JsonObject {
 public:
  JsonObject& Add(std::string_view name, std::string_view text);
  JsonObject& Add(std::string_view name, const char* text) {
    return Add(name, std::string_view(text));
  }
  JsonObject& AddNumber(std::string_view name, unsigned long number);
  JsonObject& AddBool(std::string_view name, bool value);
  // `json` is already JSON text (an array or object).
  JsonObject& AddRaw(std::string_view name, std::string_view json);
  std::string Text() const { return "{" + members_ + "}"; }

 private:
  void Name(std::string_view name);
  std::string members_;
};

}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_JSONTEXT_H_
