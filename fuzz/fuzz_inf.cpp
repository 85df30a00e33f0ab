// Fuzz target: the INF and profile reader.
//
// The input is a profile file. It is parsed directly under both code pages,
// looked up and edited by the names it holds (and by names cut from its own
// bytes), and read through GetPrivateProfileStringA and GetPrivateProfileIntA
// with buffers from one character up, so the Windows copying rules for
// truncated values and name lists are exercised at their edges.
#include <stddef.h>
#include <stdint.h>

#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_machine.h"
#include "platform/host/profile/inifile.h"
#include "platform/host/profile/profilecache.h"
#include "platform/win32.h"

namespace {

const DWORD kBufferSizes[] = {1, 2, 3, 16, 256, 4096};

// Windows never reports more than the buffer holds, and ends what it copied.
void CheckReturned(const char* buffer, DWORD size, DWORD copied) {
  if (copied >= size || buffer[copied] != '\0') __builtin_trap();
}

void LookUp(const char* section, const char* key, const char* file) {
  std::vector<char> buffer(4096 + 1);
  for (DWORD size : kBufferSizes) {
    buffer.assign(buffer.size(), 'x');
    DWORD copied = GetPrivateProfileStringA(section, key, "dflt ", buffer.data(), size, file);
    CheckReturned(buffer.data(), size, copied);
  }
  GetPrivateProfileIntA(section, key, -7, file);
}

void ParseAndEdit(const std::string& text, unsigned codePage) {
  qzhost::IniFile ini(text, codePage);
  std::vector<std::string_view> sections = ini.SectionNames();
  std::string edited;
  for (size_t i = 0; i < sections.size() && i < 4; ++i) {
    std::string section(sections[i]);
    if (!ini.HasSection(section)) __builtin_trap();  // listed but not found
    for (std::string_view key : ini.KeyNames(section)) {
      std::string_view value;
      if (!ini.FindValue(section, key, &value)) __builtin_trap();
      qzhost::ProfileIntOf(value, codePage == 932);
    }
    ini.SetValue(section, "NewKey", "v", &edited);
    ini.DeleteSection(section, &edited);
  }
  // Names cut from the input itself reach the odd bytes the lists skip.
  std::string_view all(text);
  std::string_view name = all.substr(0, all.size() < 12 ? all.size() : 12);
  ini.SetValue(name, name, all.substr(name.size() / 2), &edited);
  ini.DeleteKey(name, name, &edited);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  ParseAndEdit(text, 1252);
  ParseAndEdit(text, 932);

  static bool machineReady = false;
  if (!machineReady) {
    qzfuzz::FreshMachine(0);
    machineReady = true;
  }
  const char* file = "C:\\FUZZ.INI";
  if (!qzfuzz::WriteHostFile(qzfuzz::HostPathOnC(file), text)) return 0;
  // The cache knows a file by size and time stamp, which two quick rewrites
  // of equal size can share; the program never rewrites an INF under itself.
  qzhost::ForgetAllProfiles();
  qzhost::IniFile ini(text, 1252);
  LookUp(nullptr, nullptr, file);
  std::vector<std::string_view> sections = ini.SectionNames();
  for (size_t i = 0; i < sections.size() && i < 3; ++i) {
    std::string section(sections[i]);
    LookUp(section.c_str(), nullptr, file);
    std::vector<std::string_view> keys = ini.KeyNames(section);
    for (size_t k = 0; k < keys.size() && k < 4; ++k) {
      LookUp(section.c_str(), std::string(keys[k]).c_str(), file);
    }
    LookUp(section.c_str(), "missing", file);
  }
  qzfuzz::DropTrace();
  return 0;
}
