// Command 2 end to end: the parameter, the printer record, result codes, traces.
#include "inst32/printer.h"

#include <fstream>
#include <sstream>
#include <string>

#include "inst32/context.h"
#include "tests/support/printer_object_test.h"

using qztest::ExampleInf;
using qztest::KeyExists;

namespace {

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

std::string StringValue(const std::string& path, const char* name) {
  HKEY hKey = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS) {
    return "<no key>";
  }
  char acValue[260] = "";
  DWORD cb = sizeof acValue;
  LONG lResult =
      RegQueryValueExA(hKey, name, nullptr, nullptr, reinterpret_cast<LPBYTE>(acValue), &cb);
  RegCloseKey(hKey);
  return lResult == ERROR_SUCCESS ? acValue : "<no value>";
}

const char kPrint[] = "System\\CurrentControlSet\\Control\\Print\\";

class PrinterTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    qztest::PlaceExamplePackage();
  }
  qzhost::TestMachineOptions Options() const override {
    qzhost::TestMachineOptions options;
    options.moduleFileName = "C:\\SETUP\\QZINST32.EXE";
    return options;
  }
  int Install(const std::string& infText, const std::string& section,
              const std::string& port = "LPT1:") {
    inf_ = WriteRootFile("p.inf", infText);
    return Run("2 " + inf_ + " " + section + " " + port);
  }
  std::string inf_;
};

using PrinterNTTest = OnWindowsNT<PrinterTest>;

// --- the parameter ----------------------------------------------------------

struct Split {
  const char* param;
  const char* inf;
  const char* section;
  const char* port;
  int status;
};

TEST_F(PrinterTest, ParameterSplitsAtSingleBlanks) {
  const Split cases[] = {
      {"a.inf Sect LPT1:", "a.inf", "Sect", "LPT1:", 0},
      {"a.inf Sect My Port Name", "a.inf", "Sect", "My Port Name", 0},
      {"a.inf Sect  LPT1:", "a.inf", "Sect", " LPT1:", 0},
      {"\"C:\\My Files\\a.inf\" Sect LPT1:", "C:\\My Files\\a.inf", "Sect", "LPT1:", 0},
      {"a.inf", "", "", "", 1026},
      {"a.inf Sect", "a.inf", "", "", 1026},
      {"a.inf  Sect LPT1:", "a.inf", "", "Sect LPT1:", 1026},
      {"\"", "", "", "", 1026},
      {"\"a b.inf Sect LPT1:", "", "", "", 1026},
      {"\"C:\\a\" b.inf\" Sect LPT1:", "C:\\a\" b.inf", "Sect", "LPT1:", 0},
      {"\"a.inf\"Sect LPT1:", "", "", "", 1026},
      {"\"\" Sect LPT1:", "", "Sect", "LPT1:", 1026},
  };
  for (const Split& c : cases) {
    Trace();
    COrlString param(c.param);
    COrlPrinter printer(&param);
    EXPECT_EQ(printer.GetStatus(), c.status) << c.param;
    EXPECT_STREQ(*printer.GetInfFile(), c.inf) << c.param;
    EXPECT_STREQ(*printer.GetPrinterSection(), c.section) << c.param;
    if (c.status == 0) {
      ASSERT_NE(printer.GetPortName(), nullptr);
      EXPECT_STREQ(*printer.GetPortName(), c.port) << c.param;
    } else {
      EXPECT_EQ(Trace().find("COrlPortMonitor() for"), std::string::npos) << c.param;
    }
  }
}

TEST_F(PrinterTest, NullParameterDoesNothing) {
  {
    COrlPrinter printer(nullptr);
    EXPECT_EQ(printer.GetStatus(), 0);
    EXPECT_FALSE(printer.Install());
    EXPECT_EQ(printer.GetPrinterName(), nullptr);
    EXPECT_FALSE(printer.IsInstalled());
  }
  EXPECT_EQ(Trace(),
            "COrlPrinter::IsInstalled() not implemented\n"
            "~COrlPrinter() complete\n");
}

TEST_F(PrinterTest, MissingFieldsGive1026AndInstallNothing) {
  EXPECT_EQ(Run("2"), 1026);
  EXPECT_EQ(Run("2 a.inf Sect"), 1026);
  std::string trace = Trace();
  EXPECT_NE(trace.find("COrlPrinter(a.inf Sect)\n~COrlPrinter() complete\n"), std::string::npos);
  EXPECT_EQ(trace.find("INF file="), std::string::npos);
}

