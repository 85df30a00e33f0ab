// The spooler's monitor and port lists against the registry and WIN.INI as
// they stand: whoever changes them, and whenever, the next question gets the
// answer they give.
#include <sqlite3.h>
#include <string.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "platform/host/machine/machine.h"
#include "platform/host/registry/regfile.h"
#include "platform/host/registry/registry.h"
#include "tests/platform/spooler/spooler_test_util.h"

namespace spooltest {
namespace {

const std::string kPrint = "System\\CurrentControlSet\\Control\\Print\\";
const std::string kMonitors = kPrint + "Monitors\\";
const std::string kNtPorts = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Ports";

void CreateKey(const std::string& path) {
  HKEY hKey = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_LOCAL_MACHINE, path.c_str(), &hKey)) << path;
  RegCloseKey(hKey);
}

void SetString(const std::string& path, const char* name, const char* text) {
  HKEY hKey = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_LOCAL_MACHINE, path.c_str(), &hKey)) << path;
  EXPECT_EQ(ERROR_SUCCESS,
            RegSetValueExA(hKey, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                           static_cast<DWORD>(strlen(text) + 1)));
  RegCloseKey(hKey);
}

bool Contains(const std::vector<std::string>& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

// A statement run the way another program would (a script with the sqlite3
// shell): its own connection, knowing nothing of the spooler.
void ExecAsAnotherProgram(const std::string& db, const std::string& sql) {
  sqlite3* conn = nullptr;
  ASSERT_EQ(SQLITE_OK, sqlite3_open(db.c_str(), &conn));
  EXPECT_EQ(SQLITE_OK, sqlite3_exec(conn, sql.c_str(), nullptr, nullptr, nullptr))
      << sqlite3_errmsg(conn);
  sqlite3_close(conn);
}

int CountAsAnotherProgram(const std::string& db, const char* sql) {
  sqlite3* conn = nullptr;
  sqlite3_stmt* st = nullptr;
  int count = -1;
  if (sqlite3_open(db.c_str(), &conn) == SQLITE_OK &&
      sqlite3_prepare_v2(conn, sql, -1, &st, nullptr) == SQLITE_OK &&
      sqlite3_step(st) == SQLITE_ROW)
    count = sqlite3_column_int(st, 0);
  sqlite3_finalize(st);
  sqlite3_close(conn);
  return count;
}

// The SQL that finds the id of a key below HKEY_LOCAL_MACHINE (id 3) by its
// names, which are ASCII here: upper-cased as the registry stores them.
std::string KeyIdSql(const std::string& path) {
  std::string sql = "3";
  size_t start = 0;
  while (start < path.size()) {
    size_t end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    std::string upper = path.substr(start, end - start);
    for (char& ch : upper) ch = static_cast<char>(toupper(static_cast<unsigned char>(ch)));
    sql = "(SELECT id FROM keys WHERE parent = " + sql + " AND upper = CAST('" + upper +
          "' AS BLOB))";
    start = end + 1;
  }
  return sql;
}

class SpoolerListsTest : public MachineTest, public ::testing::WithParamInterface<Personality> {
 protected:
  qzhost::TestMachineOptions Options() const override {
    qzhost::TestMachineOptions options;
    options.os = GetParam();
    return options;
  }
  bool IsNT() const { return GetParam() == Personality::kWinNT; }
  std::string Db() const { return root_ + "/registry.db"; }
  // Ends this run and starts the next on the same machine.
  void NextRun() {
    qzhost::CloseMachineRegistry();
    qzhost::MachineConfig config;
    config.os = GetParam();
    qzhost::SetMachineForTest(root_, config, false);
  }
  qzhost::RegStore* Store() {
    DWORD error = 0;
    return qzhost::MachineRegistry(&error);
  }
  // Enough monitors and ports that a spooler might be tempted to remember
  // them between runs.
  void AddManyMonitorsAndPorts() {
    for (int i = 0; i < 150; ++i) {
      const std::string monitor = kMonitors + "Bench Monitor " + std::to_string(i);
      SetString(monitor, "Driver", "BMON.DLL");
      if (i % 10 == 0) CreateKey(monitor + "\\Ports\\CLAIM" + std::to_string(i) + ":");
      AddPortToRegistry("BENCH" + std::to_string(i) + ":");
    }
  }
  void AddPortToRegistry(const std::string& port) {
    if (IsNT()) {
      SetString(kNtPorts, port.c_str(), "");
    } else {
      CreateKey(kPrint + "Ports\\" + port);
    }
  }
  // A .reg file that adds a port and a monitor, as qzreg import applies it.
  std::string ImportText(const std::string& port, const std::string& monitor) const {
    std::string text = "REGEDIT4\r\n\r\n";
    if (IsNT()) {
      text += "[HKEY_LOCAL_MACHINE\\" + kNtPorts + "]\r\n\"" + port + "\"=\"\"\r\n\r\n";
    } else {
      text += "[HKEY_LOCAL_MACHINE\\" + kPrint + "Ports\\" + port + "]\r\n\r\n";
    }
    text += "[HKEY_LOCAL_MACHINE\\" + kMonitors + monitor + "]\r\n\"Driver\"=\"IMP.DLL\"\r\n";
    return text;
  }
  // Another process (qzreg import) commits the file while this run is at work.
  void ImportAsAnotherProcess(const std::string& text) {
    qzhost::RegStore other;
    std::string why;
    ASSERT_EQ(ERROR_SUCCESS, other.Open(
                                 Db(), 1252, [] { return DWORD{ERROR_SUCCESS}; }, &why))
        << why;
    qzhost::RegFileError error;
    ASSERT_EQ(ERROR_SUCCESS, qzhost::ImportRegText(&other, text, &error)) << error.message;
    other.Close();
  }
  std::vector<std::string> PortsWithMonitors() {
    std::vector<std::string> ports;
    Enumerated list = EnumPorts2();
    for (const PORT_INFO_2A& port : PortsOf(list))
      ports.push_back(std::string(port.pPortName) + " " + port.pMonitorName);
    return ports;
  }
  bool PortKnown(const char* port) {
    if (!AddDriver("RT-2210", nullptr) && GetLastError() != ERROR_PRINTER_DRIVER_ALREADY_INSTALLED)
      return false;
    const std::string printer = std::string("On ") + port;
    PRINTER_INFO_2A info = {};
    info.pPrinterName = const_cast<LPSTR>(printer.c_str());
    info.pPortName = const_cast<LPSTR>(port);
    info.pDriverName = const_cast<LPSTR>("RT-2210");
    info.pPrintProcessor = const_cast<LPSTR>("WinPrint");
    HANDLE hPrinter = AddPrinterA(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
    if (hPrinter == nullptr) return false;
    ClosePrinter(hPrinter);
    return true;
  }
};

// A run reads the lists in one snapshot of the registry; another process
// imports a port and a monitor and commits before that run ends. No run
// after it may answer with the lists of before the import.
TEST_P(SpoolerListsTest, AnImportCommittedWhileARunReadsIsListedByTheNextRuns) {
  AddManyMonitorsAndPorts();
  NextRun();
  Store()->PinReadSnapshot();  // the reader's snapshot lasts until it ends
  EXPECT_FALSE(Contains(PortNames(), "IMPORTED:"));
  EXPECT_FALSE(Contains(MonitorNames(), "Imported Monitor"));
  ImportAsAnotherProcess(ImportText("IMPORTED:", "Imported Monitor"));
  NextRun();  // the reader ends
  for (int run = 0; run < 2; ++run) {
    EXPECT_TRUE(Contains(PortNames(), "IMPORTED:")) << "run " << run;
    EXPECT_TRUE(Contains(MonitorNames(), "Imported Monitor")) << "run " << run;
    NextRun();
  }
  EXPECT_TRUE(PortKnown("IMPORTED:"));
}

// Within one run, the lists follow another process's commit as soon as the
// run's read snapshot ends.
TEST_P(SpoolerListsTest, ARunSeesAnotherProcesssCommitWhenItsSnapshotEnds) {
  AddManyMonitorsAndPorts();
  NextRun();
  Store()->PinReadSnapshot();
  const std::vector<std::string> before = PortNames();
  ImportAsAnotherProcess(ImportText("LATE:", "Late Monitor"));
  EXPECT_EQ(before, PortNames()) << "one snapshot, one answer";
  Store()->UnpinReadSnapshot();
  EXPECT_TRUE(Contains(PortNames(), "LATE:"));
  EXPECT_TRUE(Contains(MonitorNames(), "Late Monitor"));
  EXPECT_TRUE(PortKnown("LATE:"));
}

// A script with the sqlite3 shell writes the tables themselves.
TEST_P(SpoolerListsTest, RowsWrittenByAnotherProgramAreListed) {
  AddManyMonitorsAndPorts();
  NextRun();
  MonitorNames();
  PortNames();
  const std::string monitors = KeyIdSql(kMonitors.substr(0, kMonitors.size() - 1));
  std::string sql = "INSERT INTO keys(parent, name, upper) SELECT " + monitors +
                    ", 'Shell Monitor', CAST('SHELL MONITOR' AS BLOB);"
                    "INSERT INTO vals(key, name, upper, type, data) SELECT " +
                    KeyIdSql(kMonitors + "Shell Monitor") +
                    ", 'Driver', CAST('DRIVER' AS BLOB), 1, CAST('SHELL.DLL' AS BLOB);"
                    "DELETE FROM keys WHERE id = " +
                    KeyIdSql(kMonitors + "Bench Monitor 7") + ";";
  if (IsNT()) {
    sql += "INSERT INTO vals(key, name, upper, type, data) SELECT " + KeyIdSql(kNtPorts) +
           ", 'SHELL:', CAST('SHELL:' AS BLOB), 1, x'00';";
  } else {
    sql += "INSERT INTO keys(parent, name, upper) SELECT " + KeyIdSql(kPrint + "Ports") +
           ", 'SHELL:', CAST('SHELL:' AS BLOB);";
  }
  NextRun();
  ExecAsAnotherProgram(Db(), sql);
  const std::vector<std::string> monitorNames = MonitorNames();
  EXPECT_TRUE(Contains(monitorNames, "Shell Monitor"));
  EXPECT_FALSE(Contains(monitorNames, "Bench Monitor 7"));
  EXPECT_TRUE(Contains(PortNames(), "SHELL:"));
}

// A registry of an earlier version kept lists in two tables, counted by
// triggers; it opens and works, and loses them once it may be written.
TEST_P(SpoolerListsTest, ARegistryOfAnEarlierVersionOpensAndDropsItsKeptLists) {
  AddManyMonitorsAndPorts();
  NextRun();
  std::string old =
      "CREATE TABLE IF NOT EXISTS area_changes(area TEXT PRIMARY KEY, count INTEGER NOT NULL);"
      "INSERT OR IGNORE INTO area_changes VALUES('monitors', 0), ('ports', 0),"
      " ('other programs', 0);"
      "CREATE TABLE IF NOT EXISTS kept_lists(name TEXT PRIMARY KEY, area TEXT NOT NULL,"
      " count INTEGER NOT NULL, others INTEGER NOT NULL, signature BLOB NOT NULL,"
      " data BLOB NOT NULL);"
      "INSERT INTO kept_lists VALUES('spooler ports', 'ports', 0, 0, x'00', x'05');";
  for (const char* table : {"keys", "vals"}) {
    for (const char* event : {"INSERT", "DELETE", "UPDATE"}) {
      old += std::string("CREATE TRIGGER IF NOT EXISTS ") + table + "_" + event +
             "_by_others AFTER " + event + " ON " + table +
             " BEGIN UPDATE area_changes SET count = count + 1"
             " WHERE area = 'other programs'; END;";
    }
  }
  // What the earlier versions did not have, and the index they had instead.
  old +=
      "DROP INDEX keys_listed; DROP TABLE driver_values;"
      "CREATE INDEX vals_named_driver ON vals(key, upper, type, data)"
      " WHERE upper = x'445249564552';";
  for (const char* change :
       {"key_insert", "key_update", "key_delete", "value_insert", "value_update", "value_delete"})
    old += std::string("DROP TRIGGER driver_values_") + change + ";";
  qzhost::CloseMachineRegistry();
  ExecAsAnotherProgram(Db(), old);
  NextRun();
  AddPortToRegistry("AFTER:");
  EXPECT_TRUE(Contains(PortNames(), "AFTER:"));
  EXPECT_TRUE(Contains(PortNames(), "BENCH149:"));
  EXPECT_TRUE(PortKnown("AFTER:"));
  NextRun();
  EXPECT_EQ(0, CountAsAnotherProgram(Db(),
                                     "SELECT count(*) FROM sqlite_master WHERE name IN"
                                     " ('kept_lists', 'area_changes', 'vals_named_driver')"
                                     " OR name GLOB '*_by_others'"));
  EXPECT_EQ(9, CountAsAnotherProgram(Db(),
                                     "SELECT count(*) FROM sqlite_master WHERE name IN"
                                     " ('keys_named_ports', 'keys_listed', 'driver_values')"
                                     " OR name GLOB 'driver_values_*'"));
  // The Driver values of the monitors made before are in the new table.
  EXPECT_EQ(CountAsAnotherProgram(Db(), "SELECT count(*) FROM vals WHERE upper = x'445249564552'"),
            CountAsAnotherProgram(Db(), "SELECT count(*) FROM driver_values"));
  EXPECT_LT(100, CountAsAnotherProgram(Db(), "SELECT count(*) FROM driver_values"));
  EXPECT_TRUE(Contains(PortNames(), "AFTER:"));
}

// The monitors that claim ports are found through an index of the keys named
// Ports: only an installed monitor's claims count, and without the index (a
// registry of an earlier version, not yet written) the answer is the same.
TEST_P(SpoolerListsTest, OnlyInstalledMonitorsWithAPortsKeyClaimPorts) {
  AddManyMonitorsAndPorts();
  CreateKey(kMonitors + "No Driver\\Ports\\NODRIVER:");
  CreateKey("Software\\Elsewhere\\Ports\\ELSEWHERE:");
  CreateKey(kMonitors + "Bench Monitor 3\\Ports");  // claims nothing
  SetString(kMonitors + "Bench Monitor 3\\Ports", "VALUE:", "");
  NextRun();
  const std::vector<std::string> ports = PortsWithMonitors();
  const auto claims = std::count_if(ports.begin(), ports.end(), [](const std::string& port) {
    return port.rfind("CLAIM", 0) == 0;
  });
  EXPECT_EQ(15, claims);
  EXPECT_TRUE(Contains(ports, "CLAIM140: Bench Monitor 140"));
  EXPECT_TRUE(Contains(ports, "VALUE: Bench Monitor 3"));
  for (const char* port : {"NODRIVER:", "ELSEWHERE:"}) {
    EXPECT_EQ(ports.end(), std::find_if(ports.begin(), ports.end(), [port](const std::string& p) {
                return p.rfind(port, 0) == 0;
              }));
  }
  ExecAsAnotherProgram(Db(), "DROP INDEX keys_named_ports");
  Store()->PinReadSnapshot();  // a snapshot that sees the change
  EXPECT_EQ(ports, PortsWithMonitors());
  Store()->UnpinReadSnapshot();
}

// Monitors' Driver values are read from the table kept of such values:
// monitors made apart, Driver values of other keys among them, a monitor key
// without one, a value rewritten, all list as the registry holds them, with
// the table or without it (a registry of an earlier version, not yet written).
TEST_P(SpoolerListsTest, MonitorsMadeTogetherOrApartAreListedWithTheirDlls) {
  std::vector<std::string> expected;
  for (int i = 0; i < 300; ++i) {
    const std::string name = "Mon " + std::to_string(1000 + i);
    if (i % 7 == 3) {
      CreateKey(kMonitors + name);  // no Driver value: not installed
    } else {
      SetString(kMonitors + name, "Driver", (std::to_string(i) + ".DLL").c_str());
      expected.push_back(name + " " + std::to_string(i) + ".DLL");
    }
    if (i % 50 == 0) {
      for (int other = 0; other < 100; ++other)  // ids between the monitors'
        SetString("Software\\Other\\K" + std::to_string(i * 100 + other), "Driver", "X.DLL");
    }
  }
  SetString(kMonitors + "Mon 1151", "Driver", "REWRITTEN.DLL");
  const auto rewritten = std::find(expected.begin(), expected.end(), "Mon 1151 151.DLL");
  ASSERT_NE(expected.end(), rewritten);
  *rewritten = "Mon 1151 REWRITTEN.DLL";
  SetString(kMonitors + "AAA Late", "Driver", "LATE.DLL");
  expected.insert(expected.begin(), "AAA Late LATE.DLL");
  ASSERT_TRUE(AddMonitor("Zed Added", nullptr, "ZED.DLL"));
  expected.push_back("Zed Added ZED.DLL");
  NextRun();
  // As EnumMonitorsA lists them: with their DLLs on NT (level 2), by their
  // names on Windows 98 (level 1 only).
  auto listed = [this] {
    auto ours = [](const std::string& name) {
      return name.rfind("Mon ", 0) == 0 || name == "AAA Late" || name == "Zed Added";
    };
    std::vector<std::string> monitors;
    if (!IsNT()) {
      for (const std::string& name : MonitorNames())
        if (ours(name)) monitors.push_back(name);
      return monitors;
    }
    Enumerated list =
        EnumerateChecked([](LPBYTE p, DWORD cb, LPDWORD pcb,
                            LPDWORD pc) { return EnumMonitorsA(nullptr, 2, p, cb, pcb, pc); },
                         sizeof(MONITOR_INFO_2A),
                         {offsetof(MONITOR_INFO_2A, pName), offsetof(MONITOR_INFO_2A, pEnvironment),
                          offsetof(MONITOR_INFO_2A, pDLLName)});
    for (DWORD i = 0; i < list.count; ++i) {
      const MONITOR_INFO_2A& m = list.Records<MONITOR_INFO_2A>()[i];
      if (ours(m.pName)) monitors.push_back(std::string(m.pName) + " " + m.pDLLName);
    }
    return monitors;
  };
  if (!IsNT()) {
    for (std::string& e : expected) e = e.substr(0, e.rfind(' '));
  }
  EXPECT_EQ(expected, listed());
  std::string earlier = "DROP TABLE driver_values;";
  for (const char* change :
       {"key_insert", "key_update", "key_delete", "value_insert", "value_update", "value_delete"})
    earlier += std::string("DROP TRIGGER driver_values_") + change + ";";
  ExecAsAnotherProgram(Db(), earlier);
  Store()->PinReadSnapshot();  // a snapshot that sees the change
  EXPECT_EQ(expected, listed());
  Store()->UnpinReadSnapshot();
}

// Monitors are listed in the order RegEnumKeyExA gives their keys, also
// where names are not ASCII.
TEST_P(SpoolerListsTest, MonitorsComeInTheOrderOfTheirKeys) {
  for (const char* name :
       {"\xC4rger", "Zed", "\x8Aka", "abc", "\x80uro", "\xE9t\xE9", "_under", "\xDF"})
    SetString(kMonitors + name, "Driver", "M.DLL");
  NextRun();
  std::vector<std::string> keys;
  HKEY hKey = nullptr;
  ASSERT_EQ(ERROR_SUCCESS,
            RegOpenKeyExA(HKEY_LOCAL_MACHINE, kMonitors.substr(0, kMonitors.size() - 1).c_str(), 0,
                          KEY_READ, &hKey));
  char name[256];
  for (DWORD i = 0;; ++i) {
    DWORD cchName = sizeof name;
    if (RegEnumKeyExA(hKey, i, name, &cchName, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      break;
    keys.push_back(name);
  }
  RegCloseKey(hKey);
  EXPECT_EQ(keys, MonitorNames());
}

// Another program may give the tables indexes of its own; the lists keep the
// registry's order (by upper-cased names), not the order such an index holds.
TEST_P(SpoolerListsTest, ListsKeepTheirOrderWhateverIndexesAnotherProgramAdds) {
  for (const char* name : {"Gamma", "delta", "beta", "Alpha"})
    SetString(kMonitors + name, "Driver", "M.DLL");
  ExecAsAnotherProgram(
      Db(),
      "CREATE INDEX other_keys ON keys(parent, name DESC);"
      "CREATE INDEX other_drivers ON driver_values(parent, name DESC, data, type);");
  NextRun();
  const std::vector<std::string> expected = {"Alpha", "beta", "delta", "Gamma"};
  const auto ours = [&expected](std::vector<std::string> names) {
    names.erase(std::remove_if(names.begin(), names.end(),
                               [&expected](const std::string& name) {
                                 return std::find(expected.begin(), expected.end(), name) ==
                                        expected.end();
                               }),
                names.end());
    return names;
  };
  EXPECT_EQ(expected, ours(MonitorNames()));
  HKEY hKey = nullptr;
  ASSERT_EQ(ERROR_SUCCESS,
            RegOpenKeyExA(HKEY_LOCAL_MACHINE, kMonitors.substr(0, kMonitors.size() - 1).c_str(), 0,
                          KEY_READ, &hKey));
  std::vector<std::string> keys;
  char name[256];
  for (DWORD cchName = sizeof name;
       RegEnumKeyExA(hKey, static_cast<DWORD>(keys.size()), name, &cchName, nullptr, nullptr,
                     nullptr, nullptr) == ERROR_SUCCESS;
       cchName = sizeof name)
    keys.push_back(name);
  RegCloseKey(hKey);
  EXPECT_EQ(expected, ours(keys));
}

INSTANTIATE_TEST_SUITE_P(Both, SpoolerListsTest,
                         ::testing::Values(Personality::kWin98, Personality::kWinNT),
                         PersonalityName);

// Windows 98 lists WIN.INI's [Ports] in file order, then the Ports key's
// subkeys in the registry's order, then the ports monitors claim; a name
// found twice stays where it was found first. LPT and COM ports are Windows
// 98's own monitor's; any other port is served by the monitor that claims it.
class Win98PortOrderTest : public MachineTest {};

TEST_F(Win98PortOrderTest, WinIniFirstThenSubkeysThenClaims) {
  ASSERT_TRUE(WriteProfileStringA("Ports", nullptr, nullptr));
  for (const char* name : {"ZINI:", "claimed:", "AINI:", "LPT1:"})
    ASSERT_TRUE(WriteProfileStringA("Ports", name, ""));
  for (const char* name : {"mkey:", "Akey:", "zini:", "COM9:", "CLAIMED2:"})
    CreateKey(kPrint + "Ports\\" + name);
  ASSERT_TRUE(AddMonitor("Halden Port", nullptr, "HLDNMON.DLL"));
  for (const char* name : {"OWN:", "CLAIMED:", "claimed2:", "LPT1:", "COM9:"})
    CreateKey(kMonitors + "Halden Port\\Ports\\" + name);
  SetString(kMonitors + "Halden Port\\Ports", "VALUE:", "");

  std::vector<std::string> listed;
  Enumerated list = EnumPorts2();
  for (const PORT_INFO_2A& port : PortsOf(list)) {
    listed.push_back(std::string(port.pPortName) + " " + port.pMonitorName);
    // Each monitor describes its ports by its name, never all as local ones.
    EXPECT_STREQ(port.pMonitorName, port.pDescription) << port.pPortName;
  }
  const std::vector<std::string> expected = {
      "ZINI: Local Port", "claimed: Halden Port",  "AINI: Local Port", "LPT1: Local Port",
      "Akey: Local Port", "CLAIMED2: Halden Port", "COM9: Local Port", "mkey: Local Port",
      "OWN: Halden Port", "VALUE: Halden Port",
  };
  EXPECT_EQ(expected, listed);
}

// A name WIN.INI repeats, in another case too or with bytes after a NUL
// (which a reader of the record does not see), is listed once, where the file
// has it first; a line without a name is no port.
TEST_F(Win98PortOrderTest, RepeatedWinIniNamesAreListedOnceWhereFirstFound) {
  WriteRootFile("drive_c/WINDOWS/WIN.INI",
                "[windows]\r\nload=\r\n[Ports]\r\nNET1:=\r\nlpt1:=\r\nnet1:=x\r\n=novalue\r\n"
                "NET2:=\r\nNet1:=\r\nnet2:" +
                    std::string(1, '\0') + "junk=\r\n[Ports]\r\nNET3:=\r\n");
  std::vector<std::string> ours;
  for (const std::string& name : PortNames()) {
    std::string upper = name;
    for (char& c : upper) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    if (upper.rfind("NET", 0) == 0 || upper == "LPT1:" || name.empty()) ours.push_back(name);
  }
  EXPECT_EQ((std::vector<std::string>{"NET1:", "lpt1:", "NET2:"}), ours);
}

}  // namespace
}  // namespace spooltest
