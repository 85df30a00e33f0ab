// The whole content of a file, for tests that look at what a run wrote, and
// fresh folders for such files.
#ifndef QZINST32_TESTS_SUPPORT_FILE_TEXT_H_
#define QZINST32_TESTS_SUPPORT_FILE_TEXT_H_

#include <stdlib.h>

#include <fstream>
#include <sstream>
#include <string>

namespace qztest {

// Empty when the file cannot be read.
inline std::string ReadFileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// A new folder "<prefix>.XXXXXX" in the temporary folder ($TMPDIR, else
// /tmp); empty when it cannot be made. The test removes it.
inline std::string MakeTempFolder(const char* prefix) {
  const char* tmp = getenv("TMPDIR");
  std::string pattern =
      std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/" + prefix + ".XXXXXX";
  return mkdtemp(&pattern[0]) != nullptr ? pattern : std::string();
}

}  // namespace qztest

#endif  // QZINST32_TESTS_SUPPORT_FILE_TEXT_H_
