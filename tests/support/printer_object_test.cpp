// Shared fixture for the printer support objects.
#include "tests/support/printer_object_test.h"

#include "inst32/context.h"

void PrinterObjectTest::SetUp() {
  MachineTest::SetUp();
  qztest::PlaceExamplePackage();
  InitInstance(reinterpret_cast<HINSTANCE>(1));
}

void PrinterObjectTest::TearDown() {
  printer_.reset();
  DeInitInstance();
  MachineTest::TearDown();
}

COrlPrinter* PrinterObjectTest::Printer(const std::string& lines, const std::string& port) {
  std::string inf = WriteRootFile("objects.inf", StringsSection() + "[P]\r\n" + lines);
  param_ = (inf + " P " + port).c_str();
  printer_.reset(new COrlPrinter(&param_));
  Trace();
  return printer_.get();
}