// --- the printer record -----------------------------------------------------

TEST_F(PrinterTest, AttributesFollowMakeDefault) {
  const std::pair<const char*, DWORD> cases[] = {
      {"", 0x4},
      {"MakeDefault=0\r\nAttributes=240\r\n", 0},
      {"MakeDefault=1\r\nAttributes=240\r\n", 0x244},
      {"MakeDefault=1\r\nAttributes=zz\r\n", 0x4},
      {"Attributes=0x840\r\n", 0x844},
      {"Attributes=123456789ABCDEF0\r\n", 0xFFFFFFFF},  // a 32-bit strtoul saturates
      {"MakeDefault=7\r\nAttributes=1\r\n", 0x5},
  };
  for (const auto& c : cases) {
    inf_ = WriteRootFile("a.inf", std::string("[P]\r\ndevice=Prn\r\n") + c.first);
    COrlString param((inf_ + " P LPT1:").c_str());
    COrlPrinter printer(&param);
    EXPECT_EQ(printer.GetAttributes(), c.second) << c.first;
  }
  EXPECT_NE(Trace().find("Prn printer dwAttrib == <0x00000844>\n"), std::string::npos);
}

TEST_F(PrinterTest, PrinterNameIsCutAt31AndNotTranslated) {
  std::string device = "%" + std::string(40, 'D') + "%";
  inf_ = WriteRootFile("a.inf", "[P]\r\ndevice=" + device + "\r\n");
  COrlString param((inf_ + " P LPT1:").c_str());
  COrlPrinter printer(&param);
  ASSERT_NE(printer.GetPrinterName(), nullptr);
  EXPECT_EQ(std::string(*printer.GetPrinterName()), device.substr(0, 31));
}

// --- the whole road -----------------------------------------------------------

const char kFreshRoadTrace[] =
    "lpstrCmdLine=2 @INF@ RT2210 LPT1:\n"
    "IsNT == 0\n"
    "acWinDir=C:\\WINDOWS\\\n"
    "acSysDir=C:\\WINDOWS\\SYSTEM\\\n"
    "acSupDir=C:\\SETUP\\\n"
    "ProcessCommand(\"2 @INF@ RT2210 LPT1:\")\n"
    "Cmd=`2' Param=`@INF@ RT2210 LPT1:'\n"
    "COrlPrinter(@INF@ RT2210 LPT1:)\n"
    "INF file=@INF@\n"
    "PrnSect=RT2210 Port=LPT1:\n"
    "COrlPortMonitor() for Halden RT-2210 Series\n"
    "@INF@:[RT2210]PortMonitor=%HPM%,hrtpmon.dll\n"
    "orlTranslateStringPlaceholder(%HPM%, @INF@)\n"
    "HPM == Halden Port Monitor\n"
    "COrlPortMonitor.name=Halden Port Monitor, COrlPortMonitor.file=hrtpmon.dll\n"
    "COrlLangMonitor() for Halden RT-2210 Series\n"
    "@INF@:[RT2210]LanguageMonitor=%HLM%,hrtlmon.dll\n"
    "orlTranslateStringPlaceholder(%HLM%, @INF@)\n"
    "HLM == Halden Language Monitor\n"
    "COrlLangMonitor.name=Halden Language Monitor, COrlLangMonitor.file=hrtlmon.dll\n"
    "COrlPrintProcessor() for Halden RT-2210 Series\n"
    "@INF@:[RT2210]PrintProcessor=WinPrint,winprint.dll\n"
    "COrlPrintProcessor.name=WinPrint, COrlPrintProcessor.file=winprint.dll\n"
    "COrlPrintDriver::COrlPrintDriver() for Halden RT-2210 Series\n"
    "orlTranslateStringPlaceholder(Halden RT-2210 Series, @INF@)\n"
    "  pDrvInfo->cVersion == 0x0400\n"
    "  pDrvInfo->pName == Halden RT-2210 Series\n"
    "  pDrvInfo->pDriverPath == HRT2210.DRV\n"
    "  pDrvInfo->pDataFile == HRT2210.DAT\n"
    "  pDrvInfo->pConfigFile == HRT2210U.DLL\n"
    "  pDrvInfo->pHelpFile == HRT2210.HLP\n"
    "  pDrvInfo->pDependentFiles == (null)\n"
    "  pDrvInfo->pMonitorName == Halden Language Monitor\n"
    "  pDrvInfo->pDefaultDataType == RAW\n"
    "  pDrvInfo->pEnvironment == Windows 4.0\n"
    "COrlPrintDriver(): name==Halden RT-2210 Series; File==HRT2210.DRV\n"
    "COrlPrinter() constructor complete\n"
    "Halden Port Monitor ON  Installed == 0\n"
    "AddMonitor() Succeed!\n"
    "Halden Language Monitor Installed == 0\n"
    "AddMonitor() Succeed!\n"
    "AddPrinterDriver() succeed!\n"
    "WARNING: COrlPrinter::LockDownObjects() not implemented!\n"
    "Halden RT-2210 Series printer dwAttrib == <0x00000844>\n"
    " [DbgDumpPrnInfo2() not implemented]\n"
    "AddPrinter() Succeed !\n"
    "COrlPrinter::Configure() does nothing\n"
    "WARNING: COrlPrinter::UnlockObjects() not implemented!\n"
    "~COrlPrintDriver()\n"
    "~COrlPortMonitor()\n"
    "~COrlLangMonitor()\n"
    "~COrlPrintProcessor()\n"
    "~COrlPrinter() complete\n"
    "DeInitInstance()\n"
    "WinMain()=0x0000\n";

