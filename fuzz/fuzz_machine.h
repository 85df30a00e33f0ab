// Shared set-up of the fuzz targets: a fresh emulated machine per input.
//
// Each input runs on a machine of its own (registry in memory, drive C: in a
// temporary folder), so a crash replays from the input alone. The input also
// picks the personality and code page, so both personalities and the
// double-byte code page are explored without a second target.
#ifndef QZINST32_FUZZ_FUZZ_MACHINE_H_
#define QZINST32_FUZZ_FUZZ_MACHINE_H_

#include <stddef.h>
#include <stdint.h>

#include <string>

#include "fuzz/fuzz_paths.h"

namespace qzfuzz {

// Makes a fresh machine whose personality and code page follow `choice`
// (bit 0: NT, bit 1: code page 932), with the trace captured, the example
// INF at C:\RT2210.INF and a TCP/IP transport, the shared-DLL keys and a
// setup source path in the registry, so every command has work to do.
void FreshMachine(unsigned choice);

// The machine's host path of a Windows path on drive C: ("C:\X.INF").
std::string HostPathOnC(const char* windowsPath);

// Writes `text` to a host file; false when it cannot be written.
bool WriteHostFile(const std::string& path, const std::string& text);

// Throws the captured trace away (it only grows otherwise).
void DropTrace();

// A value derived from every byte of the input; stable for a given input.
unsigned InputChoice(const uint8_t* data, size_t size);

// Runs one command line through WinMain, as the program's entry does.
int RunCommandLine(const std::string& commandText);

}  // namespace qzfuzz

#endif  // QZINST32_FUZZ_FUZZ_MACHINE_H_
