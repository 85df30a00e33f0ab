// Contract tests of the emulated spooler: printers, printer handles, ports.
#include <algorithm>
#include <string>
#include <vector>

#include "tests/platform/spooler/spooler_test_util.h"

namespace spooltest {
namespace {

using qzhost::spool::PrinterKey;

class PrinterTest : public SpoolerTest {
 protected:
  void SetUp() override {
    SpoolerTest::SetUp();
    ASSERT_TRUE(AddDriver("RT-2210", OwnEnv()));
  }

  HANDLE Add(const char* name, const char* port = "LPT1:", const char* driver = "RT-2210",
             const char* processor = "WinPrint") {
    PRINTER_INFO_2A info = {};
    info.pPrinterName = const_cast<LPSTR>(name);
    info.pPortName = const_cast<LPSTR>(port);
    info.pDriverName = const_cast<LPSTR>(driver);
    info.pPrintProcessor = const_cast<LPSTR>(processor);
    info.pDatatype = const_cast<LPSTR>("RAW");
    info.Attributes = PRINTER_ATTRIBUTE_DEFAULT;
    return AddPrinterA(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
  }

  // Adds a printer that must fail and returns the error it set.
  DWORD AddFails(const char* name, const char* port = "LPT1:", const char* driver = "RT-2210",
                 const char* processor = "WinPrint") {
    SetLastError(0);
    HANDLE hPrinter = Add(name, port, driver, processor);
    EXPECT_EQ(nullptr, hPrinter);
    if (hPrinter != nullptr) ClosePrinter(hPrinter);
    if (name[0] != '\0') {
      EXPECT_FALSE(KeyExists(PrinterKey(name))) << "a refused printer leaves no key";
    }
    return GetLastError();
  }
};

std::string DefaultDevice() {
  char acDevice[256] = "";
  GetProfileStringA("windows", "device", "<none>", acDevice, sizeof acDevice);
  return acDevice;
}

// Windows 98 makes a printer added with PRINTER_ATTRIBUTE_DEFAULT the default
// in WIN.INI [windows] device=, the driver named by its file without the
// extension, the first of several ports; NT leaves its default alone.
TEST_P(PrinterTest, DefaultAttributeMakesTheDefaultOnWindows98Only) {
  const std::string before = DefaultDevice();
  HANDLE hPrinter = Add("Halden RT-2210", "LPT2:,LPT3:");
  ASSERT_NE(nullptr, hPrinter);
  ClosePrinter(hPrinter);
  EXPECT_EQ(IsNT() ? before : "Halden RT-2210,RT2210,LPT2:", DefaultDevice());
  EXPECT_EQ(static_cast<DWORD>(PRINTER_ATTRIBUTE_DEFAULT),
            ReadDword(PrinterKey("Halden RT-2210"), "Attributes"))
      << "the attribute is stored as given";
  // A printer added without the attribute leaves the default as it is.
  PRINTER_INFO_2A info = {};
  info.pPrinterName = const_cast<LPSTR>("Second");
  info.pPortName = const_cast<LPSTR>("LPT1:");
  info.pDriverName = const_cast<LPSTR>("RT-2210");
  info.pPrintProcessor = const_cast<LPSTR>("WinPrint");
  const std::string after = DefaultDevice();
  hPrinter = AddPrinterA(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
  ASSERT_NE(nullptr, hPrinter);
  ClosePrinter(hPrinter);
  EXPECT_EQ(after, DefaultDevice());
  // A refused printer never becomes the default, the attribute set or not.
  EXPECT_EQ(static_cast<DWORD>(ERROR_UNKNOWN_PORT), AddFails("Third", "NOPORT:"));
  EXPECT_EQ(after, DefaultDevice());
}

TEST_P(PrinterTest, AddedPrinterIsStoredWithItsValues) {
  HANDLE hPrinter = Add("Halden RT-2210", "LPT2:");
  ASSERT_NE(nullptr, hPrinter);
  EXPECT_TRUE(ClosePrinter(hPrinter));

  const std::string key = PrinterKey("Halden RT-2210");
  DWORD dwType = REG_NONE;
  EXPECT_EQ("Halden RT-2210", ReadValue(key, "Name", &dwType));
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), dwType);
  EXPECT_EQ("LPT2:", ReadValue(key, "Port"));
  EXPECT_EQ("RT-2210", ReadValue(key, "Printer Driver"));
  EXPECT_EQ("WinPrint", ReadValue(key, "Print Processor"));
  EXPECT_EQ("RAW", ReadValue(key, "Datatype"));
  EXPECT_EQ("", ReadValue(key, "Share Name"));
  EXPECT_EQ(static_cast<DWORD>(PRINTER_ATTRIBUTE_DEFAULT), ReadDword(key, "Attributes"));
  EXPECT_EQ(0u, ReadDword(key, "Status"));
}

TEST_P(PrinterTest, SecondPrinterOfTheSameNameIs1802) {
  HANDLE hPrinter = Add("Halden");
  ASSERT_NE(nullptr, hPrinter);
  ClosePrinter(hPrinter);
  SetLastError(0);
  EXPECT_EQ(nullptr, Add("HALDEN", "LPT2:"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_PRINTER_ALREADY_EXISTS), GetLastError());
  EXPECT_EQ("LPT1:", ReadValue(PrinterKey("Halden"), "Port")) << "the first printer is kept";
}

TEST_P(PrinterTest, UnknownComponentsAreRefusedWithTheirOwnNumbers) {
  EXPECT_EQ(static_cast<DWORD>(ERROR_UNKNOWN_PRINTER_DRIVER), AddFails("P", "LPT1:", "Nope"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_UNKNOWN_PORT), AddFails("P", "NETPRN9:"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_UNKNOWN_PRINTPROCESSOR),
            AddFails("P", "LPT1:", "RT-2210", "HaldenPP"));
  // The first failing check decides: print processor, then driver, then port.
  EXPECT_EQ(static_cast<DWORD>(ERROR_UNKNOWN_PRINTPROCESSOR),
            AddFails("P", "NETPRN9:", "Nope", "HaldenPP"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_UNKNOWN_PRINTER_DRIVER), AddFails("P", "NETPRN9:", "Nope"));
}

TEST_P(PrinterTest, PrintProcessorAndPortsCompareWithoutCase) {
  HANDLE hPrinter = Add("P1", "lpt1:", "rt-2210", "winprint");
  ASSERT_NE(nullptr, hPrinter);
  ClosePrinter(hPrinter);
}

TEST_P(PrinterTest, EveryPortOfAListMustBeKnown) {
  HANDLE hPrinter = Add("Two ports", "LPT1:,LPT2:");
  ASSERT_NE(nullptr, hPrinter);
  ClosePrinter(hPrinter);
  EXPECT_EQ("LPT1:,LPT2:", ReadValue(PrinterKey("Two ports"), "Port"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_UNKNOWN_PORT), AddFails("P", "LPT1:,NETPRN9:"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_UNKNOWN_PORT), AddFails("P", ""));
  EXPECT_EQ(static_cast<DWORD>(ERROR_UNKNOWN_PORT), AddFails("P", ","));
}

TEST_P(PrinterTest, ArgumentsAreCheckedFirst) {
  PRINTER_INFO_2A info = {};
  info.pPrinterName = const_cast<LPSTR>("P");
  info.pPortName = const_cast<LPSTR>("LPT1:");
  info.pDriverName = const_cast<LPSTR>("RT-2210");
  info.pPrintProcessor = const_cast<LPSTR>("WinPrint");
  LPBYTE pInfo = reinterpret_cast<LPBYTE>(&info);

  EXPECT_EQ(nullptr, AddPrinterA(nullptr, 1, pInfo));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_LEVEL), GetLastError());
  EXPECT_EQ(nullptr, AddPrinterA(nullptr, 2, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  for (LPSTR* pField :
       {&info.pPrinterName, &info.pPortName, &info.pDriverName, &info.pPrintProcessor}) {
    LPSTR pSaved = *pField;
    *pField = nullptr;
    SetLastError(0);
    EXPECT_EQ(nullptr, AddPrinterA(nullptr, 2, pInfo));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    *pField = pSaved;
  }
  EXPECT_FALSE(KeyExists(PrinterKey("P")));
}

TEST_P(PrinterTest, NamesThatCannotBeOneKeyAre1801) {
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME), AddFails(""));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME), AddFails("a,b"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME), AddFails("a\\b"));
  EXPECT_FALSE(KeyExists(PrinterKey("a")));
}

