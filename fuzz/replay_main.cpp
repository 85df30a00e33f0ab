// Replays fuzz inputs through a fuzz target without libFuzzer.
//
// Builds made with GCC (the host and sanitizer presets) link each target with
// this file, so the seed corpora and every saved crash run as ordinary tests
// under AddressSanitizer too. Arguments are files or folders of files.
#include <stdint.h>
#include <stdio.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

std::vector<std::string> InputsOf(const std::string& arg) {
  std::vector<std::string> files;
  std::error_code ec;
  if (std::filesystem::is_directory(arg, ec)) {
    for (const auto& entry : std::filesystem::directory_iterator(arg, ec))
      if (entry.is_regular_file()) files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
  } else {
    files.push_back(arg);
  }
  return files;
}

}  // namespace

int main(int argc, char** argv) {
  size_t replayed = 0;
  for (int i = 1; i < argc; ++i) {
    for (const std::string& path : InputsOf(argv[i])) {
      std::ifstream in(path, std::ios::binary);
      if (!in) {
        fprintf(stderr, "cannot read %s\n", path.c_str());
        return 2;
      }
      std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
      static const uint8_t kEmpty = 0;  // libFuzzer never passes a null pointer
      LLVMFuzzerTestOneInput(data.empty() ? &kEmpty : data.data(), data.size());
      ++replayed;
    }
  }
  printf("replayed %zu inputs\n", replayed);
  return replayed > 0 ? 0 : 1;
}
