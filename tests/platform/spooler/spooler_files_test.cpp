// Contract tests of the emulated spooler: the files of monitors, drivers and
// print processors, looked for where Windows takes them from.
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/platform/spooler/spooler_test_util.h"

namespace spooltest {
namespace {

using qzhost::spool::kEnvNtX86;
using qzhost::spool::kEnvWin40;

using FilesTest = SpoolerTest;
using NtFilesTest = SpoolerTest;

const std::string kMonitors = "System\\CurrentControlSet\\Control\\Print\\Monitors\\";
const std::string kEnvironments = "System\\CurrentControlSet\\Control\\Print\\Environments\\";

BOOL AddMonitorOnly(const char* name, const char* dll) {
  MONITOR_INFO_2A info = {const_cast<LPSTR>(name), nullptr, const_cast<LPSTR>(dll)};
  return AddMonitorA(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
}

// A level-3 driver of the example's four files and one dependent file,
// nothing put in place.
struct ExampleDriver {
  DRIVER_INFO_3A info = {};
  explicit ExampleDriver(const char* env) {
    info.pName = const_cast<LPSTR>("RT-2210");
    info.pEnvironment = const_cast<LPSTR>(env);
    info.pDriverPath = const_cast<LPSTR>("HRT2210.DRV");
    info.pDataFile = const_cast<LPSTR>("HRT2210.DAT");
    info.pConfigFile = const_cast<LPSTR>("HRT2210U.DLL");
    info.pHelpFile = const_cast<LPSTR>("HRT2210.HLP");
    info.pDependentFiles = const_cast<LPSTR>("HRTFONT.DAT\0");
  }
  BOOL Add() { return AddPrinterDriverA(nullptr, 3, reinterpret_cast<LPBYTE>(&info)); }
  static std::vector<std::string> Files() {
    return {"HRT2210.DRV", "HRT2210.DAT", "HRT2210U.DLL", "HRT2210.HLP", "HRTFONT.DAT"};
  }
};

void RemoveTestFiles(const std::string& folder, const std::vector<std::string>& files) {
  for (const std::string& file : files) unlink(qzhost::MapWindowsPath(folder + file).c_str());
}

bool IsFolder(const std::string& windowsPath) {
  struct stat st;
  std::string path = qzhost::MapWindowsPath(windowsPath);
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

TEST_P(FilesTest, MonitorDllComesFromTheSystemDirectory) {
  const DWORD dwMissing = IsNT() ? ERROR_MOD_NOT_FOUND : ERROR_INVALID_PARAMETER;
  SetLastError(0);
  EXPECT_FALSE(AddMonitorOnly("Halden Port", "HLDNMON.DLL"));
  EXPECT_EQ(dwMissing, GetLastError());
  EXPECT_FALSE(KeyExists(kMonitors + "Halden Port"));
  // In the Windows directory it is not where Windows loads it from.
  PlaceFile("C:\\WINDOWS\\HLDNMON.DLL");
  EXPECT_FALSE(AddMonitorOnly("Halden Port", "HLDNMON.DLL"));
  EXPECT_EQ(dwMissing, GetLastError());
  // A name with a path is not looked for there either.
  EXPECT_FALSE(AddMonitorOnly("Halden Port", "C:\\WINDOWS\\HLDNMON.DLL"));
  EXPECT_EQ(dwMissing, GetLastError());
  PlaceFile(IsNT() ? "C:\\WINDOWS\\system32\\hldnmon.dll" : "C:\\WINDOWS\\SYSTEM\\hldnmon.dll");
  EXPECT_TRUE(AddMonitorOnly("Halden Port", "HLDNMON.DLL")) << "names match without case";
  EXPECT_EQ("HLDNMON.DLL", ReadValue(kMonitors + "Halden Port", "Driver"));
}

TEST_P(FilesTest, InstalledMonitorsAnswerBeforeTheirFileIsLookedFor) {
  // The built-in Local Port has no DLL of its own on the disk.
  SetLastError(0);
  EXPECT_FALSE(AddMonitorOnly("Local Port", "NOWHERE.DLL"));
  EXPECT_EQ(IsNT() ? static_cast<DWORD>(ERROR_PRINT_MONITOR_ALREADY_INSTALLED)
                   : static_cast<DWORD>(ERROR_ALREADY_EXISTS),
            GetLastError());
}

TEST_P(FilesTest, DriverFilesComeFromThePrinterDriverDirectory) {
  const std::string folder =
      IsNT() ? "C:\\WINDOWS\\system32\\spool\\DRIVERS\\W32X86\\" : "C:\\WINDOWS\\SYSTEM\\";
  const std::vector<std::string> files = ExampleDriver::Files();
  // Each file missing in turn, the others in place: 2, and nothing stored.
  for (size_t missing = 0; missing < files.size(); ++missing) {
    RemoveTestFiles(folder, files);
    for (size_t i = 0; i < files.size(); ++i)
      if (i != missing) PlaceFile(folder + files[i]);
    ExampleDriver driver(nullptr);
    SetLastError(0);
    EXPECT_FALSE(driver.Add()) << files[missing];
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError()) << files[missing];
    EXPECT_FALSE(KeyExists(qzhost::spool::DriversKey(OwnEnv(), IsNT()) + "\\RT-2210"));
  }
  PlaceFile(folder + files.back());  // the one the last round left out
  ExampleDriver driver(nullptr);
  EXPECT_TRUE(driver.Add());
  // A driver replaced later is copied again: its files must still be there.
  RemoveTestFiles(folder, {files[1]});
  EXPECT_FALSE(driver.Add());
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
}

TEST_P(FilesTest, AbsentHelpFileNeedsNoFileAndAFullPathIsTakenAsGiven) {
  ExampleDriver driver(kEnvWin40);
  driver.info.pHelpFile = const_cast<LPSTR>("");
  driver.info.pDependentFiles = nullptr;
  driver.info.pDriverPath = const_cast<LPSTR>("C:\\RT2210\\HRT2210.DRV");
  PlaceDriverFiles(kEnvWin40, {"HRT2210.DAT", "HRT2210U.DLL", "HRT2210.DRV"});
  EXPECT_FALSE(driver.Add()) << "the full path names C:\\RT2210, where nothing is";
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
  ASSERT_EQ(0, mkdir(qzhost::MapWindowsPath("C:\\RT2210").c_str(), 0700));
  PlaceFile("C:\\RT2210\\HRT2210.DRV");
  EXPECT_TRUE(driver.Add());
}

TEST_P(NtFilesTest, EachEnvironmentHasItsOwnDriverDirectory) {
  for (const char* folder : {"C:\\WINDOWS\\system32\\spool\\DRIVERS\\W32X86",
                             "C:\\WINDOWS\\system32\\spool\\DRIVERS\\WIN40",
                             "C:\\WINDOWS\\system32\\spool\\PRTPROCS\\W32X86",
                             "C:\\WINDOWS\\system32\\spool\\PRTPROCS\\WIN40"}) {
    EXPECT_TRUE(IsFolder(folder)) << folder << " is on a fresh NT machine";
  }
  for (const std::string& file : ExampleDriver::Files())
    PlaceFile("C:\\WINDOWS\\system32\\spool\\DRIVERS\\W32X86\\" + file);
  ExampleDriver forWin40(kEnvWin40);
  EXPECT_FALSE(forWin40.Add()) << "the \"Windows 4.0\" files belong in WIN40";
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
  for (const std::string& file : ExampleDriver::Files())
    PlaceFile("C:\\WINDOWS\\system32\\spool\\DRIVERS\\WIN40\\" + file);
  EXPECT_TRUE(forWin40.Add());
  ExampleDriver forNT(kEnvNtX86);
  EXPECT_TRUE(forNT.Add());
}

TEST_P(FilesTest, PrintProcessorDllComesFromThePrintProcessorDirectory) {
  const DWORD dwMissing = IsNT() ? ERROR_MOD_NOT_FOUND : ERROR_INVALID_PARAMETER;
  LPSTR env = const_cast<LPSTR>(kEnvWin40);
  SetLastError(0);
  EXPECT_FALSE(AddPrintProcessorA(nullptr, env, const_cast<LPSTR>("HLDNPP.DLL"),
                                  const_cast<LPSTR>("HaldenPP")));
  EXPECT_EQ(dwMissing, GetLastError());
  EXPECT_FALSE(KeyExists(kEnvironments + "Windows 4.0\\Print Processors\\HaldenPP"));
  PlaceFile(std::string(qzhost::SystemDirectory()) + "\\HLDNPP.DLL");
  if (IsNT()) {
    EXPECT_FALSE(AddPrintProcessorA(nullptr, env, const_cast<LPSTR>("HLDNPP.DLL"),
                                    const_cast<LPSTR>("HaldenPP")))
        << "NT takes it from spool\\PRTPROCS\\WIN40, not the system directory";
    EXPECT_EQ(dwMissing, GetLastError());
    PlaceFile("C:\\WINDOWS\\system32\\spool\\PRTPROCS\\WIN40\\HLDNPP.DLL");
  }
  EXPECT_TRUE(AddPrintProcessorA(nullptr, env, const_cast<LPSTR>("HLDNPP.DLL"),
                                 const_cast<LPSTR>("HaldenPP")));
  // The built-in WinPrint is answered as installed, with no file of its own.
  EXPECT_FALSE(AddPrintProcessorA(nullptr, env, const_cast<LPSTR>("NOWHERE.DLL"),
                                  const_cast<LPSTR>("WinPrint")));
  EXPECT_EQ(static_cast<DWORD>(ERROR_PRINT_PROCESSOR_ALREADY_INSTALLED), GetLastError());
}

INSTANTIATE_TEST_SUITE_P(Both, FilesTest,
                         ::testing::Values(Personality::kWin98, Personality::kWinNT),
                         PersonalityName);
INSTANTIATE_TEST_SUITE_P(NT, NtFilesTest, ::testing::Values(Personality::kWinNT), PersonalityName);

}  // namespace
}  // namespace spooltest