TEST_P(PrinterTest, HandleClosesOnceOnly) {
  HANDLE hFirst = Add("P1");
  HANDLE hSecond = Add("P2");
  ASSERT_NE(nullptr, hFirst);
  ASSERT_NE(nullptr, hSecond);
  EXPECT_NE(hFirst, hSecond);
  EXPECT_TRUE(ClosePrinter(hFirst));
  SetLastError(0);
  EXPECT_FALSE(ClosePrinter(hFirst));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
  EXPECT_TRUE(ClosePrinter(hSecond));

  SetLastError(0);
  EXPECT_FALSE(ClosePrinter(nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
  SetLastError(0);
  EXPECT_FALSE(ClosePrinter(reinterpret_cast<HANDLE>(0x1234)));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
}

TEST_P(PrinterTest, PlannedFailuresComeFirst) {
  qzhost::FailCall("AddPrinterA", ERROR_ACCESS_DENIED);
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), AddFails("P"));
  HANDLE hPrinter = Add("P");
  ASSERT_NE(nullptr, hPrinter);
  qzhost::FailCall("ClosePrinter", ERROR_INVALID_HANDLE);
  EXPECT_FALSE(ClosePrinter(hPrinter));
  EXPECT_TRUE(ClosePrinter(hPrinter)) << "the planned failure did not consume the handle";
}

