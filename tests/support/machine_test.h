// Shared fixture: a fresh emulated machine per test, with the trace captured.
#ifndef QZINST32_TESTS_SUPPORT_MACHINE_TEST_H_
#define QZINST32_TESTS_SUPPORT_MACHINE_TEST_H_

#include <gtest/gtest.h>

#include <string>

#include "platform/host/machine/testctl.h"
#include "platform/win32.h"

class MachineTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Tests that need another machine override this.
  virtual qzhost::TestMachineOptions Options() const { return {}; }

  // Writes a file into the machine root and returns its host path.
  std::string WriteRootFile(const std::string& name, const std::string& text) const;
  std::string ReadRootFile(const std::string& name) const;
  // Runs one command line through WinMain, as the program's entry does.
  int Run(const std::string& commandText);
  // The trace written since the last call.
  std::string Trace() { return qzhost::TakeTrace(); }

  std::string root_;
};

// A fixture whose machine has code page 932 (a Japanese Windows).
template <typename Fixture>
class OnCodePage932 : public Fixture {
 protected:
  qzhost::TestMachineOptions Options() const override {
    qzhost::TestMachineOptions options = Fixture::Options();
    options.codePage = 932;
    return options;
  }
};

namespace qztest {

// The example printer INF of the package, as its text.
std::string ExampleInf();
// True when the key opens below HKEY_LOCAL_MACHINE.
bool KeyExists(const std::string& path);

// Puts an empty file at a Windows path of the current machine (C:\...).
void PlaceFile(const std::string& windowsPath);
// Puts the example package's files where its setup copies them on the
// current machine: the monitors into the system directory, the "Windows 4.0"
// driver's files into its printer-driver directory (the system directory on
// Windows 98, spool\DRIVERS\WIN40 on NT), and on NT the print processor into
// spool\PRTPROCS\W32X86.
void PlaceExamplePackage();

}  // namespace qztest

#endif  // QZINST32_TESTS_SUPPORT_MACHINE_TEST_H_
