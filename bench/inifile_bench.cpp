// IniFile on a WIN.INI whose [Ports] has 5,000 keys, as a run of the spooler
// uses it: one key read, one key added (the new text parsed again), then the
// port names listed and the section's text taken for its digest. The parts
// are timed on their own too, each on a fresh parse as a new process has it.
#include <benchmark/benchmark.h>
#include <stdio.h>

#include <string>
#include <string_view>

#include "platform/host/profile/inifile.h"

namespace {

using qzhost::IniFile;

const int kPorts = 5000;

std::string WinIni() {
  std::string text =
      "[windows]\r\nload=\r\nrun=\r\ndevice=Halden RT2210,HRT2210,LPT1:\r\n\r\n"
      "[Desktop]\r\nWallpaper=(None)\r\n\r\n[intl]\r\niCountry=1\r\n\r\n"
      "[Ports]\r\nLPT1:=\r\nLPT2:=\r\nCOM1:=9600,n,8,1,x\r\nFILE:=\r\n";
  char line[40];
  for (int n = 0; n < kPorts; ++n) {
    snprintf(line, sizeof line, "NET%05d:=\r\n", n);
    text += line;
  }
  text +=
      "\r\n[devices]\r\nHalden RT2210=HRT2210,LPT1:\r\n\r\n"
      "[PrinterPorts]\r\nHalden RT2210=HRT2210,LPT1:,15,45\r\n";
  return text;
}

const std::string& Text() {
  static const std::string text = WinIni();
  return text;
}

void BM_ReadAddList(benchmark::State& state) {
  for (auto _ : state) {
    IniFile before(Text());
    std::string_view value;
    benchmark::DoNotOptimize(before.FindValue("Ports", "NET02500:", &value));
    std::string edited;
    before.SetValue("Ports", "NEWPORT:", "", &edited);
    IniFile after(std::move(edited));
    benchmark::DoNotOptimize(after.KeyNames("Ports").size());
    benchmark::DoNotOptimize(after.SectionBody("Ports").size());
  }
}

void BM_Parse(benchmark::State& state) {
  for (auto _ : state) {
    IniFile ini(Text());
    benchmark::DoNotOptimize(ini.HasSection("Ports"));
  }
}

// state.range(0): how many lookups of one absent key (the first reads the
// section, later ones use its index).
void BM_Lookups(benchmark::State& state) {
  for (auto _ : state) {
    IniFile ini(Text());
    std::string_view value;
    for (int64_t i = 0; i < state.range(0); ++i)
      benchmark::DoNotOptimize(ini.FindValue("Ports", "NOPORT:", &value));
  }
}

void BM_KeyNames(benchmark::State& state) {
  for (auto _ : state) {
    IniFile ini(Text());
    benchmark::DoNotOptimize(ini.KeyNames("Ports").size());
  }
}

void BM_AddKey(benchmark::State& state) {
  for (auto _ : state) {
    IniFile ini(Text());
    std::string edited;
    benchmark::DoNotOptimize(ini.SetValue("Ports", "NEWPORT:", "", &edited));
  }
}

BENCHMARK(BM_ReadAddList)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Parse)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Lookups)->Arg(1)->Arg(2)->Arg(100)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_KeyNames)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AddKey)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
