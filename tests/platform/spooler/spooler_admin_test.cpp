// Contract tests of the spooler's administration calls: deleting printers,
// drivers, monitors and ports with Windows' refusals, adding ports, and the
// default printer.
#include "platform/host/spooler/spooler_admin.h"

#include <algorithm>
#include <string>
#include <vector>

#include "tests/platform/spooler/spooler_test_util.h"

namespace spooltest {
namespace {

using qzhost::spool::DriversKey;
using qzhost::spool::kEnvWin40;
using qzhost::spool::MonitorKey;
using qzhost::spool::PrinterKey;

bool Lists(const std::vector<std::string>& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

std::string DefaultDevice() {
  char acDevice[256] = "";
  GetProfileStringA("windows", "device", "", acDevice, sizeof acDevice);
  return acDevice;
}

class AdminTest : public SpoolerTest {
 protected:
  void SetUp() override {
    SpoolerTest::SetUp();
    ASSERT_TRUE(AddDriver("RT-2210", OwnEnv(), "Halden LM"));
  }
  void AddPrinter(const char* name, const char* port = "LPT1:") {
    PRINTER_INFO_2A info = {};
    info.pPrinterName = const_cast<LPSTR>(name);
    info.pPortName = const_cast<LPSTR>(port);
    info.pDriverName = const_cast<LPSTR>("RT-2210");
    info.pPrintProcessor = const_cast<LPSTR>("WinPrint");
    HANDLE hPrinter = AddPrinterA(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
    ASSERT_NE(nullptr, hPrinter);
    ClosePrinter(hPrinter);
  }
  // Opens and deletes the printer; the error, or 0.
  DWORD RemovePrinter(const char* name) {
    HANDLE hPrinter = nullptr;
    SetLastError(0);
    if (!OpenPrinterA(const_cast<LPSTR>(name), &hPrinter, nullptr)) return GetLastError();
    DWORD dwError = DeletePrinter(hPrinter) ? 0 : GetLastError();
    EXPECT_TRUE(ClosePrinter(hPrinter));
    return dwError;
  }
  DWORD AddLocalPort(const char* name, const char* monitor = "Local Port") {
    PORT_INFO_1A info = {const_cast<LPSTR>(name)};
    SetLastError(0);
    return AddPortExA(nullptr, 1, reinterpret_cast<LPBYTE>(&info), const_cast<LPSTR>(monitor))
               ? 0
               : GetLastError();
  }
  static DWORD LastErrorOf(BOOL bOk) { return bOk ? 0 : GetLastError(); }
  DWORD MissingMonitor() const { return IsNT() ? 3000 : 87; }
};

TEST_P(AdminTest, DriverIsKeptWhileAPrinterUsesIt) {
  EXPECT_EQ(1797u, LastErrorOf(DeletePrinterDriverA(nullptr, nullptr, const_cast<LPSTR>("X"))));
  AddPrinter("Halden");
  EXPECT_EQ(3001u,
            LastErrorOf(DeletePrinterDriverA(nullptr, nullptr, const_cast<LPSTR>("rt-2210"))));
  EXPECT_TRUE(KeyExists(DriversKey(OwnEnv(), IsNT()) + "\\RT-2210"));
  EXPECT_EQ(0u, RemovePrinter("HALDEN")) << "printer names compare without case";
  EXPECT_FALSE(KeyExists(PrinterKey("Halden")));
  EXPECT_EQ(0u, LastErrorOf(DeletePrinterDriverA(nullptr, const_cast<LPSTR>(OwnEnv()),
                                                 const_cast<LPSTR>("RT-2210"))));
  EXPECT_FALSE(KeyExists(DriversKey(OwnEnv(), IsNT()) + "\\RT-2210"));
}

TEST_P(AdminTest, PrinterHandlesAreCheckedAndUnknownPrintersAre1801) {
  EXPECT_EQ(1801u, RemovePrinter("Nobody"));
  AddPrinter("Halden");
  HANDLE hPrinter = nullptr;
  ASSERT_TRUE(OpenPrinterA(const_cast<LPSTR>("Halden"), &hPrinter, nullptr));
  ASSERT_TRUE(DeletePrinter(hPrinter));
  EXPECT_EQ(1801u, LastErrorOf(DeletePrinter(hPrinter))) << "deleted already";
  EXPECT_TRUE(ClosePrinter(hPrinter));
  EXPECT_EQ(6u, LastErrorOf(DeletePrinter(hPrinter))) << "a closed handle";
}

TEST_P(AdminTest, MonitorIsKeptWhileADriverOrAPrinterNeedsIt) {
  EXPECT_EQ(MissingMonitor(),
            LastErrorOf(DeleteMonitorA(nullptr, nullptr, const_cast<LPSTR>("Nobody"))));
  EXPECT_EQ(3008u, LastErrorOf(DeleteMonitorA(nullptr, nullptr, const_cast<LPSTR>("Local Port"))));
  ASSERT_TRUE(AddMonitor("Halden LM", OwnEnv(), "HRTLMON.DLL"));
  EXPECT_EQ(3008u, LastErrorOf(DeleteMonitorA(nullptr, nullptr, const_cast<LPSTR>("Halden LM"))))
      << "the driver names it as its language monitor";
  // A port monitor whose port a printer prints to.
  HKEY hKey = nullptr;
  ASSERT_EQ(ERROR_SUCCESS,
            RegCreateKeyA(HKEY_LOCAL_MACHINE, (MonitorKey("Halden PM") + "\\Ports\\HRT1:").c_str(),
                          &hKey));
  RegCloseKey(hKey);
  ASSERT_TRUE(AddMonitor("Halden PM", OwnEnv(), "HRTPMON.DLL"));
  AddPrinter("Halden", "HRT1:");
  EXPECT_EQ(3008u, LastErrorOf(DeleteMonitorA(nullptr, nullptr, const_cast<LPSTR>("Halden PM"))));
  EXPECT_EQ(0u, RemovePrinter("Halden"));
  EXPECT_EQ(0u, LastErrorOf(DeleteMonitorA(nullptr, const_cast<LPSTR>("bad env"),
                                           const_cast<LPSTR>("halden pm"))));
  EXPECT_FALSE(KeyExists(MonitorKey("Halden PM"))) << "its ports go with it";
  EXPECT_FALSE(Lists(PortNames(), "HRT1:"));
  EXPECT_FALSE(Lists(MonitorNames(), "Halden PM"));
}

TEST_P(AdminTest, LocalPortsAreAddedOnceAndDeletedWhenNoPrinterUsesThem) {
  EXPECT_EQ(0u, AddLocalPort("HRT9:"));
  EXPECT_TRUE(Lists(PortNames(), "HRT9:"));
  EXPECT_EQ(183u, AddLocalPort("hrt9:"));
  EXPECT_EQ(183u, AddLocalPort("LPT1:"));
  EXPECT_EQ(123u, AddLocalPort("A,B"));
  EXPECT_EQ(MissingMonitor(), AddLocalPort("HRT8:", "No Such Monitor"));
  AddPrinter("Halden", "LPT2:,HRT9:");
  EXPECT_EQ(170u, LastErrorOf(DeletePortA(nullptr, nullptr, const_cast<LPSTR>("HRT9:"))));
  EXPECT_EQ(0u, RemovePrinter("Halden"));
  EXPECT_EQ(0u, LastErrorOf(DeletePortA(nullptr, nullptr, const_cast<LPSTR>("HRT9:"))));
  EXPECT_FALSE(Lists(PortNames(), "HRT9:"));
  EXPECT_EQ(1796u, LastErrorOf(DeletePortA(nullptr, nullptr, const_cast<LPSTR>("HRT9:"))));
}

TEST_P(AdminTest, DeletedDefaultPrinterHandsTheDefaultOn) {
  AddPrinter("First");
  AddPrinter("Second", "LPT2:");
  EXPECT_EQ(1801u, qzhost::spool::MakeDefaultPrinter("Nobody"));
  ASSERT_EQ(0u, qzhost::spool::MakeDefaultPrinter("second"));
  EXPECT_EQ(IsNT() ? "Second,winspool,LPT2:" : "Second,RT2210,LPT2:", DefaultDevice());
  EXPECT_EQ(0u, RemovePrinter("Second"));
  EXPECT_EQ("First", qzhost::spool::DefaultPrinterName());
  EXPECT_EQ(0u, RemovePrinter("First"));
  EXPECT_EQ("", DefaultDevice());
}

INSTANTIATE_TEST_SUITE_P(Both, AdminTest,
                         ::testing::Values(Personality::kWin98, Personality::kWinNT),
                         PersonalityName);

// What only one personality has: SetDefaultPrinterA and the Standard TCP/IP
// Port monitor are NT's; a "Windows 4.0" driver on NT serves no printer.
TEST_P(AdminTest, OnlyNTHasSetDefaultPrinterAndTcpIpPorts) {
  AddPrinter("Halden");
  if (!IsNT()) {
    EXPECT_EQ(120u, LastErrorOf(SetDefaultPrinterA("Halden")));
    EXPECT_EQ(87u, qzhost::spool::AddStandardTcpIpPort("IP_1", "10.0.0.9", 9100));
    return;
  }
  EXPECT_EQ(1801u, LastErrorOf(SetDefaultPrinterA("Nobody")));
  EXPECT_TRUE(SetDefaultPrinterA(""));
  EXPECT_EQ("Halden", qzhost::spool::DefaultPrinterName()) << "the first printer";
  EXPECT_EQ(3000u, qzhost::spool::AddStandardTcpIpPort("IP_1", "10.0.0.9", 9100));
  ASSERT_TRUE(AddMonitor(qzhost::spool::kTcpIpMonitor, nullptr, "tcpmon.dll"));
  ASSERT_EQ(0u, qzhost::spool::AddStandardTcpIpPort("IP_1", "10.0.0.9", 9101));
  EXPECT_EQ(183u, qzhost::spool::AddStandardTcpIpPort("ip_1", "10.0.0.8", 9100));
  const std::string key = MonitorKey(qzhost::spool::kTcpIpMonitor) + "\\Ports\\IP_1";
  EXPECT_EQ("10.0.0.9", ReadValue(key, "IPAddress"));
  EXPECT_EQ(9101u, ReadDword(key, "PortNumber"));
  bool served = false;
  const Enumerated ports = EnumPorts2();
  for (const PORT_INFO_2A& port : PortsOf(ports))
    served |= std::string(port.pPortName) == "IP_1" &&
              std::string(port.pMonitorName) == qzhost::spool::kTcpIpMonitor;
  EXPECT_TRUE(served);
  EXPECT_EQ(0u, LastErrorOf(DeletePortA(nullptr, nullptr, const_cast<LPSTR>("IP_1"))));
  EXPECT_FALSE(KeyExists(key));
  // The "Windows 4.0" driver kept for 9x clients is not in use by the printer.
  ASSERT_TRUE(AddDriver("RT-2210", kEnvWin40));
  EXPECT_EQ(0u, LastErrorOf(DeletePrinterDriverA(nullptr, const_cast<LPSTR>(kEnvWin40),
                                                 const_cast<LPSTR>("RT-2210"))));
}

}  // namespace
}  // namespace spooltest
