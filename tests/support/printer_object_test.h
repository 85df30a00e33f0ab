// Shared fixture for the printer support objects: an install context and a
// printer built from a one-section INF.
#ifndef QZINST32_TESTS_SUPPORT_PRINTER_OBJECT_TEST_H_
#define QZINST32_TESTS_SUPPORT_PRINTER_OBJECT_TEST_H_

#include <memory>
#include <string>

#include "inst32/printer.h"
#include "platform/host/machine/machine.h"
#include "tests/support/machine_test.h"

class PrinterObjectTest : public MachineTest {
 protected:
  void SetUp() override;
  void TearDown() override;
  // The INF's [Strings] section, header included.
  virtual std::string StringsSection() const { return "[Strings]\r\n"; }
  // A printer on `port` whose section [P] holds the given lines; the trace is cleared.
  COrlPrinter* Printer(const std::string& lines, const std::string& port = "LPT1:");

  COrlString param_;
  std::unique_ptr<COrlPrinter> printer_;
};

// The same fixture on a Windows NT machine, with the example package's files
// where its setup copies them (where NT loads and copies them from).
template <typename Fixture>
class OnWindowsNT : public Fixture {
 protected:
  void SetUp() override {
    Fixture::SetUp();
    qztest::PlaceExamplePackage();
  }
  qzhost::TestMachineOptions Options() const override {
    qzhost::TestMachineOptions options = Fixture::Options();
    options.os = qzhost::Personality::kWinNT;
    return options;
  }
};

#endif  // QZINST32_TESTS_SUPPORT_PRINTER_OBJECT_TEST_H_
