// Contract tests of the emulated spooler: monitors and print processors.
#include <algorithm>
#include <string>
#include <vector>

#include "tests/platform/spooler/spooler_test_util.h"

namespace spooltest {
namespace {

using qzhost::spool::kEnvNtX86;
using qzhost::spool::kEnvWin40;

const std::string kMonitors = "System\\CurrentControlSet\\Control\\Print\\Monitors\\";

bool Lists(const std::vector<std::string>& names, const char* name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

using MonitorTest = SpoolerTest;

TEST_P(MonitorTest, NewMonitorIsStoredAndClearsTheLastError) {
  SetLastError(ERROR_INVALID_HANDLE);
  ASSERT_TRUE(AddMonitor("Halden Port", OwnEnv(), "HLDNMON.DLL"));
  EXPECT_EQ(0u, GetLastError());
  EXPECT_EQ("HLDNMON.DLL", ReadValue(kMonitors + "Halden Port", "Driver"));
  EXPECT_TRUE(Lists(MonitorNames(), "Halden Port"));
}

TEST_P(MonitorTest, ExistingMonitorIs183OnWindows98And3006OnNT) {
  ASSERT_TRUE(AddMonitor("Halden Port", OwnEnv(), "HLDNMON.DLL"));
  SetLastError(0);
  EXPECT_FALSE(AddMonitor("HALDEN PORT", OwnEnv(), "OTHER.DLL"));
  EXPECT_EQ(IsNT() ? static_cast<DWORD>(ERROR_PRINT_MONITOR_ALREADY_INSTALLED)
                   : static_cast<DWORD>(ERROR_ALREADY_EXISTS),
            GetLastError());
  EXPECT_EQ("HLDNMON.DLL", ReadValue(kMonitors + "Halden Port", "Driver"));
  SetLastError(0);
  EXPECT_FALSE(AddMonitor("Local Port", nullptr, "X.DLL")) << "the built-in monitor is there";
}

TEST_P(MonitorTest, KeyWithoutDriverValueIsTakenOver) {
  HKEY hKey = nullptr;
  ASSERT_EQ(ERROR_SUCCESS,
            RegCreateKeyA(HKEY_LOCAL_MACHINE, (kMonitors + "Halden Port\\Ports").c_str(), &hKey));
  RegCloseKey(hKey);
  EXPECT_FALSE(Lists(MonitorNames(), "Halden Port"));
  EXPECT_TRUE(AddMonitor("Halden Port", nullptr, "HLDNMON.DLL"));
  EXPECT_TRUE(KeyExists(kMonitors + "Halden Port\\Ports")) << "its settings stay";
}

// The spooler keeps what it read across its own additions; the lists it keeps
// must be those a fresh reading gives, in the registry's order.
TEST_P(MonitorTest, ListingsKeptAcrossOwnAdditionsMatchAFreshReading) {
  const std::vector<std::string> ports = PortNames();
  ASSERT_FALSE(MonitorNames().empty());
  ASSERT_TRUE(AddMonitor("zz Last", OwnEnv(), "Z.DLL"));
  ASSERT_TRUE(AddMonitor("AA First", OwnEnv(), "A.DLL"));
  ASSERT_TRUE(AddMonitor("Local Port 2", OwnEnv(), "L2.DLL"));
  ASSERT_TRUE(AddDriver("RT-2210", OwnEnv(), ""));  // a change outside both lists
  const std::vector<std::string> kept = MonitorNames();
  EXPECT_EQ(ports, PortNames());
  // A monitor taken over with ports of its own brings them to the port list.
  HKEY hKey = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_LOCAL_MACHINE,
                                         (kMonitors + "Claimer\\Ports\\CLAIM1:").c_str(), &hKey));
  RegCloseKey(hKey);
  EXPECT_FALSE(Lists(PortNames(), "CLAIM1:")) << "not installed yet";
  ASSERT_TRUE(AddMonitor("Claimer", OwnEnv(), "C.DLL"));
  EXPECT_TRUE(Lists(PortNames(), "CLAIM1:"));
  // Any other change makes the spooler read everything again.
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_LOCAL_MACHINE, "Software\\QzTest", &hKey));
  RegCloseKey(hKey);
  std::vector<std::string> fresh = MonitorNames();
  fresh.erase(std::find(fresh.begin(), fresh.end(), "Claimer"));
  EXPECT_EQ(fresh, kept);
  EXPECT_TRUE(Lists(kept, "AA First") && Lists(kept, "zz Last") && Lists(kept, "Local Port 2"));
}

