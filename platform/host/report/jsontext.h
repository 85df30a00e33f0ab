// JSON text for the machine-readable outputs of qzinst32 and qzreg.
#ifndef QZINST32_PLATFORM_HOST_JSONTEXT_H_
#define QZINST32_PLATFORM_HOST_JSONTEXT_H_

#include <string>
#include <string_view>

namespace qzhost {

// `s` as a JSON string with its quotes. The machine's texts are code-page
// bytes, not UTF-8: each byte above 0x7F becomes \u00XX, so a reader gets
// every byte back as the character of the same number.
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
