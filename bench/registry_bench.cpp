// Registry benchmarks: opening the machine and reading one value on the
// default machine and on a registry of 500,000 keys, enumerating a key of
// 100,000 subkeys, and importing a value of 200,000 continuation lines.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "platform/host/machine/machine.h"
#include "platform/host/registry/regfile.h"
#include "platform/host/registry/registry.h"
#include "platform/win32.h"

namespace {

const char kWideKey[] = "Software\\QzBench\\Wide";

std::string NewMachine() {
  char pattern[] = "/tmp/qzbench.XXXXXX";
  std::string root = mkdtemp(pattern);
  qzhost::SetMachineForTest(root, qzhost::MachineConfig(), false);
  return root;
}

// Fills HKLM\Software\QzBench with `groups` keys of `perGroup` subkeys each,
// each subkey holding one value, in one transaction.
void FillRegistry(int groups, int perGroup) {
  DWORD error = 0;
  qzhost::RegStore* store = qzhost::MachineRegistry(&error);
  if (store == nullptr) abort();
  qzhost::RegTransaction tx(store);
  qzhost::RegKeyId software = 0, bench = 0;
  store->CreateChild(qzhost::RootKeyId(HKEY_LOCAL_MACHINE), "Software", &software);
  store->CreateChild(software, "QzBench", &bench);
  for (int g = 0; g < groups; ++g) {
    qzhost::RegKeyId group = 0;
    store->CreateChild(bench, groups == 1 ? "Wide" : "G" + std::to_string(g), &group);
    for (int k = 0; k < perGroup; ++k) {
      qzhost::RegKeyId key = 0;
      store->CreateChild(group, "Key" + std::to_string(k), &key);
      store->SetValue(key, "Data", REG_SZ, std::string("x\0", 2));
    }
  }
  if (tx.Commit() != ERROR_SUCCESS) abort();
}

// Makes the next registry call open the machine afresh, as a new process would.
void ReopenMachine(const std::string& root) {
  qzhost::SetMachineForTest(root, qzhost::MachineConfig(), false);
}

void OpenAndReadOneValue(benchmark::State& state, const std::string& root) {
  for (auto _ : state) {
    ReopenMachine(root);
    HKEY hKey = nullptr;
    char acValue[64];
    DWORD cb = sizeof acValue;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                      "System\\CurrentControlSet\\Services\\Class\\NetTrans\\0001", 0, KEY_READ,
                      &hKey) != ERROR_SUCCESS ||
        RegQueryValueExA(hKey, "IPAddress", nullptr, nullptr, reinterpret_cast<BYTE*>(acValue),
                         &cb) != ERROR_SUCCESS)
      state.SkipWithError("read failed");
    RegCloseKey(hKey);
  }
}

struct Machines {
  std::string defaultRoot, bigRoot, wideRoot;
  Machines() {
    defaultRoot = NewMachine();
    DWORD error = 0;
    qzhost::MachineRegistry(&error);  // creates the default registry
    bigRoot = NewMachine();
    FillRegistry(500, 1000);
    wideRoot = NewMachine();
    FillRegistry(1, 100000);
  }
  ~Machines() {
    for (const std::string& root : {defaultRoot, bigRoot, wideRoot})
      std::filesystem::remove_all(root);
  }
};

Machines& TheMachines() {
  static Machines machines;
  return machines;
}

void BM_OpenReadDefaultMachine(benchmark::State& state) {
  OpenAndReadOneValue(state, TheMachines().defaultRoot);
}
BENCHMARK(BM_OpenReadDefaultMachine)->Unit(benchmark::kMicrosecond);

void BM_OpenRead500kKeyMachine(benchmark::State& state) {
  OpenAndReadOneValue(state, TheMachines().bigRoot);
}
BENCHMARK(BM_OpenRead500kKeyMachine)->Unit(benchmark::kMicrosecond);

void BM_Enumerate100kSubkeys(benchmark::State& state) {
  ReopenMachine(TheMachines().wideRoot);
  char acName[MAX_PATH];
  for (auto _ : state) {
    HKEY hKey = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kWideKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS) {
      state.SkipWithError("open failed");
      break;
    }
    DWORD i = 0;
    for (;; ++i) {
      DWORD cch = sizeof acName;
      if (RegEnumKeyExA(hKey, i, acName, &cch, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        break;
    }
    RegCloseKey(hKey);
    if (i != 100000) state.SkipWithError("wrong subkey count");
  }
  state.SetItemsProcessed(state.iterations() * 100000);
}
BENCHMARK(BM_Enumerate100kSubkeys)->Unit(benchmark::kMillisecond);

// A .reg file with one binary value spread over 200,000 continuation lines
// (about 15 MB), imported into a store in memory: its cost grows with the
// text, not with its square.
void BM_ImportHexOver200kLines(benchmark::State& state) {
  std::string text = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Big]\r\n\"B\"=hex:00,\\\r\n";
  for (int i = 0; i < 200000; ++i)
    text += "  01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,17,18,\\\r\n";
  text += "  ff\r\n";
  for (auto _ : state) {
    qzhost::RegStore store;
    std::string why;
    if (store.Open(
            ":memory:", 1252, [] { return DWORD(0); }, &why) != ERROR_SUCCESS)
      abort();
    qzhost::RegFileError error;
    if (qzhost::ImportRegText(&store, text, &error) != ERROR_SUCCESS) {
      state.SkipWithError("import failed");
      break;
    }
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_ImportHexOver200kLines)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