TEST_P(MonitorTest, LanguageMonitorsAreLeftOutOnNTOnly) {
  ASSERT_TRUE(AddMonitor("Halden LM", OwnEnv(), "HLDNLM.DLL"));
  ASSERT_TRUE(AddMonitor("Halden Port", OwnEnv(), "HLDNMON.DLL"));
  EXPECT_TRUE(Lists(MonitorNames(), "Halden LM")) << "no driver names it yet";
  // A driver of any environment that names the monitor makes it a language monitor.
  ASSERT_TRUE(AddDriver("RT-2210", kEnvWin40, "halden lm"));
  std::vector<std::string> names = MonitorNames();
  EXPECT_EQ(!IsNT(), Lists(names, "Halden LM"));
  EXPECT_TRUE(Lists(names, "Halden Port"));
  EXPECT_TRUE(Lists(names, "Local Port"));
  // NT still knows it: adding it again is refused.
  EXPECT_FALSE(AddMonitor("Halden LM", OwnEnv(), "HLDNLM.DLL"));
}

TEST_P(MonitorTest, LevelTwoListingIsNTOnly) {
  ASSERT_TRUE(AddMonitor("Halden Port", OwnEnv(), "HLDNMON.DLL"));
  auto call = [](LPBYTE p, DWORD cb, LPDWORD pcb, LPDWORD pc) {
    return EnumMonitorsA(nullptr, 2, p, cb, pcb, pc);
  };
  if (!IsNT()) {
    DWORD cbNeeded = 0;
    DWORD cReturned = 0;
    EXPECT_FALSE(call(nullptr, 0, &cbNeeded, &cReturned));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_LEVEL), GetLastError());
    return;
  }
  Enumerated list =
      EnumerateChecked(call, sizeof(MONITOR_INFO_2A),
                       {offsetof(MONITOR_INFO_2A, pName), offsetof(MONITOR_INFO_2A, pEnvironment),
                        offsetof(MONITOR_INFO_2A, pDLLName)});
  bool bFound = false;
  for (DWORD i = 0; i < list.count; ++i) {
    const MONITOR_INFO_2A& monitor = list.Records<MONITOR_INFO_2A>()[i];
    if (std::string(monitor.pName) != "Halden Port") continue;
    bFound = true;
    EXPECT_STREQ("HLDNMON.DLL", monitor.pDLLName);
    EXPECT_STREQ(kEnvNtX86, monitor.pEnvironment);
  }
  EXPECT_TRUE(bFound);
}

TEST_P(MonitorTest, ArgumentChecksOfEachPersonality) {
  const DWORD kStale = 0x77;
  struct Case {
    const char* name;
    const char* env;
    const char* dll;
    DWORD errNT;
    DWORD err98;
  } kCases[] = {
      {nullptr, nullptr, nullptr, ERROR_INVALID_PARAMETER, ERROR_INVALID_ENVIRONMENT},
      {"", nullptr, "X.DLL", ERROR_INVALID_PARAMETER, ERROR_PRIVILEGE_NOT_HELD},
      {nullptr, nullptr, "X.DLL", ERROR_INVALID_PARAMETER, ERROR_PRIVILEGE_NOT_HELD},
      {"M", nullptr, nullptr, ERROR_INVALID_PARAMETER, ERROR_PRIVILEGE_NOT_HELD},
      {"M", nullptr, "", ERROR_INVALID_PARAMETER, ERROR_INVALID_PARAMETER},
      {"M", "Windows 3.1", "X.DLL", ERROR_INVALID_ENVIRONMENT, ERROR_INVALID_ENVIRONMENT},
      {"A\\B", nullptr, "X.DLL", ERROR_INVALID_PARAMETER, ERROR_INVALID_PARAMETER},
  };
  for (const Case& c : kCases) {
    SetLastError(kStale);
    EXPECT_FALSE(AddMonitor(c.name, c.env, c.dll));
    EXPECT_EQ(IsNT() ? c.errNT : c.err98, GetLastError()) << (c.name ? c.name : "(null)");
  }
  EXPECT_FALSE(KeyExists(kMonitors + "M"));
  EXPECT_FALSE(KeyExists(kMonitors + "A"));

  MONITOR_INFO_2A info = {const_cast<LPSTR>("M"), nullptr, const_cast<LPSTR>("X.DLL")};
  for (DWORD Level : {1u, 3u}) {
    EXPECT_FALSE(AddMonitorA(nullptr, Level, reinterpret_cast<LPBYTE>(&info)));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_LEVEL), GetLastError());
  }
  SetLastError(kStale);
  EXPECT_FALSE(AddMonitorA(nullptr, 2, nullptr));
  EXPECT_EQ(IsNT() ? kStale : static_cast<DWORD>(ERROR_PRIVILEGE_NOT_HELD), GetLastError());
}

