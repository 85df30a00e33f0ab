// The fuzz targets' guard against writing outside the machine.
//
// Command 5 writes the profile file its parameter names, and Unix paths and
// drive Z: reach the host's own files: a fuzzer running as root must never be
// able to name them.
#ifndef QZINST32_FUZZ_FUZZ_PATHS_H_
#define QZINST32_FUZZ_FUZZ_PATHS_H_

#include <string>

namespace qzfuzz {

// False for a command text that could name a file outside the machine: a
// Unix path, drive Z: (the host's own file system), or a relative path with
// a folder part (resolved against the fuzzer's current folder). Only names
// on drive C: and bare names (the Windows folder) stay inside.
bool StaysInsideMachine(const std::string& commandText);

}  // namespace qzfuzz

#endif  // QZINST32_FUZZ_FUZZ_PATHS_H_
