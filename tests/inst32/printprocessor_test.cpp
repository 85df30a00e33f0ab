// The print processor of command 2: WinPrint by default, others added for NT x86.
#include "inst32/printprocessor.h"

#include <memory>

#include "inst32/context.h"
#include "inst32/printer.h"
#include "tests/support/printer_object_test.h"

namespace {

class PrintProcessorTest : public PrinterObjectTest {
 protected:
  std::string StringsSection() const override { return "[Strings]\r\nHPP=HaldenProc\r\n"; }
};

using PrintProcessorNTTest = OnWindowsNT<PrintProcessorTest>;

TEST(PrintProcessorNullTest, WithoutAPrinterItIsEmptyAndInvalid) {
  COrlPrintProcessor pp(nullptr);
  EXPECT_EQ(pp.GetName(), nullptr);
  EXPECT_EQ(pp.GetFile(), nullptr);
  EXPECT_EQ(pp.GetDefaultParams(), nullptr);
  EXPECT_FALSE(pp.IsValid());
  EXPECT_FALSE(pp.Install());
}

TEST_F(PrintProcessorTest, NoKeyOrAnEmptyValueMeansWinPrintWithNothingToAdd) {
  for (const char* lines : {"device=X\r\n", "PrintProcessor=\r\n"}) {
    COrlPrintProcessor pp(Printer(lines));
    ASSERT_NE(pp.GetName(), nullptr) << lines;
    EXPECT_STREQ(*pp.GetName(), "WinPrint");
    EXPECT_EQ(pp.GetFile(), nullptr);
    EXPECT_EQ(pp.GetDefaultParams(), nullptr);
    qzhost::FailCall("AddPrintProcessorA", ERROR_ACCESS_DENIED);  // must not be reached
    EXPECT_TRUE(pp.Install());
    EXPECT_EQ(Trace().find("AddPrintProcessor()"), std::string::npos);
    qzhost::ClearFailures();
  }
}

TEST_F(PrintProcessorTest, NamedWinPrintDropsItsFileAndIgnoresParameters) {
  COrlPrintProcessor pp(
      Printer("PrintProcessor=WinPrint,winprint.dll\r\nPrintProcessorParam=X\r\n"));
  EXPECT_NE(
      Trace().find("COrlPrintProcessor.name=WinPrint, COrlPrintProcessor.file=winprint.dll\n"),
      std::string::npos);
  EXPECT_EQ(pp.GetFile(), nullptr);
  EXPECT_EQ(pp.GetDefaultParams(), nullptr);
  EXPECT_TRUE(pp.Install());
}

TEST_F(PrintProcessorTest, OtherCaseOfWinPrintIsAProcessorOfItsOwn) {
  COrlPrintProcessor pp(Printer("PrintProcessor=winprint,x.dll\r\nPrintProcessorParam=P=1\r\n"));
  ASSERT_NE(pp.GetDefaultParams(), nullptr);
  EXPECT_STREQ(*pp.GetDefaultParams(), "P=1");
  EXPECT_NE(Trace().find("COrlPrintProcessor::m_csDefaultParams==\"P=1\"\n"), std::string::npos);
  qzhost::FailCall("AddPrintProcessorA", ERROR_ACCESS_DENIED);
  EXPECT_FALSE(pp.Install());
  EXPECT_NE(Trace().find("AddPrintProcessor() Failed! ERROR=5 <0x00000005>\n"), std::string::npos);
}

TEST_F(PrintProcessorTest, ValuesWithoutNameOrFileMakeItInvalid) {
  for (const char* lines : {"PrintProcessor=hproc.dll\r\n", "PrintProcessor=,hproc.dll\r\n",
                            "PrintProcessor=%NOPE%,hproc.dll\r\n"}) {
    COrlPrintProcessor pp(Printer(lines));
    EXPECT_FALSE(pp.IsValid()) << lines;
    EXPECT_FALSE(pp.Install()) << lines;
  }
}

TEST_F(PrintProcessorTest, ParametersAreCutAt31AndKeptAsWritten) {
  COrlPrintProcessor pp(
      Printer("PrintProcessor=%HPP%,hproc.dll\r\n"
              "PrintProcessorParam=A=1;B=2, %C% 456789012345678901234567890\r\n"));
  ASSERT_NE(pp.GetDefaultParams(), nullptr);
  EXPECT_STREQ(*pp.GetDefaultParams(), "A=1;B=2, %C% 456789012345678901");
  EXPECT_STREQ(*pp.GetName(), "HaldenProc");
}

TEST_F(PrintProcessorTest, APresentProcessorCountsAsInstalled) {
  COrlPrintProcessor pp(Printer("PrintProcessor=%HPP%,hproc.dll\r\n"));
  Trace();
  qzhost::FailCall("AddPrintProcessorA", ERROR_PRINT_PROCESSOR_ALREADY_INSTALLED);
  EXPECT_TRUE(pp.Install());  // present already counts as installed
  EXPECT_EQ(Trace(), "AddPrintProcessor() Succeed!\n");
}

// Windows 9x knows no "Windows NT x86" environment: a processor of the INF's
// own is refused there, and the printer's installation stops with 1045.
TEST_F(PrintProcessorTest, Win9xRefusesTheNTEnvironment) {
  COrlPrintProcessor pp(Printer("PrintProcessor=%HPP%,hproc.dll\r\n"));
  Trace();
  EXPECT_FALSE(pp.Install());
  EXPECT_EQ(Trace(), "AddPrintProcessor() Failed! ERROR=1805 <0x0000070D>\n");
}

TEST_F(PrintProcessorNTTest, InstallsOnceThenTheSpoolersAnswerCountsAsDone) {
  qztest::PlaceFile("C:\\WINDOWS\\system32\\spool\\PRTPROCS\\W32X86\\hproc.dll");
  COrlPrintProcessor pp(Printer("PrintProcessor=%HPP%,hproc.dll\r\n"));
  Trace();
  EXPECT_TRUE(pp.Install());
  EXPECT_EQ(Trace(),
            "COrlPrintProcessor::GetServerName() NOT implemented\n"
            "AddPrintProcessor() Succeed!\n");
  HKEY hKey = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                          "System\\CurrentControlSet\\Control\\Print\\Environments\\"
                          "Windows NT x86\\Print Processors\\HaldenProc",
                          0, KEY_READ, &hKey),
            ERROR_SUCCESS);
  char acDriver[32] = "";
  DWORD cb = sizeof acDriver;
  EXPECT_EQ(
      RegQueryValueExA(hKey, "Driver", nullptr, nullptr, reinterpret_cast<LPBYTE>(acDriver), &cb),
      ERROR_SUCCESS);
  EXPECT_STREQ(acDriver, "hproc.dll");
  RegCloseKey(hKey);

  COrlPrintProcessor again(printer_.get());
  EXPECT_TRUE(again.Install());  // 3005 from the spooler
  EXPECT_NE(Trace().find("AddPrintProcessor() Succeed!\n"), std::string::npos);
}

TEST_F(PrintProcessorNTTest, InvalidObjectStillTracesTheServerNameFirst) {
  COrlPrintProcessor pp(Printer("PrintProcessor=hproc.dll\r\n"));
  Trace();
  EXPECT_FALSE(pp.Install());
  EXPECT_EQ(Trace(), "COrlPrintProcessor::GetServerName() NOT implemented\n");
  EXPECT_EQ(pp.GetServerName(), nullptr);
}

}  // namespace