INSTANTIATE_TEST_SUITE_P(Both, PrinterTest,
                         ::testing::Values(Personality::kWin98, Personality::kWinNT),
                         PersonalityName);

// Only a driver for the machine's own environment serves a printer; on NT a
// "Windows 4.0" driver is one kept for 9x clients (Windows 98 has one
// environment).
class NtPrinterTest : public PrinterTest {};

TEST_P(NtPrinterTest, DriverOfTheOtherEnvironmentDoesNotCount) {
  ASSERT_TRUE(AddDriver("Win40 only", qzhost::spool::kEnvWin40));
  EXPECT_EQ(static_cast<DWORD>(ERROR_UNKNOWN_PRINTER_DRIVER), AddFails("P", "LPT1:", "Win40 only"));
}

INSTANTIATE_TEST_SUITE_P(NT, NtPrinterTest, ::testing::Values(Personality::kWinNT),
                         PersonalityName);

// --- ports ---------------------------------------------------------------------

using PortTest = SpoolerTest;

TEST_P(PortTest, FreshMachineListsTheLocalPorts) {
  std::vector<std::string> names = PortNames();
  EXPECT_EQ(8u, names.size());
  for (const char* port :
       {"LPT1:", "LPT2:", "LPT3:", "COM1:", "COM2:", "COM3:", "COM4:", "FILE:"}) {
    EXPECT_NE(names.end(), std::find(names.begin(), names.end(), port)) << port;
  }
}

TEST_P(PortTest, LevelTwoNamesTheServingMonitor) {
  Enumerated list = EnumPorts2();
  ASSERT_GT(list.count, 0u);
  for (const PORT_INFO_2A& port : PortsOf(list)) {
    EXPECT_STREQ("Local Port", port.pMonitorName) << port.pPortName;
    EXPECT_STREQ("Local Port", port.pDescription);
    EXPECT_EQ(static_cast<DWORD>(PORT_TYPE_WRITE), port.fPortType);
  }
}

TEST_P(PortTest, MonitorClaimsThePortsUnderItsPortsKey) {
  ASSERT_TRUE(AddMonitor("Halden Port", OwnEnv(), "HLDNMON.DLL"));
  HKEY hKey = nullptr;
  ASSERT_EQ(
      ERROR_SUCCESS,
      RegCreateKeyA(HKEY_LOCAL_MACHINE,
                    (qzhost::spool::MonitorKey("Halden Port") + "\\Ports\\HLDN1:").c_str(), &hKey));
  RegCloseKey(hKey);

  Enumerated list = EnumPorts2();
  bool bFound = false;
  for (const PORT_INFO_2A& port : PortsOf(list)) {
    if (std::string(port.pPortName) != "HLDN1:") continue;
    bFound = true;
    EXPECT_STREQ("Halden Port", port.pMonitorName);
  }
  EXPECT_TRUE(bFound);
}

