// Which command texts the fuzz targets may run: only ones that keep to the machine.
#include "fuzz/fuzz_paths.h"

namespace qzfuzz {

bool StaysInsideMachine(const std::string& commandText) {
  if (commandText.find('/') != std::string::npos) return false;
  size_t wordStart = 0;
  for (size_t i = 0; i < commandText.size(); ++i) {
    char c = commandText[i];
    if (c == ' ' || c == '\t') wordStart = i + 1;
    if (c == ':' && i > 0 && (commandText[i - 1] == 'z' || commandText[i - 1] == 'Z')) return false;
    if (c != '\\') continue;
    bool onDriveC = i >= wordStart + 2 &&
                    (commandText[wordStart] == 'C' || commandText[wordStart] == 'c') &&
                    commandText[wordStart + 1] == ':';
    if (!onDriveC) return false;
  }
  return true;
}

}  // namespace qzfuzz
