// Contract tests of the emulated spooler: printer drivers.
#include <string>
#include <vector>

#include "tests/platform/spooler/spooler_test_util.h"

namespace spooltest {
namespace {

using qzhost::spool::DriversKey;
using qzhost::spool::kEnvNtX86;
using qzhost::spool::kEnvWin40;

using DriverTest = SpoolerTest;

const std::string kEnvironments = "System\\CurrentControlSet\\Control\\Print\\Environments\\";

// Offsets of the string fields of a level's records.
std::vector<size_t> DriverStrings(DWORD Level) {
  std::vector<size_t> strings = {
      offsetof(DRIVER_INFO_3A, pName), offsetof(DRIVER_INFO_3A, pEnvironment),
      offsetof(DRIVER_INFO_3A, pDriverPath), offsetof(DRIVER_INFO_3A, pDataFile),
      offsetof(DRIVER_INFO_3A, pConfigFile)};
  if (Level == 3) {
    for (size_t offset :
         {offsetof(DRIVER_INFO_3A, pHelpFile), offsetof(DRIVER_INFO_3A, pDependentFiles),
          offsetof(DRIVER_INFO_3A, pMonitorName), offsetof(DRIVER_INFO_3A, pDefaultDataType)}) {
      strings.push_back(offset);
    }
  }
  return strings;
}

Enumerated EnumDrivers(const char* env, DWORD Level) {
  const size_t cbRecord = Level == 3 ? sizeof(DRIVER_INFO_3A) : sizeof(DRIVER_INFO_2A);
  return EnumerateChecked(
      [env, Level](LPBYTE p, DWORD cb, LPDWORD pcb, LPDWORD pc) {
        return EnumPrinterDriversA(nullptr, const_cast<LPSTR>(env), Level, p, cb, pcb, pc);
      },
      cbRecord, DriverStrings(Level));
}

// The bytes a string field owns in a level-3 buffer: from where it points up
// to the next string any record points at, or the end of the buffer. A list
// that shared its last NUL with the next field would show one byte short.
std::string OwnBytes(const Enumerated& list, const char* pText) {
  const char* pBegin = reinterpret_cast<const char*>(list.buffer.data());
  const char* pNext = pBegin + list.buffer.size();
  const DRIVER_INFO_3A* pRecords = list.Records<DRIVER_INFO_3A>();
  for (DWORD i = 0; i < list.count; ++i) {
    for (size_t offset : DriverStrings(3)) {
      const char* pOther = nullptr;
      memcpy(&pOther, reinterpret_cast<const BYTE*>(pRecords + i) + offset, sizeof pOther);
      if (pOther > pText && pOther < pNext) pNext = pOther;
    }
  }
  return std::string(pText, static_cast<size_t>(pNext - pText));
}

TEST_P(DriverTest, DriverIsStoredWhereWindowsKeepsIt) {
  ASSERT_TRUE(AddDriver("RT-2210", kEnvWin40, "Halden LM", "A.DLL\0B.DLL\0"));
  const std::string key = kEnvironments + (IsNT() ? "Windows 4.0\\Drivers\\Version-0\\RT-2210"
                                                  : "Windows 4.0\\Drivers\\RT-2210");
  EXPECT_EQ("RT2210.DRV", ReadValue(key, "Driver"));
  EXPECT_EQ("RT2210.DRV", ReadValue(key, "Data File"));
  EXPECT_EQ("RT2210UI.DLL", ReadValue(key, "Configuration File"));
  EXPECT_EQ("RT2210.HLP", ReadValue(key, "Help File"));
  EXPECT_EQ("Halden LM", ReadValue(key, "Monitor"));
  EXPECT_EQ("EMF", ReadValue(key, "Datatype"));
  DWORD dwType = REG_NONE;
  EXPECT_EQ(std::string("A.DLL\0B.DLL\0\0", 13), ReadValue(key, "Dependent Files", &dwType));
  EXPECT_EQ(static_cast<DWORD>(REG_MULTI_SZ), dwType);
  // NT takes the version from the environment; Windows 98 keeps the caller's.
  EXPECT_EQ(IsNT() ? 0u : 0x400u, ReadDword(key, "Version"));
}

TEST_P(DriverTest, OwnEnvironmentIsTheDefault) {
  ASSERT_TRUE(AddDriver("RT-2210", nullptr));
  ASSERT_TRUE(AddDriver("RT-2211", ""));
  const std::string drivers =
      kEnvironments + (IsNT() ? "Windows NT x86\\Drivers\\Version-3\\" : "Windows 4.0\\Drivers\\");
  EXPECT_TRUE(KeyExists(drivers + "RT-2210"));
  EXPECT_TRUE(KeyExists(drivers + "RT-2211"));
}

TEST_P(DriverTest, ExistingDriverIsReplaced) {
  ASSERT_TRUE(AddDriver("RT-2210", kEnvWin40, "Old LM"));
  SetLastError(0);
  EXPECT_TRUE(AddDriver("rt-2210", "windows 4.0", nullptr));
  const std::string key = DriversKey(kEnvWin40, IsNT()) + "\\RT-2210";
  EXPECT_EQ("", ReadValue(key, "Monitor")) << "the second call's record replaces the first";
  EXPECT_EQ(1u, EnumDrivers(kEnvWin40, 3).count);
}

TEST_P(DriverTest, EnvironmentsAreChecked) {
  SetLastError(0);
  EXPECT_FALSE(AddDriver("RT-2210", "Windows 95"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_ENVIRONMENT), GetLastError());
  SetLastError(0);
  EXPECT_EQ(IsNT(), AddDriver("RT-2210", "windows nt X86") != FALSE);
  if (!IsNT()) {
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_ENVIRONMENT), GetLastError());
  }
}

