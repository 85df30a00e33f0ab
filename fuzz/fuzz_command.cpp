// Fuzz target: the whole command text through WinMain and ProcessCommand.
//
// The input is the command line as the setup script would pass it. It runs on
// a fresh machine that holds the example INF and the keys every command
// reads, so the fuzzer reaches the writing paths of commands 1 to 5 and 257
// to 259, not only the parser.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <string>

#include "fuzz/fuzz_machine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The command line reaches WinMain as a C string: it ends at the first NUL.
  const char* text = reinterpret_cast<const char*>(data);
  std::string commandText(text, strnlen(text, size));
  if (!qzfuzz::StaysInsideMachine(commandText)) return 0;
  qzfuzz::FreshMachine(qzfuzz::InputChoice(data, size));
  qzfuzz::RunCommandLine(commandText);
  return 0;
}
