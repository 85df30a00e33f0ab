// Shared fixture: a fresh emulated machine per test, with the trace captured.
#include "tests/support/machine_test.h"

#include <fstream>
#include <sstream>

#include "platform/host/machine/machine.h"
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

void PlaceFile(const std::string& windowsPath) {
  std::string path = qzhost::MapWindowsPath(windowsPath);
  ASSERT_FALSE(path.empty()) << windowsPath;
  std::ofstream(path, std::ios::binary).flush();
}

void PlaceExamplePackage() {
  const bool bNT = qzhost::MachineIsNT();
  const std::string sys = bNT ? "C:\\WINDOWS\\system32\\" : "C:\\WINDOWS\\SYSTEM\\";
  const std::string drivers = bNT ? sys + "spool\\DRIVERS\\WIN40\\" : sys;
  for (const char* dll : {"hrtlmon.dll", "hrtpmon.dll"}) PlaceFile(sys + dll);
  for (const char* file :
       {"HRT2210.DRV", "HRT2210.DAT", "HRT2210N.DAT", "HRT2210U.DLL", "HRT2210.HLP"})
    PlaceFile(drivers + file);
  if (bNT) PlaceFile(sys + "spool\\PRTPROCS\\W32X86\\hrtproc.dll");
}

}  // namespace qztest
