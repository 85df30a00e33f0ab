// Spooler benchmarks: EnumPortsA (level 2) and EnumMonitorsA (level 1), each
// in Windows' two calls, on machines with 500 and 5,000 ports (half in WIN.INI
// [Ports], half as keys under Control\Print\Ports) and 200 and 2,000 monitors.
// "Cold" is the first enumeration after a change of the registry (as in a new
// process, or after a command changed something); "warm" is one more without
// a change in between.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/host/machine/machine.h"
#include "platform/host/registry/registry.h"
#include "platform/win32.h"

namespace {

const char kPrint[] = "System\\CurrentControlSet\\Control\\Print";

std::string PortName(int n) { return "BENCH" + std::to_string(100000 + n) + ":"; }

// Half of the ports go into WIN.INI [Ports], right after its header.
void AddProfilePorts(int first, int count) {
  const std::string path = qzhost::MapWindowsPath("C:\\WINDOWS\\WIN.INI");
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  std::string ini = text.str();
  std::string lines;
  for (int n = first; n < first + count; ++n) lines += PortName(n) + "=\r\n";
  size_t header = ini.find("[Ports]");
  size_t at = header == std::string::npos ? ini.size() : ini.find('\n', header) + 1;
  if (header == std::string::npos) lines = "[Ports]\r\n" + lines;
  ini.insert(at, lines);
  std::ofstream(path, std::ios::binary | std::ios::trunc) << ini;
}

// A machine with `ports` ports and `monitors` monitors, made in one transaction.
std::string NewSpoolerMachine(int ports, int monitors) {
  char pattern[] = "/tmp/qzbench.XXXXXX";
  std::string root = mkdtemp(pattern);
  qzhost::SetMachineForTest(root, qzhost::MachineConfig(), false);
  DWORD error = 0;
  qzhost::RegStore* store = qzhost::MachineRegistry(&error);
  if (store == nullptr) abort();
  qzhost::RegTransaction tx(store);
  qzhost::RegKeyId print = qzhost::RootKeyId(HKEY_LOCAL_MACHINE);
  std::string path = kPrint;
  for (size_t start = 0; start <= path.size();) {
    size_t end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    store->CreateChild(print, path.substr(start, end - start), &print);
    start = end + 1;
  }
  qzhost::RegKeyId portKeys = 0, monitorKeys = 0;
  store->CreateChild(print, "Ports", &portKeys);
  store->CreateChild(print, "Monitors", &monitorKeys);
  for (int n = 0; n < ports / 2; ++n) {
    qzhost::RegKeyId key = 0;
    store->CreateChild(portKeys, PortName(n), &key);
  }
  for (int n = 0; n < monitors; ++n) {
    qzhost::RegKeyId key = 0;
    store->CreateChild(monitorKeys, "Bench Monitor " + std::to_string(n), &key);
    store->SetValue(key, "Driver", REG_SZ, "bmon" + std::to_string(n) + ".dll" + '\0');
  }
  if (tx.Commit() != ERROR_SUCCESS) abort();
  AddProfilePorts(ports / 2, ports - ports / 2);
  return root;
}

// One machine per size, removed at exit.
const std::string& Machine(int ports) {
  static std::map<int, std::string> roots;
  static struct Cleanup {
    ~Cleanup() {
      for (const auto& entry : roots) std::filesystem::remove_all(entry.second);
    }
  } cleanup;
  std::string& root = roots[ports];
  if (root.empty()) root = NewSpoolerMachine(ports, ports * 2 / 5);
  qzhost::SetMachineForTest(root, qzhost::MachineConfig(), false);
  return root;
}

// A change of the registry that the spooler's lists do not depend on.
void TouchRegistry() {
  static DWORD counter = 0;
  ++counter;
  HKEY hKey = nullptr;
  RegCreateKeyA(HKEY_LOCAL_MACHINE, "Software\\QzBench", &hKey);
  RegSetValueExA(hKey, "Counter", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&counter),
                 sizeof counter);
  RegCloseKey(hKey);
}

// Windows' two calls; the number of records, or -1.
template <typename Enumerate>
long TwoCalls(Enumerate enumerate) {
  DWORD cbNeeded = 0, cReturned = 0;
  enumerate(nullptr, 0, &cbNeeded, &cReturned);
  std::vector<BYTE> buffer(cbNeeded);
  if (!enumerate(buffer.data(), cbNeeded, &cbNeeded, &cReturned)) return -1;
  return static_cast<long>(cReturned);
}

long EnumPorts2() {
  return TwoCalls([](LPBYTE p, DWORD cb, LPDWORD pcb, LPDWORD pc) {
    return EnumPortsA(nullptr, 2, p, cb, pcb, pc);
  });
}

long EnumMonitors1() {
  return TwoCalls([](LPBYTE p, DWORD cb, LPDWORD pcb, LPDWORD pc) {
    return EnumMonitorsA(nullptr, 1, p, cb, pcb, pc);
  });
}

template <long (*Enumerate)()>
void Enumeration(benchmark::State& state, bool cold) {
  const int ports = static_cast<int>(state.range(0));
  Machine(ports);
  long records = Enumerate();
  for (auto _ : state) {
    if (cold) {
      state.PauseTiming();
      TouchRegistry();
      state.ResumeTiming();
    }
    if (Enumerate() != records) state.SkipWithError("the count changed");
  }
  if (records <= 0) state.SkipWithError("nothing enumerated");
  state.counters["records"] = static_cast<double>(records);
}

void BM_EnumPortsCold(benchmark::State& state) { Enumeration<EnumPorts2>(state, true); }
void BM_EnumPortsWarm(benchmark::State& state) { Enumeration<EnumPorts2>(state, false); }
void BM_EnumMonitorsCold(benchmark::State& state) { Enumeration<EnumMonitors1>(state, true); }
BENCHMARK(BM_EnumPortsCold)->Arg(500)->Arg(5000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EnumPortsWarm)->Arg(500)->Arg(5000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EnumMonitorsCold)->Arg(500)->Arg(5000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
