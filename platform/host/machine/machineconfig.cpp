// machine.ini: written by InitMachine, read strictly by PrepareMachine.
//
// Plain string work: the C++ streams would set up their locales first, which
// costs a run more than reading this small file.
#include "platform/host/machine/machineconfig.h"

#include <strings.h>

namespace qzhost {
namespace {

const char kBlanks[] = " \t";

std::string Trimmed(const std::string& text) {
  size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

// For messages: the text with every control byte shown as '?'.
std::string Shown(std::string text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  return text;
}

bool IsDecimal(const std::string& text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

// What the reader has seen so far.
struct Reading {
  MachineConfig config;
  int sections = 0;
  bool sawOS = false;
  bool sawCodePage = false;
};

bool ReadOS(const std::string& value, Reading* r, std::string* why) {
  if (value == "nt")
    r->config.os = Personality::kWinNT;
  else if (value == "win98")
    r->config.os = Personality::kWin98;
  else
    return *why = "unknown OS '" + Shown(value) + "' (win98 or nt)", false;
  return true;
}

bool ReadCodePage(const std::string& value, Reading* r, std::string* why) {
  if (value != "1252" && value != "932") {
    *why = IsDecimal(value) ? "unsupported CodePage " + value + " (1252 or 932)"
                            : "CodePage '" + Shown(value) + "' is not a number";
    return false;
  }
  r->config.codePage = value == "932" ? 932 : 1252;
  return true;
}

bool ReadKey(const std::string& key, const std::string& value, Reading* r, std::string* why) {
  bool isOS = strcasecmp(key.c_str(), "OS") == 0;
  bool isCodePage = strcasecmp(key.c_str(), "CodePage") == 0;
  if (!isOS && !isCodePage) return *why = "unknown key '" + Shown(key) + "'", false;
  bool& seen = isOS ? r->sawOS : r->sawCodePage;
  if (seen) return *why = "key '" + key + "' given twice", false;
  seen = true;
  return isOS ? ReadOS(value, r, why) : ReadCodePage(value, r, why);
}

bool ReadLine(std::string line, Reading* r, std::string* why) {
  if (!line.empty() && line.back() == '\r') line.pop_back();
  line = Trimmed(line);
  if (line.empty() || line[0] == ';') return true;
  if (line[0] == '[') {
    if (strcasecmp(line.c_str(), "[Machine]") != 0)
      return *why = "unknown section " + Shown(line) + " (only [Machine])", false;
    if (++r->sections > 1) return *why = "section [Machine] given twice", false;
    return true;
  }
  size_t equals = line.find('=');
  if (equals == std::string::npos)
    return *why = "'" + Shown(line) + "' is not a key=value line", false;
  if (r->sections == 0) return *why = "'" + Shown(line) + "' comes before [Machine]", false;
  return ReadKey(Trimmed(line.substr(0, equals)), Trimmed(line.substr(equals + 1)), r, why);
}

}  // namespace

std::string MachineConfigText(const MachineConfig& config) {
  return std::string("[Machine]\nOS=") + (config.os == Personality::kWinNT ? "nt" : "win98") +
         "\nCodePage=" + std::to_string(config.codePage) + "\n";
}

bool ParseMachineConfig(const std::string& text, MachineConfig* config, std::string* why) {
  Reading r;
  int number = 0;
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    ++number;
    if (!ReadLine(text.substr(at, end - at), &r, why)) {
      *why = "line " + std::to_string(number) + ": " + *why;
      return false;
    }
    at = end + 1;
  }
  if (r.sections == 0) return *why = "no [Machine] section", false;
  if (!r.sawOS) return *why = "no OS key (win98 or nt)", false;
  if (!r.sawCodePage) return *why = "no CodePage key (1252 or 932)", false;
  *config = r.config;
  return true;
}

}  // namespace qzhost