TEST_F(PrinterTest, ExampleInstallsOnAFreshMachine) {
  ASSERT_EQ(Install(ExampleInf(), "RT2210"), 0);
  EXPECT_EQ(Trace(), ReplaceAll(kFreshRoadTrace, "@INF@", inf_));

  std::string printer = std::string(kPrint) + "Printers\\Halden RT-2210 Series";
  EXPECT_EQ(StringValue(printer, "Port"), "LPT1:");
  EXPECT_EQ(StringValue(printer, "Printer Driver"), "Halden RT-2210 Series");
  EXPECT_EQ(StringValue(printer, "Print Processor"), "WinPrint");
  EXPECT_EQ(StringValue(printer, "Datatype"), "RAW");
  EXPECT_EQ(StringValue(std::string(kPrint) + "Monitors\\Halden Port Monitor", "Driver"),
            "hrtpmon.dll");
  EXPECT_EQ(StringValue(std::string(kPrint) + "Monitors\\Halden Language Monitor", "Driver"),
            "hrtlmon.dll");
  EXPECT_TRUE(
      KeyExists(std::string(kPrint) + "Environments\\Windows 4.0\\Drivers\\Halden RT-2210 Series"));
}

TEST_F(PrinterTest, SecondRunFindsEverythingInPlace) {
  ASSERT_EQ(Install(ExampleInf(), "RT2210"), 0);
  Trace();
  EXPECT_EQ(Run("2 " + inf_ + " RT2210 LPT1:"), 0);
  std::string trace = Trace();
  EXPECT_NE(trace.find("Halden Port Monitor ON  Installed == 0\n"
                       "AddMonitor() Succeed!\n"
                       "Halden Language Monitor Installed == 1\n"
                       "~COrlPrintDriver()\n"
                       "AddPrinterDriver() succeed!\n"
                       "WARNING: COrlPrinter::LockDownObjects() not implemented!\n"),
            std::string::npos);
  EXPECT_EQ(trace.find("Failed"), std::string::npos);
  EXPECT_EQ(trace.find("failed"), std::string::npos);
  EXPECT_EQ(trace.find("AddPrinter() Succeed"), std::string::npos);
}

