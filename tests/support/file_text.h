// The whole content of a file, for tests that look at what a run wrote.
#ifndef QZINST32_TESTS_SUPPORT_FILE_TEXT_H_
#define QZINST32_TESTS_SUPPORT_FILE_TEXT_H_

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

}  // namespace qztest

#endif  // QZINST32_TESTS_SUPPORT_FILE_TEXT_H_