TEST_P(DriverTest, LevelsAndRequiredFields) {
  DRIVER_INFO_3A info = {};
  info.pName = const_cast<LPSTR>("RT-2210");
  info.pDriverPath = const_cast<LPSTR>("A.DRV");
  info.pDataFile = const_cast<LPSTR>("A.DRV");
  info.pConfigFile = const_cast<LPSTR>("A.DLL");
  PlaceDriverFiles(nullptr, {"A.DRV", "A.DLL"});
  LPBYTE pInfo = reinterpret_cast<LPBYTE>(&info);
  for (DWORD Level : {1u, 4u, 6u}) {
    EXPECT_FALSE(AddPrinterDriverA(nullptr, Level, pInfo));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_LEVEL), GetLastError()) << Level;
  }
  EXPECT_FALSE(AddPrinterDriverA(nullptr, 3, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  for (LPSTR* pField : {&info.pName, &info.pDriverPath, &info.pDataFile, &info.pConfigFile}) {
    LPSTR pSaved = *pField;
    *pField = nullptr;
    SetLastError(0);
    EXPECT_FALSE(AddPrinterDriverA(nullptr, 3, pInfo));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    *pField = pSaved;
  }
  // Level 2 leaves the level-3 fields alone, NULL or not.
  info.pHelpFile = reinterpret_cast<LPSTR>(1);
  EXPECT_TRUE(AddPrinterDriverA(nullptr, 2, pInfo));
  EXPECT_EQ("", ReadValue(DriversKey(OwnEnv(), IsNT()) + "\\RT-2210", "Help File"));
}

TEST_P(DriverTest, NothingInstalledEnumeratesAsEmpty) {
  DWORD cbNeeded = 0xDEADBEEF;
  DWORD cReturned = 0xDEADBEEF;
  SetLastError(0x55);
  EXPECT_TRUE(EnumPrinterDriversA(nullptr, const_cast<LPSTR>(kEnvWin40), 3, nullptr, 0, &cbNeeded,
                                  &cReturned));
  EXPECT_EQ(0u, cbNeeded);
  EXPECT_EQ(0u, cReturned);
  EXPECT_EQ(0x55u, GetLastError());
}

TEST_P(DriverTest, UnknownEnvironmentLeavesTheSizeAlone) {
  ASSERT_TRUE(AddDriver("RT-2210", kEnvWin40));
  DWORD cbNeeded = 0xDEADBEEF;
  DWORD cReturned = 0;
  EXPECT_FALSE(EnumPrinterDriversA(nullptr, const_cast<LPSTR>("Windows 3.1"), 3, nullptr, 0,
                                   &cbNeeded, &cReturned));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_ENVIRONMENT), GetLastError());
  EXPECT_EQ(0xDEADBEEFu, cbNeeded);
  if (!IsNT()) {
    EXPECT_FALSE(EnumPrinterDriversA(nullptr, const_cast<LPSTR>(kEnvNtX86), 3, nullptr, 0,
                                     &cbNeeded, &cReturned));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_ENVIRONMENT), GetLastError());
  }
  for (DWORD Level : {0u, 4u, 6u}) {
    EXPECT_FALSE(EnumPrinterDriversA(nullptr, const_cast<LPSTR>(kEnvWin40), Level, nullptr, 0,
                                     &cbNeeded, &cReturned));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_LEVEL), GetLastError()) << Level;
  }
}

