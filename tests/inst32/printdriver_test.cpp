// The print driver of command 2: INF keys, the DRIVER_INFO_3 record, installed test.
#include "inst32/printdriver.h"

#include <memory>
#include <string>

#include "inst32/context.h"
#include "inst32/printer.h"
#include "tests/support/printer_object_test.h"

namespace {

const char kDriverKeys[] =
    "Driver=HRT2210.DRV\r\nDataFile=HRT2210.DAT\r\nConfigFile=HRT2210U.DLL\r\n"
    "HelpFile=HRT2210.HLP\r\n";

class PrintDriverTest : public PrinterObjectTest {
 protected:
  std::string StringsSection() const override {
    return "[Strings]\r\nDEV=Halden Translated\r\nHLM=Halden LM\r\n";
  }
  static const DRIVER_INFO_3A* Info3(const COrlPrintDriver& drv) {
    return reinterpret_cast<const DRIVER_INFO_3A*>(drv.GetDriverInfo());
  }
};

using PrintDriverNTTest = OnWindowsNT<PrintDriverTest>;

DRIVER_INFO_3A Entry(DWORD version, const char* file) {
  DRIVER_INFO_3A info = {};
  info.cVersion = version;
  info.pName = const_cast<LPSTR>("Halden");
  info.pDriverPath = const_cast<LPSTR>(file);
  info.pDataFile = const_cast<LPSTR>("D.DAT");
  info.pConfigFile = const_cast<LPSTR>("C.DLL");
  info.pHelpFile = const_cast<LPSTR>("H.HLP");
  return info;
}

TEST(PrintDriverNullTest, WithoutAPrinterItIsEmptyAndInvalid) {
  COrlPrintDriver drv(static_cast<COrlPrinter*>(nullptr));
  EXPECT_EQ(drv.GetName(), nullptr);
  EXPECT_EQ(drv.GetFile(), nullptr);
  ASSERT_NE(drv.GetDefaultDataType(), nullptr);
  EXPECT_STREQ(drv.GetDefaultDataType(), "");
  EXPECT_FALSE(drv.IsValid());
  EXPECT_FALSE(drv.Install());
}

TEST(PrintDriverEntryTest, DifferentOnlyInVersionAndTheFourFiles) {
  DRIVER_INFO_3A base = Entry(0x400, "A.DRV");
  COrlPrintDriver mine(&base);
  DRIVER_INFO_3A same = base;
  same.pName = const_cast<LPSTR>("Other name");
  same.pDependentFiles = const_cast<LPSTR>("X.DLL\0");
  same.pMonitorName = const_cast<LPSTR>("LM");
  same.pDefaultDataType = const_cast<LPSTR>("RAW");
  EXPECT_FALSE(COrlPrintDriver(&same).IsDifferent(&mine));
  DRIVER_INFO_3A version = Entry(0x401, "A.DRV");
  EXPECT_TRUE(COrlPrintDriver(&version).IsDifferent(&mine));
  DRIVER_INFO_3A caseOnly = Entry(0x400, "a.drv");
  EXPECT_TRUE(COrlPrintDriver(&caseOnly).IsDifferent(&mine));
  DRIVER_INFO_3A help = base;
  help.pHelpFile = nullptr;
  EXPECT_TRUE(COrlPrintDriver(&help).IsDifferent(&mine));
  DRIVER_INFO_2A level2 = {0x400,
                           const_cast<LPSTR>("Halden"),
                           nullptr,
                           const_cast<LPSTR>("A.DRV"),
                           const_cast<LPSTR>("D.DAT"),
                           const_cast<LPSTR>("C.DLL")};
  EXPECT_TRUE(COrlPrintDriver(&level2).IsDifferent(&mine));  // no help file at level 2
}

TEST(PrintDriverEntryTest, ALongDataTypeIsCutTo31) {
  DRIVER_INFO_3A info = Entry(0x400, "A.DRV");
  info.pDefaultDataType = const_cast<LPSTR>("0123456789012345678901234567890123456789");
  COrlPrintDriver drv(&info);
  EXPECT_STREQ(drv.GetDefaultDataType(), "0123456789012345678901234567890");
}

TEST_F(PrintDriverTest, ReadsKeysWithTheirCutsAndFillsTheRecord) {
  std::string device(70, 'N');
  COrlPrintDriver drv(Printer("Device=" + device +
                              "\r\nDriver=ABCDEFGHIJKLMNOP.DRV\r\nDataFile=0123456789ABCDEFG\r\n"
                              "ConfigFile=C.DLL\r\nHelpFile=H.HLP\r\n"
                              "LanguageMonitor=%HLM%,lm.dll\r\n"));
  ASSERT_TRUE(drv.IsValid());
  EXPECT_EQ(std::string(*drv.GetName()), device.substr(0, 63));
  EXPECT_STREQ(*drv.GetFile(), "ABCDEFGHIJKLMNO");
  const DRIVER_INFO_3A* info = Info3(drv);
  EXPECT_EQ(drv.GetLevel(), 3u);
  EXPECT_EQ(info->cVersion, 0x400u);
  EXPECT_STREQ(info->pDataFile, "0123456789ABCDE");
  EXPECT_STREQ(info->pEnvironment, "Windows 4.0");
  EXPECT_EQ(info->pDependentFiles, nullptr);
  EXPECT_STREQ(info->pMonitorName, "Halden LM");
  EXPECT_STREQ(info->pDefaultDataType, "EMF");
  std::string trace = Trace();
  EXPECT_NE(trace.find("  pDrvInfo->pMonitorName == Halden LM\n"
                       "  pDrvInfo->pDefaultDataType == EMF\n"
                       "  pDrvInfo->pEnvironment == Windows 4.0\n"),
            std::string::npos);
}

TEST_F(PrintDriverTest, VersionIsReadAsA32BitHexNumber) {
  const std::pair<const char*, DWORD> cases[] = {
      {"0", 0},          {"0x3", 3}, {"400", 0x400}, {"zz", 0}, {"FFFFFFFFFF", 0xFFFFFFFF},
      {"-1", 0xFFFFFFFF}};
  for (const auto& c : cases) {
    COrlPrintDriver drv(
        Printer(std::string("Device=D\r\n") + kDriverKeys + "DrvVersion=" + c.first + "\r\n"));
    EXPECT_EQ(Info3(drv)->cVersion, c.second) << c.first;
  }
}

TEST_F(PrintDriverTest, DevicePlaceholderNamesTheDriverNotThePrinter) {
  COrlPrinter* printer = Printer(std::string("device=%DEV%\r\n") + kDriverKeys);
  COrlPrintDriver drv(printer);
  EXPECT_STREQ(*drv.GetName(), "Halden Translated");
  EXPECT_STREQ(*printer->GetPrinterName(), "%DEV%");
  COrlPrintDriver missing(Printer(std::string("device=%NOPE%\r\n") + kDriverKeys));
  EXPECT_EQ(missing.GetName(), nullptr);
  EXPECT_FALSE(missing.IsValid());
  EXPECT_EQ(Info3(missing)->pMonitorName, nullptr);  // no language monitor named
}

TEST_F(PrintDriverTest, NoRecordMeansInvalid) {
  COrlPrinter* printer = Printer(std::string("Device=D\r\n") + kDriverKeys);
  qzhost::FailAllocation();
  COrlPrintDriver drv(printer);
  EXPECT_FALSE(drv.IsValid());
  EXPECT_EQ(Trace(),
            "COrlPrintDriver::COrlPrintDriver() for D\n"
            "orlTranslateStringPlaceholder(D, " +
                std::string(param_).substr(0, param_.Find(' ')) +
                ")\n"
                "COrlPrintDriver::GetInfoFromINF() FAILED memory Allocation!\n"
                "FAIL: GetInfoFromINF() or GetServer() returned false");
}

TEST_F(PrintDriverTest, InstallsOnceThenFindsTheSameDriver) {
  COrlPrinter* printer = Printer(std::string("Device=Halden\r\n") + kDriverKeys);
  {
    COrlPrintDriver drv(printer);
    Trace();
    EXPECT_TRUE(drv.Install());
    EXPECT_EQ(Trace(), "AddPrinterDriver() succeed!\n");
  }
  HKEY hKey = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                          "System\\CurrentControlSet\\Control\\Print\\Environments\\Windows 4.0\\"
                          "Drivers\\Halden",
                          0, KEY_READ, &hKey),
            ERROR_SUCCESS);
  RegCloseKey(hKey);

  // The spooler lists the files with their full paths, which differ from the
  // INF's names: a second run adds the driver again, which replaces it.
  COrlPrintDriver again(printer);
  Trace();
  EXPECT_TRUE(again.Install());
  EXPECT_EQ(Trace(), "~COrlPrintDriver()\nAddPrinterDriver() succeed!\n");

  // Another version is added again, as for a new driver.
  COrlPrintDriver newer(
      Printer(std::string("Device=Halden\r\nDrvVersion=0x401\r\n") + kDriverKeys));
  qzhost::ClearFailures();
  EXPECT_TRUE(newer.Install());
  EXPECT_NE(Trace().find("AddPrinterDriver() succeed!\n"), std::string::npos);
}