TEST_P(MonitorTest, PlannedFailures) {
  qzhost::FailCall("AddMonitorA", ERROR_PRINT_MONITOR_ALREADY_INSTALLED);
  EXPECT_FALSE(AddMonitor("Halden Port", nullptr, "HLDNMON.DLL"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_PRINT_MONITOR_ALREADY_INSTALLED), GetLastError());
  EXPECT_FALSE(KeyExists(kMonitors + "Halden Port"));
  qzhost::FailCall("EnumMonitorsA", ERROR_NOT_ENOUGH_MEMORY);
  DWORD cbNeeded = 0;
  DWORD cReturned = 0;
  EXPECT_FALSE(EnumMonitorsA(nullptr, 1, nullptr, 0, &cbNeeded, &cReturned));
  EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY), GetLastError());
}

INSTANTIATE_TEST_SUITE_P(Both, MonitorTest,
                         ::testing::Values(Personality::kWin98, Personality::kWinNT),
                         PersonalityName);

// --- print processors --------------------------------------------------------------

using ProcessorTest = SpoolerTest;

// Adds a print processor, its DLL put into the print-processor directory of
// the environment first, as a package's setup copies it.
BOOL AddProcessor(const char* env, const char* file, const char* name) {
  std::string resolved;
  DWORD dwError = 0;
  if (file != nullptr && file[0] != '\0' &&
      qzhost::spool::ResolveEnvironment(env, &resolved, &dwError))
    PlaceFile(qzhost::spool::PrintProcessorDirectory(resolved) + "\\" + file);
  return AddPrintProcessorA(nullptr, const_cast<LPSTR>(env), const_cast<LPSTR>(file),
                            const_cast<LPSTR>(name));
}

TEST_P(ProcessorTest, NewProcessorIsStoredInItsEnvironment) {
  ASSERT_TRUE(AddProcessor(kEnvWin40, "HLDNPP.DLL", "HaldenPP"));
  const std::string key =
      std::string(qzhost::spool::kEnvironmentsKey) + "\\Windows 4.0\\Print Processors\\HaldenPP";
  EXPECT_EQ("HLDNPP.DLL", ReadValue(key, "Driver"));
  SetLastError(0);
  EXPECT_FALSE(AddProcessor("WINDOWS 4.0", "OTHER.DLL", "haldenpp"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_PRINT_PROCESSOR_ALREADY_INSTALLED), GetLastError());
  EXPECT_EQ("HLDNPP.DLL", ReadValue(key, "Driver"));
}

TEST_P(ProcessorTest, WinPrintIsThereAlready) {
  SetLastError(0);
  EXPECT_FALSE(AddProcessor(nullptr, "WINPRINT.DLL", "winprint"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_PRINT_PROCESSOR_ALREADY_INSTALLED), GetLastError());
}

TEST_P(ProcessorTest, NTEnvironmentIsRefusedOnWindows98) {
  SetLastError(0);
  BOOL bOk = AddProcessor(kEnvNtX86, "HLDNPP.DLL", "HaldenPP");
  EXPECT_EQ(IsNT(), bOk != FALSE);
  if (!IsNT()) {
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_ENVIRONMENT), GetLastError());
  }
  EXPECT_FALSE(AddProcessor("Windows 3.1", "HLDNPP.DLL", "Other"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_ENVIRONMENT), GetLastError());
}

TEST_P(ProcessorTest, AddedProcessorServesPrinters) {
  ASSERT_TRUE(AddProcessor(nullptr, "HLDNPP.DLL", "HaldenPP"));
  ASSERT_TRUE(AddDriver("RT-2210", nullptr));
  PRINTER_INFO_2A info = {};
  info.pPrinterName = const_cast<LPSTR>("P");
  info.pPortName = const_cast<LPSTR>("LPT1:");
  info.pDriverName = const_cast<LPSTR>("RT-2210");
  info.pPrintProcessor = const_cast<LPSTR>("HaldenPP");
  HANDLE hPrinter = AddPrinterA(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
  ASSERT_NE(nullptr, hPrinter);
  ClosePrinter(hPrinter);
}

TEST_P(ProcessorTest, MissingArgumentsAndPlannedFailures) {
  EXPECT_FALSE(AddProcessor(nullptr, nullptr, "HaldenPP"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  EXPECT_FALSE(AddProcessor(nullptr, "HLDNPP.DLL", nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  EXPECT_FALSE(AddProcessor(nullptr, "HLDNPP.DLL", "a\\b"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  qzhost::FailCall("AddPrintProcessorA", ERROR_PRINT_PROCESSOR_ALREADY_INSTALLED);
  EXPECT_FALSE(AddProcessor(nullptr, "HLDNPP.DLL", "HaldenPP"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_PRINT_PROCESSOR_ALREADY_INSTALLED), GetLastError());
  EXPECT_TRUE(AddProcessor(nullptr, "HLDNPP.DLL", "HaldenPP"));
}

INSTANTIATE_TEST_SUITE_P(Both, ProcessorTest,
                         ::testing::Values(Personality::kWin98, Personality::kWinNT),
                         PersonalityName);

}  // namespace
}  // namespace spooltest
