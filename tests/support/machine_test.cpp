// Shared fixture: a fresh emulated machine per test, with the trace captured.
#include "tests/support/machine_test.h"

#include <fstream>
#include <sstream>

#include "platform/host/process/kernel.h"

void MachineTest::SetUp() {
  root_ = qzhost::UseTestMachine(Options());
  qzhost::CaptureTrace(true);
}

void MachineTest::TearDown() {
  qzhost::CaptureTrace(false);
  qzhost::RemoveTestMachine();
}

std::string MachineTest::WriteRootFile(const std::string& name, const std::string& text) const {
  std::string path = root_ + "/" + name;
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

std::string MachineTest::ReadRootFile(const std::string& name) const {
  std::ifstream in(root_ + "/" + name, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

int MachineTest::Run(const std::string& commandText) {
  qzhost::SetCommandText(commandText);
  return WinMain(reinterpret_cast<HINSTANCE>(1), nullptr, nullptr, SW_SHOWNORMAL);
}

namespace qztest {

std::string ExampleInf() {
  std::string source = __FILE__;
  std::ifstream in(source.substr(0, source.rfind("tests/")) + "examples/rt2210.inf",
                   std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

bool KeyExists(const std::string& path) {
  HKEY hKey = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(hKey);
  return true;
}

}  // namespace qztest
