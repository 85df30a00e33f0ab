// Shared set-up of the fuzz targets: a fresh emulated machine per input.
#include "fuzz/fuzz_machine.h"

#include <stdlib.h>
#include <string.h>

#include <fstream>
#include <sstream>

#include "platform/host/machine/machine.h"
#include "platform/host/machine/testctl.h"
#include "platform/host/process/kernel.h"
#include "platform/win32.h"

#ifndef QZFUZZ_EXAMPLE_INF
#error "QZFUZZ_EXAMPLE_INF must name the example INF"
#endif

namespace qzfuzz {
namespace {

struct SeedValue {
  const char* key;
  const char* name;
  DWORD type;
  const char* data;
};

// What the default image lacks for commands 3, 4, 5, 257 and 258 to write.
const SeedValue kSeed[] = {
    {"System\\CurrentControlSet\\Services\\Class\\NetTrans\\0000", "DriverDesc", REG_SZ, "NetBEUI"},
    {"System\\CurrentControlSet\\Services\\Class\\NetTrans\\0001", "DriverDesc", REG_SZ, "TCP/IP"},
    {"System\\CurrentControlSet\\Services\\Class\\NetTrans\\0001", "IPAddress", REG_SZ,
     "192.168.10.20"},
    {"System\\CurrentControlSet\\control\\SessionManager\\Known16DLLs", nullptr, 0, nullptr},
    {"System\\CurrentControlSet\\control\\InstalledFiles", nullptr, 0, nullptr},
    {"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Setup", "SourcePath", REG_SZ,
     "C:\\WINDOWS\\OPTIONS\\CABS"},
    {"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall", nullptr, 0, nullptr},
    {"Enum\\BIOS\\*PNP0400\\00", "PortName", REG_SZ, "LPT1"},
    {"Enum\\Root\\Printer\\0000", "PortName", REG_SZ, "LPT1"},
};

const std::string& ExampleInf() {
  static const std::string text = [] {
    std::ifstream in(QZFUZZ_EXAMPLE_INF, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
  }();
  return text;
}

void SeedRegistry() {
  for (const SeedValue& seed : kSeed) {
    HKEY hk = nullptr;
    if (RegCreateKeyA(HKEY_LOCAL_MACHINE, seed.key, &hk) != ERROR_SUCCESS) continue;
    if (seed.name != nullptr) {
      RegSetValueExA(hk, seed.name, 0, seed.type, reinterpret_cast<const BYTE*>(seed.data),
                     static_cast<DWORD>(strlen(seed.data) + 1));
    }
    RegCloseKey(hk);
  }
}

}  // namespace

void FreshMachine(unsigned choice) {
  qzhost::TestMachineOptions options;
  options.os = (choice & 1) ? qzhost::Personality::kWinNT : qzhost::Personality::kWin98;
  options.codePage = (choice & 2) ? 932 : 1252;
  options.inMemoryRegistry = true;
  options.moduleFileName = "C:\\SETUP\\QZINST32.EXE";
  qzhost::UseTestMachine(options);
  // Each machine replaces the one before; the last goes when the run ends
  // (registered once the machine's own state exists, so it outlives this).
  static const bool removeAtExit = atexit(qzhost::RemoveTestMachine) == 0;
  (void)removeAtExit;
  qzhost::CaptureTrace(true);
  SeedRegistry();
  WriteHostFile(HostPathOnC("C:\\RT2210.INF"), ExampleInf());
  DropTrace();
}

std::string HostPathOnC(const char* windowsPath) { return qzhost::MapWindowsPath(windowsPath); }

bool WriteHostFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  return static_cast<bool>(out);
}

void DropTrace() { qzhost::TakeTrace(); }

unsigned InputChoice(const uint8_t* data, size_t size) {
  unsigned sum = 0;
  for (size_t i = 0; i < size; ++i) sum += data[i];
  return sum;
}

int RunCommandLine(const std::string& commandText) {
  qzhost::SetCommandText(commandText);
  int result = WinMain(reinterpret_cast<HINSTANCE>(1), nullptr, nullptr, SW_SHOWNORMAL);
  DropTrace();
  return result;
}

}  // namespace qzfuzz

// Durability is the kill test's concern, not the fuzzer's: a machine made and
// thrown away per input would otherwise spend most of its time waiting for
// the disk. These replace the C library's calls in the fuzz binaries only.
extern "C" int fsync(int) { return 0; }
extern "C" int fdatasync(int) { return 0; }