// Level 1 is the name alone, on both systems.
TEST_P(DriverTest, LevelOneGivesTheNames) {
  ASSERT_TRUE(AddDriver("RT-2210", kEnvWin40));
  ASSERT_TRUE(AddDriver("RT-2211", kEnvWin40));
  Enumerated list = EnumerateChecked(
      [](LPBYTE p, DWORD cb, LPDWORD pcb, LPDWORD pc) {
        return EnumPrinterDriversA(nullptr, const_cast<LPSTR>(kEnvWin40), 1, p, cb, pcb, pc);
      },
      sizeof(DRIVER_INFO_1A), {offsetof(DRIVER_INFO_1A, pName)});
  ASSERT_EQ(2u, list.count);
  EXPECT_STREQ("RT-2210", list.Records<DRIVER_INFO_1A>()[0].pName);
  EXPECT_STREQ("RT-2211", list.Records<DRIVER_INFO_1A>()[1].pName);
  EXPECT_EQ(2 * sizeof(DRIVER_INFO_1A) + 2 * sizeof("RT-2210"), list.buffer.size())
      << "the records and the two names, nothing more";
}

// "all" lists every environment's drivers on NT (2000/XP); Windows 98, as
// NT 4, does not know the name.
TEST_P(DriverTest, AllEnvironmentsOnNTOnly) {
  ASSERT_TRUE(AddDriver("RT-2210", kEnvWin40));
  if (IsNT()) {
    ASSERT_TRUE(AddDriver("RT-2210 NT", kEnvNtX86));
  }
  DWORD cbNeeded = 0xDEADBEEF, cReturned = 0;
  if (!IsNT()) {
    EXPECT_FALSE(EnumPrinterDriversA(nullptr, const_cast<LPSTR>("all"), 2, nullptr, 0, &cbNeeded,
                                     &cReturned));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_ENVIRONMENT), GetLastError());
    EXPECT_EQ(0xDEADBEEFu, cbNeeded);
    return;
  }
  Enumerated list = EnumDrivers("ALL", 2);
  ASSERT_EQ(2u, list.count);
  const DRIVER_INFO_2A* pDrivers = list.Records<DRIVER_INFO_2A>();
  EXPECT_STREQ("RT-2210", pDrivers[0].pName);
  EXPECT_STREQ(kEnvWin40, pDrivers[0].pEnvironment);
  EXPECT_STREQ("C:\\WINDOWS\\system32\\spool\\DRIVERS\\WIN40\\0\\RT2210.DRV",
               pDrivers[0].pDriverPath);
  EXPECT_STREQ("RT-2210 NT", pDrivers[1].pName);
  EXPECT_STREQ(kEnvNtX86, pDrivers[1].pEnvironment);
  EXPECT_STREQ("C:\\WINDOWS\\system32\\spool\\DRIVERS\\W32X86\\3\\RT2210.DRV",
               pDrivers[1].pDriverPath);
}