TEST_F(PrintDriverTest, SpoolerAnswers) {
  COrlPrintDriver drv(Printer(std::string("Device=Halden\r\n") + kDriverKeys));
  qzhost::FailCall("AddPrinterDriverA", ERROR_PRINTER_DRIVER_ALREADY_INSTALLED);
  EXPECT_TRUE(drv.Install());
  Trace();
  qzhost::FailCall("EnumPrinterDriversA", ERROR_ACCESS_DENIED, 1, 1);
  qzhost::FailCall("AddPrinterDriverA", ERROR_ACCESS_DENIED);
  EXPECT_FALSE(drv.Install());
  EXPECT_EQ(Trace(),
            "AddPrinterDriver() failed: name=Halden; drv=HRT2210.DRV; err=5<0x00000005>\n");
}

TEST_F(PrintDriverNTTest, NTGetsAWindows40DriverToo) {
  COrlPrintDriver drv(Printer(std::string("Device=Halden\r\n") + kDriverKeys));
  EXPECT_STREQ(Info3(drv)->pEnvironment, "Windows 4.0");
  EXPECT_TRUE(drv.Install());
  HKEY hKey = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                          "System\\CurrentControlSet\\Control\\Print\\Environments\\Windows 4.0\\"
                          "Drivers\\Version-0\\Halden",
                          0, KEY_READ, &hKey),
            ERROR_SUCCESS);
  RegCloseKey(hKey);
}

}  // namespace
