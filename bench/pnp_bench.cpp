// Command 3 over Enum trees of growing size: the lookup should grow linearly.
//
// Each tree holds about N nodes below Enum\Root: 100 device keys with N/100
// instances whose "PortName" is some other port, and the printer's node last,
// so every run of the command walks the whole tree twice (match, then no more).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "platform/host/machine/testctl.h"
#include "platform/host/process/kernel.h"
#include "platform/win32.h"

namespace {

const int kDevices = 100;

HKEY CreateKey(HKEY hParent, const char* pszName) {
  HKEY hKey = nullptr;
  if (RegCreateKeyA(hParent, pszName, &hKey) != ERROR_SUCCESS) return nullptr;
  return hKey;
}

void SetPortName(HKEY hKey, const char* pszPort) {
  RegSetValueExA(hKey, "PortName", 0, REG_SZ, reinterpret_cast<const BYTE*>(pszPort),
                 static_cast<DWORD>(std::char_traits<char>::length(pszPort) + 1));
}

bool BuildTree(int nNodes) {
  HKEY hRoot = CreateKey(HKEY_LOCAL_MACHINE, "Enum\\Root\\QZBENCH");
  if (hRoot == nullptr) return false;
  const int nInstances = nNodes / kDevices - 1;
  char acName[32];
  for (int d = 0; d < kDevices; ++d) {
    snprintf(acName, sizeof acName, "DEV%04d", d);
    HKEY hDevice = CreateKey(hRoot, acName);
    if (hDevice == nullptr) return false;
    for (int i = 0; i < nInstances; ++i) {
      snprintf(acName, sizeof acName, "%06d", i);
      HKEY hInstance = CreateKey(hDevice, acName);
      if (hInstance == nullptr) return false;
      SetPortName(hInstance, "COM1");
      RegCloseKey(hInstance);
    }
    RegCloseKey(hDevice);
  }
  HKEY hPrinter = CreateKey(hRoot, "ZZPRINTER\\0000");
  if (hPrinter == nullptr) return false;
  SetPortName(hPrinter, "LPT7");
  RegCloseKey(hPrinter);
  RegCloseKey(hRoot);
  return true;
}

void BM_RegisterPnPPrinter(benchmark::State& state) {
  qzhost::TestMachineOptions options;
  options.inMemoryRegistry = true;
  std::string root = qzhost::UseTestMachine(options);
  if (!BuildTree(static_cast<int>(state.range(0)))) {
    state.SkipWithError("the Enum tree could not be built");
    qzhost::RemoveTestMachine();
    return;
  }
  std::string inf = root + "/bench.inf";
  std::ofstream(inf) << "[RT]\nWin95DeviceID=HALDENRT-2210\nDescription=Halden RT-2210\n";
  std::string command = "3 " + inf + " RT LPT7:";
  qzhost::CaptureTrace(true);
  qzhost::SetCommandText(command);

  for (auto _ : state) {
    int nResult = WinMain(reinterpret_cast<HINSTANCE>(1), nullptr, nullptr, SW_SHOWNORMAL);
    if (nResult != 0) state.SkipWithError("command 3 did not succeed");
    state.PauseTiming();
    qzhost::TakeTrace();
    state.ResumeTiming();
  }
  state.SetComplexityN(state.range(0));
  qzhost::CaptureTrace(false);
  qzhost::RemoveTestMachine();
}

BENCHMARK(BM_RegisterPnPPrinter)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

}  // namespace

BENCHMARK_MAIN();