TEST_P(DriverTest, LevelThreeRecordsReadLikeWindows) {
  ASSERT_TRUE(AddDriver("RT-2210", kEnvWin40, "Halden LM", "A.DLL\0B.DLL\0"));
  ASSERT_TRUE(AddDriver("RT-2211", kEnvWin40));
  Enumerated list = EnumDrivers(kEnvWin40, 3);
  ASSERT_EQ(2u, list.count);
  const DRIVER_INFO_3A* pFirst = list.Records<DRIVER_INFO_3A>();
  const DRIVER_INFO_3A* pDriver = std::string(pFirst[0].pName) == "RT-2210" ? pFirst : pFirst + 1;
  EXPECT_STREQ("RT-2210", pDriver->pName);
  EXPECT_STREQ(kEnvWin40, pDriver->pEnvironment);
  EXPECT_STREQ("Halden LM", pDriver->pMonitorName);
  EXPECT_STREQ("EMF", pDriver->pDefaultDataType);

  // Full paths: Windows 98 in its system directory, NT in its driver
  // directory for 9x clients.
  const std::string dir =
      IsNT() ? "C:\\WINDOWS\\system32\\spool\\DRIVERS\\WIN40\\0\\" : "C:\\WINDOWS\\SYSTEM\\";
  EXPECT_EQ(IsNT() ? 0u : 0x400u, pDriver->cVersion);
  EXPECT_EQ(dir + "RT2210.DRV", pDriver->pDriverPath);
  EXPECT_EQ(dir + "RT2210.DRV", pDriver->pDataFile);
  EXPECT_EQ(dir + "RT2210UI.DLL", pDriver->pConfigFile);
  EXPECT_EQ(dir + "RT2210.HLP", pDriver->pHelpFile);
  EXPECT_EQ(dir + "A.DLL" + '\0' + dir + "B.DLL" + '\0' + '\0',
            OwnBytes(list, pDriver->pDependentFiles))
      << "each name ends in a NUL, the list in a second";

  // An empty list is two NULs of its own, not one that borrows the next
  // field's terminator.
  const DRIVER_INFO_3A* pOther = pDriver == pFirst ? pFirst + 1 : pFirst;
  EXPECT_STREQ("", pOther->pMonitorName);
  EXPECT_EQ(std::string(2, '\0'), OwnBytes(list, pOther->pDependentFiles));
}

TEST_P(DriverTest, NativeDriversReportTheirVersionDirectory) {
  ASSERT_TRUE(AddDriver("RT-2210", nullptr));
  Enumerated list = EnumDrivers(nullptr, 2);
  ASSERT_EQ(1u, list.count);
  const DRIVER_INFO_2A& driver = list.Records<DRIVER_INFO_2A>()[0];
  EXPECT_STREQ(OwnEnv(), driver.pEnvironment);
  if (IsNT()) {
    EXPECT_EQ(3u, driver.cVersion);
    EXPECT_STREQ("C:\\WINDOWS\\system32\\spool\\DRIVERS\\W32X86\\3\\RT2210UI.DLL",
                 driver.pConfigFile);
  } else {
    EXPECT_STREQ("C:\\WINDOWS\\SYSTEM\\RT2210UI.DLL", driver.pConfigFile);
  }
}

// NT keeps drivers for 9x clients beside its own; Windows 98 has one environment.
using NtDriverTest = SpoolerTest;

TEST_P(NtDriverTest, EnvironmentsKeepTheirOwnDrivers) {
  ASSERT_TRUE(AddDriver("RT-2210", kEnvWin40));
  DWORD cbNeeded = 0;
  DWORD cReturned = 0;
  EXPECT_TRUE(EnumPrinterDriversA(nullptr, nullptr, 3, nullptr, 0, &cbNeeded, &cReturned));
  EXPECT_EQ(0u, cbNeeded);
}

TEST_P(DriverTest, PlannedFailures) {
  qzhost::FailCall("AddPrinterDriverA", ERROR_ACCESS_DENIED);
  EXPECT_FALSE(AddDriver("RT-2210", nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
  EXPECT_FALSE(KeyExists(DriversKey(OwnEnv(), IsNT()) + "\\RT-2210"));
  ASSERT_TRUE(AddDriver("RT-2210", nullptr));
  qzhost::FailCall("EnumPrinterDriversA", ERROR_NOT_ENOUGH_MEMORY);
  DWORD cbNeeded = 0;
  DWORD cReturned = 0;
  EXPECT_FALSE(EnumPrinterDriversA(nullptr, nullptr, 3, nullptr, 0, &cbNeeded, &cReturned));
  EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY), GetLastError());
}

INSTANTIATE_TEST_SUITE_P(Both, DriverTest,
                         ::testing::Values(Personality::kWin98, Personality::kWinNT),
                         PersonalityName);
INSTANTIATE_TEST_SUITE_P(NT, NtDriverTest, ::testing::Values(Personality::kWinNT), PersonalityName);

}  // namespace
}  // namespace spooltest