TEST_P(PortTest, InvalidLevelAndMissingCounters) {
  DWORD cbNeeded = 0;
  DWORD cReturned = 0;
  EXPECT_FALSE(EnumPortsA(nullptr, 3, nullptr, 0, &cbNeeded, &cReturned));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_LEVEL), GetLastError());
  EXPECT_FALSE(EnumPortsA(nullptr, 1, nullptr, 0, nullptr, &cReturned));
  EXPECT_EQ(static_cast<DWORD>(RPC_X_NULL_REF_POINTER), GetLastError());
  qzhost::FailCall("EnumPortsA", ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_FALSE(EnumPortsA(nullptr, 1, nullptr, 0, &cbNeeded, &cReturned));
  EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY), GetLastError());
}

INSTANTIATE_TEST_SUITE_P(Both, PortTest,
                         ::testing::Values(Personality::kWin98, Personality::kWinNT),
                         PersonalityName);

class Win98PortTest : public MachineTest {
 protected:
  qzhost::TestMachineOptions Options() const override {
    qzhost::TestMachineOptions options;
    options.inMemoryRegistry = true;
    return options;
  }
};

// Windows 98 lists WIN.INI [Ports] and the keys under Control\Print\Ports,
// each name once; a printer may use either.
TEST_F(Win98PortTest, ProfileEntriesAndPortKeysAreListedOnce) {
  ASSERT_TRUE(WriteProfileStringA("Ports", "NETPRN1:", ""));
  for (const char* port : {"NETPRN1:", "netprn2:", "lpt1:"}) {
    HKEY hKey = nullptr;
    ASSERT_EQ(
        ERROR_SUCCESS,
        RegCreateKeyA(HKEY_LOCAL_MACHINE,
                      (std::string(qzhost::spool::kPrintPortsKey) + "\\" + port).c_str(), &hKey));
    RegCloseKey(hKey);
  }
  std::vector<std::string> names = PortNames();
  EXPECT_EQ(10u, names.size());
  EXPECT_EQ(1, std::count(names.begin(), names.end(), "NETPRN1:"));
  EXPECT_EQ(1, std::count(names.begin(), names.end(), "netprn2:"));
  EXPECT_EQ(0, std::count(names.begin(), names.end(), "lpt1:")) << "LPT1: is there already";

  ASSERT_TRUE(AddDriver("RT-2210", nullptr));
  PRINTER_INFO_2A info = {};
  info.pPrinterName = const_cast<LPSTR>("Net");
  info.pPortName = const_cast<LPSTR>("NETPRN2:");
  info.pDriverName = const_cast<LPSTR>("RT-2210");
  info.pPrintProcessor = const_cast<LPSTR>("WinPrint");
  HANDLE hPrinter = AddPrinterA(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
  ASSERT_NE(nullptr, hPrinter);
  ClosePrinter(hPrinter);
}

TEST_F(Win98PortTest, LocalMonAnswersForParallelAndSerialPorts) {
  ASSERT_TRUE(AddMonitor("Halden Port", nullptr, "HLDNMON.DLL"));
  HKEY hKey = nullptr;
  ASSERT_EQ(
      ERROR_SUCCESS,
      RegCreateKeyA(HKEY_LOCAL_MACHINE,
                    (qzhost::spool::MonitorKey("Halden Port") + "\\Ports\\LPT1:").c_str(), &hKey));
  RegCloseKey(hKey);
  Enumerated list = EnumPorts2();  // the records point into its buffer
  for (const PORT_INFO_2A& port : PortsOf(list)) {
    EXPECT_STREQ("Local Port", port.pMonitorName) << port.pPortName;
  }
}

}  // namespace
}  // namespace spooltest
