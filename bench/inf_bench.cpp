// Command 2 from the small example INF and from a 20 MB driver package INF.
//
// Every iteration starts as a new process would: the machine is reopened, so
// the profile cache is empty and the INF is read and parsed again. After the
// first run everything is in place, so each run walks the re-install road
// (all INF values read, installed tests, AddPrinterA answering 1802).
// The large INF should cost no more than the small one plus one read of it.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/host/machine/machine.h"
#include "platform/host/machine/testctl.h"
#include "platform/host/process/kernel.h"
#include "platform/win32.h"

namespace {

const size_t kLargeBytes = 20u << 20;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string ExampleInf() {
  std::string source = __FILE__;
  return ReadFile(source.substr(0, source.rfind("bench/")) + "examples/rt2210.inf");
}

// One model of a large package: its printer section and its file lists.
void AppendModel(std::string* pText, int nModel) {
  char acLine[160];
  snprintf(acLine, sizeof acLine, "[HRT%05d]\r\ndevice=Halden Model %05d\r\n", nModel, nModel);
  *pText += acLine;
  snprintf(acLine, sizeof acLine,
           "Driver=HRT%05d.DRV\r\nDataFile=HRT%05d.DAT\r\nConfigFile=HRTUI.DLL\r\n"
           "HelpFile=HRT.HLP\r\nDefaultDataType=RAW\r\n",
           nModel, nModel);
  *pText += acLine;
  *pText += "LanguageMonitor=%HLM%,hrtlmon.dll\r\nPortMonitor=%HPM%,hrtpmon.dll\r\n";
  snprintf(acLine, sizeof acLine,
           "CopyFiles=HRT%05d.Files,RT2210.System\r\n\r\n[HRT%05d.Files]\r\n", nModel, nModel);
  *pText += acLine;
  for (int f = 0; f < 24; ++f) {
    snprintf(acLine, sizeof acLine, "HRT%05d_%02d.BIN=1,,%d ; font and halftone data\r\n", nModel,
             f, 4096 + f * 512);
    *pText += acLine;
  }
  *pText += "\r\n";
}

// Models before and after the example's sections, [Strings] at the very end.
std::string LargeInf() {
  std::string example = ExampleInf();
  size_t nStrings = example.find("[Strings]");
  if (nStrings == std::string::npos) abort();  // the example INF was not found
  std::string before, after;
  int nModel = 0;
  while (before.size() < kLargeBytes / 2) AppendModel(&before, nModel++);
  while (after.size() < kLargeBytes / 2) AppendModel(&after, nModel++);
  return before + example.substr(0, nStrings) + after + example.substr(nStrings);
}

struct Machine {
  std::string root;
  std::string smallInf;
  std::string largeInf;
};

Machine& TheMachine() {
  static Machine machine = [] {
    Machine m;
    m.root = qzhost::UseTestMachine();
    m.smallInf = m.root + "/rt2210.inf";
    m.largeInf = m.root + "/package.inf";
    std::ofstream(m.smallInf, std::ios::binary) << ExampleInf();
    std::ofstream(m.largeInf, std::ios::binary) << LargeInf();
    qzhost::CaptureTrace(true);
    return m;
  }();
  return machine;
}

int RunCommand2(const std::string& inf) {
  qzhost::SetMachineForTest(TheMachine().root, qzhost::MachineConfig(), false);
  qzhost::SetCommandText("2 " + inf + " RT2210 LPT1:");
  int nResult = WinMain(reinterpret_cast<HINSTANCE>(1), nullptr, nullptr, SW_SHOWNORMAL);
  qzhost::TakeTrace();
  return nResult;
}

void BM_Command2(benchmark::State& state, bool bLarge) {
  const std::string& inf = bLarge ? TheMachine().largeInf : TheMachine().smallInf;
  if (RunCommand2(inf) != 0) state.SkipWithError("command 2 failed");
  for (auto _ : state) benchmark::DoNotOptimize(RunCommand2(inf));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(std::filesystem::file_size(inf)));
}

// The yardstick: reading the large INF once into memory.
void BM_ReadLargeInfOnce(benchmark::State& state) {
  const std::string& inf = TheMachine().largeInf;
  for (auto _ : state) benchmark::DoNotOptimize(ReadFile(inf).size());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(std::filesystem::file_size(inf)));
}

BENCHMARK_CAPTURE(BM_Command2, small_example_inf, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Command2, large_20MB_inf, true)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadLargeInfOnce)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
