// Test controls of the emulated machine: fresh machines, chosen failures.
#include "platform/host/machine/testctl.h"

#include <stdlib.h>
#include <string.h>

#include <filesystem>
#include <map>
#include <new>
#include <vector>

namespace qzhost {
namespace {

struct PlannedFailure {
  DWORD error;
  int count;
  int skip;
};

std::map<std::string, std::vector<PlannedFailure>>& Failures() {
  static std::map<std::string, std::vector<PlannedFailure>> failures;
  return failures;
}

int g_allocSkip = -1;
int g_allocCount = 0;
std::string g_testRoot;

}  // namespace

std::string UseTestMachine(const TestMachineOptions& options) {
  RemoveTestMachine();
  // In the temporary folder the environment names, as every other test's files.
  const char* tmp = getenv("TMPDIR");
  std::string pattern =
      std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/qzmachine.XXXXXX";
  const char* dir = mkdtemp(&pattern[0]);
  g_testRoot = dir ? dir : pattern.substr(0, pattern.size() - 6) + "failed";
  MachineConfig config;
  config.os = options.os;
  config.codePage = options.codePage;
  SetMachineForTest(g_testRoot, config, options.inMemoryRegistry);
  SetModuleFileName(options.moduleFileName);
  ClearFailures();
  return g_testRoot;
}

void RemoveTestMachine() {
  if (g_testRoot.empty()) return;
  std::string root = g_testRoot;
  g_testRoot.clear();
  ResetMachineState();
  std::error_code ignored;
  std::filesystem::remove_all(root, ignored);
}

void FailCall(const char* api, DWORD error, int count, int skip) {
  Failures()[api].push_back({error, count, skip});
}

void FailAllocation(int skip, int count) {
  g_allocSkip = skip;
  g_allocCount = count;
}

void ClearFailures() {
  Failures().clear();
  g_allocSkip = -1;
  g_allocCount = 0;
}

bool ShouldFail(const char* api, DWORD* error) {
  auto it = Failures().find(api);
  if (it == Failures().end()) return false;
  for (PlannedFailure& plan : it->second) {
    if (plan.count <= 0) continue;
    if (plan.skip > 0) {
      --plan.skip;
      continue;
    }
    --plan.count;
    *error = plan.error;
    return true;
  }
  return false;
}

bool ShouldFailAllocation() {
  if (g_allocSkip < 0 || g_allocCount <= 0) return false;
  if (g_allocSkip > 0) {
    --g_allocSkip;
    return false;
  }
  --g_allocCount;
  return true;
}

}  // namespace qzhost

// The program allocates with nothrow new where it checks for failure; a test
// can make such an allocation fail. Memory still comes from the ordinary
// operator new, so a sanitizer's pairing of new and delete stays intact.
void* operator new(size_t size, const std::nothrow_t&) noexcept {
  if (qzhost::ShouldFailAllocation()) return nullptr;
  try {
    return ::operator new(size);
  } catch (...) {
    return nullptr;
  }
}

void* operator new[](size_t size, const std::nothrow_t&) noexcept {
  if (qzhost::ShouldFailAllocation()) return nullptr;
  try {
    return ::operator new[](size);
  } catch (...) {
    return nullptr;
  }
}