// NT adds a printer only for a driver of its own environment; the package's
// driver goes to "Windows 4.0", so a fresh NT machine refuses the printer.
TEST_F(PrinterNTTest, NetworkModelNeedsAnNTDriverOfTheSameName) {
  EXPECT_EQ(Install(ExampleInf(), "RT2210N"), 1046);
  std::string trace = Trace();
  EXPECT_NE(trace.find("IsNT == 1\n"), std::string::npos);
  EXPECT_NE(trace.find("COrlPrintProcessor::m_csDefaultParams==\"CUT=PARTIAL;FEED=3\"\n"),
            std::string::npos);
  EXPECT_NE(trace.find("COrlPrinter() constructor complete\n"
                       "COrlPrintProcessor::GetServerName() NOT implemented\n"
                       "AddPrintProcessor() Succeed!\n"
                       "Halden Port Monitor ON  Installed == 0\n"
                       "AddMonitor() Succeed!\n"
                       "Halden Language Monitor Installed == 0\n"
                       "AddMonitor() Succeed!\n"
                       "AddPrinterDriver() succeed!\n"
                       "WARNING: COrlPrinter::LockDownObjects() not implemented!\n"
                       "COrlPrinter::GetServerName() NOT implemented\n"
                       "Halden RT-2210N Series printer dwAttrib == <0x00000000>\n"
                       " [DbgDumpPrnInfo2() not implemented]\n"
                       "COrlPrintProcessor::GetServerName() NOT implemented\n"
                       "AddPrinter() failed: ERROR 1797 <0x00000705>\n"
                       "WARNING: COrlPrinter::UnlockObjects() not implemented!\n"),
            std::string::npos)
      << trace;
  EXPECT_EQ(StringValue(
                std::string(kPrint) + "Environments\\Windows NT x86\\Print Processors\\HaldenProc",
                "Driver"),
            "hrtproc.dll");
  EXPECT_TRUE(KeyExists(std::string(kPrint) +
                        "Environments\\Windows 4.0\\Drivers\\Version-0\\Halden RT-2210N Series"));

  // With the NT driver in place the printer is added; a third run finds it.
  DRIVER_INFO_3A info = {};
  info.cVersion = 3;
  info.pName = const_cast<LPSTR>("Halden RT-2210N Series");
  info.pEnvironment = const_cast<LPSTR>("Windows NT x86");
  info.pDriverPath = const_cast<LPSTR>("HRT2210N.DLL");
  info.pDataFile = const_cast<LPSTR>("HRT2210N.GPD");
  info.pConfigFile = const_cast<LPSTR>("HRT2210UI.DLL");
  for (const char* file : {"HRT2210N.DLL", "HRT2210N.GPD", "HRT2210UI.DLL"})
    qztest::PlaceFile(std::string("C:\\WINDOWS\\system32\\spool\\DRIVERS\\W32X86\\") + file);
  ASSERT_TRUE(AddPrinterDriverA(nullptr, 3, reinterpret_cast<LPBYTE>(&info)));
  for (int run = 0; run < 2; ++run) {
    EXPECT_EQ(Run("2 " + inf_ + " RT2210N LPT1:"), 0) << run;
    trace = Trace();
    // NT leaves a monitor that a driver names out of its list and answers 3006.
    EXPECT_NE(trace.find("Halden Language Monitor Installed == 0\nAddMonitor() Succeed!\n"),
              std::string::npos);
    EXPECT_EQ(trace.find("Failed"), std::string::npos) << trace;
    EXPECT_EQ(trace.find("failed"), std::string::npos) << trace;
  }
  std::string printer = std::string(kPrint) + "Printers\\Halden RT-2210N Series";
  EXPECT_EQ(StringValue(printer, "Print Processor"), "HaldenProc");
  EXPECT_EQ(StringValue(printer, "Parameters"), "CUT=PARTIAL;FEED=3");
}

// --- result codes ---------------------------------------------------------------

TEST_F(PrinterTest, FailedObjectAllocationsGiveTheirCodes) {
  // The install context is the first allocation of a run.
  const std::pair<int, int> cases[] = {{1, 1041}, {2, 1042}, {3, 1043}, {4, 1040}};
  for (const auto& c : cases) {
    inf_ = WriteRootFile("p.inf", ExampleInf());
    qzhost::FailAllocation(c.first);
    EXPECT_EQ(Run("2 " + inf_ + " RT2210 LPT1:"), c.second) << c.first;
    std::string trace = Trace();
    EXPECT_EQ(trace.find("constructor complete"), std::string::npos);
    EXPECT_EQ(trace.find("AddMonitor"), std::string::npos);
  }
  EXPECT_FALSE(KeyExists(std::string(kPrint) + "Monitors\\Halden Port Monitor"));
}

TEST_F(PrinterTest, ASupportObjectThatFailsGives1045AndKeepsWhatWasInstalled) {
  qzhost::FailCall("AddPrinterDriverA", ERROR_ACCESS_DENIED);
  EXPECT_EQ(Install(ExampleInf(), "RT2210"), 1045);
  std::string trace = Trace();
  EXPECT_NE(trace.find("AddPrinterDriver() failed: name=Halden RT-2210 Series; drv=HRT2210.DRV; "
                       "err=5<0x00000005>\nFailed installing printer support objects\n"),
            std::string::npos);
  EXPECT_EQ(trace.find("LockDownObjects"), std::string::npos);
  EXPECT_TRUE(KeyExists(std::string(kPrint) + "Monitors\\Halden Language Monitor"));
  EXPECT_FALSE(KeyExists(std::string(kPrint) + "Printers\\Halden RT-2210 Series"));

  // The driver's record cannot be allocated: invalid, 1045 after the monitors.
  qzhost::FailAllocation(5);
  EXPECT_EQ(Run("2 " + inf_ + " RT2210 LPT1:"), 1045);
  EXPECT_NE(Trace().find("FAIL: GetInfoFromINF() or GetServer() returned false"),
            std::string::npos);
}

