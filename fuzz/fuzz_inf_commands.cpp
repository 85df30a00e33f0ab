// Fuzz target: an INF file fed to command 2 (printer installation) and
// command 3 (Plug and Play registration).
//
// The input is the INF. Both commands run on the section the setup script
// would name (the example's "RT2210"), on the first section the input holds,
// and on the first section listed under [Manufacturer]'s model lines, so the
// driver, monitor and print processor values of a mutated section, their
// [Strings] placeholders and the spooler's answers to them are all reached.
#include <stddef.h>
#include <stdint.h>

#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_machine.h"
#include "platform/host/profile/inifile.h"

namespace {

const char kInf[] = "C:\\FUZZ.INF";

// A section name usable on the command line: the commands split at blanks.
bool UsableName(std::string_view name) {
  if (name.empty() || name.size() > 200) return false;
  for (char c : name) {
    if (static_cast<unsigned char>(c) <= ' ' || c == '/' || c == '\\') return false;
  }
  return true;
}

std::vector<std::string> SectionsToTry(const std::string& text) {
  std::vector<std::string> names = {"RT2210"};
  qzhost::IniFile ini(text, 1252);
  std::vector<std::string_view> sections = ini.SectionNames();
  if (!sections.empty() && UsableName(sections.front())) names.emplace_back(sections.front());
  // A model line names its install section first: "Model"=Section,HardwareID.
  std::vector<std::string_view> makers = ini.KeyNames("Manufacturer");
  if (!makers.empty()) {
    std::string_view maker;
    if (ini.FindValue("Manufacturer", makers.front(), &maker)) {
      std::vector<std::string_view> models = ini.KeyNames(maker);
      std::string_view line;
      if (!models.empty() && ini.FindValue(maker, models.front(), &line)) {
        std::string_view section = line.substr(0, line.find(','));
        if (UsableName(section)) names.emplace_back(section);
      }
    }
  }
  return names;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  qzfuzz::FreshMachine(qzfuzz::InputChoice(data, size));
  if (!qzfuzz::WriteHostFile(qzfuzz::HostPathOnC(kInf), text)) return 0;
  for (const std::string& section : SectionsToTry(text)) {
    for (const char* command : {"2", "3"}) {
      qzfuzz::RunCommandLine(std::string(command) + " " + kInf + " " + section + " LPT1:");
    }
  }
  return 0;
}