TEST_F(PrinterTest, RefusedPrinterGives1046ButAnExistingOneIsSuccess) {
  qzhost::FailCall("AddPrinterA", ERROR_UNKNOWN_PORT);
  EXPECT_EQ(Install(ExampleInf(), "RT2210"), 1046);
  EXPECT_NE(Trace().find("AddPrinter() failed: ERROR 1796 <0x00000704>\n"
                         "WARNING: COrlPrinter::UnlockObjects() not implemented!\n"),
            std::string::npos);
  qzhost::FailCall("AddPrinterA", ERROR_PRINTER_ALREADY_EXISTS);
  EXPECT_EQ(Run("2 " + inf_ + " RT2210 LPT1:"), 0);
  EXPECT_EQ(Trace().find("AddPrinter() failed"), std::string::npos);
}

TEST_F(PrinterTest, RecordWithoutADriverNameGives1044) {
  class NoDriverName : public COrlPrinter {
   public:
    using COrlPrinter::COrlPrinter;
    COrlString* GetDriverName() override { return nullptr; }
  };
  inf_ = WriteRootFile("p.inf", ExampleInf());
  COrlString param((inf_ + " RT2210 LPT1:").c_str());
  NoDriverName printer(&param);
  EXPECT_FALSE(printer.Install());
  EXPECT_EQ(printer.GetStatus(), 1044);
  EXPECT_NE(Trace().find("Failed getting printer info\n"
                         "WARNING: COrlPrinter::UnlockObjects() not implemented!\n"),
            std::string::npos);
}

// --- hostile INF files ------------------------------------------------------------

TEST_F(PrinterTest, HostileInfFilesEndWithTheirCode) {
  std::string binary;
  for (int i = 0; i < 4096; ++i) binary += static_cast<char>((i * 37) & 0xFF);
  std::string hugeLine = "[P]\r\ndevice=" + std::string(1 << 20, 'x') + "\r\n";
  std::string huge(300, 'L');
  // Each file name keeps 15 characters: a setup that copied that name passes.
  qztest::PlaceFile("C:\\WINDOWS\\SYSTEM\\" + huge.substr(0, 15));
  const std::pair<std::string, int> cases[] = {
      {"", 1045},
      {binary, 1045},
      {"[P]\r\n" + binary, 1045},
      {hugeLine, 1045},  // no driver file
      {"[P\r\ndevice=\r\n=x\r\n[]\r\n%%=%%\r\n", 1045},
      {"[P]\r\ndevice=%\r\nDriver=%%\r\n", 1045},
      {"[P]\r\ndevice=" + huge + "\r\nDriver=" + huge + "\r\nDataFile=" + huge +
           "\r\nConfigFile=" + huge + "\r\nHelpFile=" + huge + "\r\nDefaultDataType=" + huge +
           "\r\nDrvVersion=" + huge + "\r\nAttributes=" + huge + "\r\nPrintProcessorParam=" + huge +
           "\r\n",
       0},
      {"[P]\r\ndevice=D\r\nDriver=D.DRV\r\nLanguageMonitor=" + huge + "," + huge + "\r\n", 1045},
      {"[P]\r\ndevice=D\r\nDriver=D.DRV\r\nPortMonitor=%" + huge + "%,x.dll\r\n", 1045},
      {"[P]\r\ndevice=D\r\nDriver=D.DRV\r\nPrintProcessor=%P\r\n", 1045},
  };
  int n = 0;
  for (const auto& c : cases) {
    EXPECT_EQ(Install(c.first, "P"), c.second) << "case " << n;
    Trace();
    ++n;
  }
  EXPECT_EQ(Run("2 " + root_ + "/missing.inf P LPT1:"), 1045);
  EXPECT_NE(Trace().find("COrlPortMonitor() for (null)\n"), std::string::npos);
}

}  // namespace
