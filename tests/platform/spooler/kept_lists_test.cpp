// Lists kept in the registry between runs: when they hold, and when a change
// makes the next run read the registry again.
#include <sqlite3.h>
#include <string.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "platform/host/machine/machine.h"
#include "platform/host/registry/registry.h"
#include "platform/host/spooler/spooler_kept.h"
#include "tests/platform/spooler/spooler_test_util.h"

namespace {

const std::string kPrint = "System\\CurrentControlSet\\Control\\Print\\";
const std::string kMonitors = kPrint + "Monitors\\";

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

// Runs one statement the way another program would: its own connection.
void ExecAsAnotherProgram(const std::string& dbPath, const char* sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(SQLITE_OK, sqlite3_open(dbPath.c_str(), &db));
  EXPECT_EQ(SQLITE_OK, sqlite3_exec(db, sql, nullptr, nullptr, nullptr)) << sqlite3_errmsg(db);
  sqlite3_close(db);
}

int CountAsAnotherProgram(const std::string& dbPath, const char* sql) {
  sqlite3* db = nullptr;
  int count = -1;
  sqlite3_stmt* st = nullptr;
  if (sqlite3_open(dbPath.c_str(), &db) == SQLITE_OK &&
      sqlite3_prepare_v2(db, sql, -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
    count = sqlite3_column_int(st, 0);
  sqlite3_finalize(st);
  sqlite3_close(db);
  return count;
}

class KeptListTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    DWORD error = 0;
    store_ = qzhost::MachineRegistry(&error);
    ASSERT_NE(nullptr, store_);
  }
  void Keep(const char* name, const char* area) {
    ASSERT_TRUE(store_->StoreKeptList(name, area, "sig", "data of " + std::string(name)));
  }
  bool Current(const char* name) {
    std::string data;
    return store_->ReadKeptList(name, "sig", ReadInto(&data)) &&
           data == "data of " + std::string(name);
  }
  static qzhost::RegStore::KeptReader ReadInto(std::string* data) {
    return [data](std::string_view stored) {
      data->assign(stored);
      return true;
    };
  }
  qzhost::RegStore* store_ = nullptr;
};

TEST_F(KeptListTest, AListHoldsUntilItsPartChanges) {
  CreateKey(kMonitors + "Claimer\\Ports");
  Keep("monitors", "monitors");
  Keep("ports", "ports");
  EXPECT_TRUE(Current("monitors"));
  std::string data;
  EXPECT_FALSE(store_->ReadKeptList("monitors", "other signature", ReadInto(&data)));
  EXPECT_FALSE(store_->ReadKeptList("never kept", "sig", ReadInto(&data)));

  SetString("Software\\QzTest", "Elsewhere", "x");
  CreateKey(kPrint + "Environments\\Windows 4.0\\Drivers\\Some Driver");
  EXPECT_TRUE(Current("monitors") && Current("ports")) << "changes elsewhere do not count";

  // A monitor without ports of its own changes the monitors, not the ports.
  SetString(kMonitors + "Quiet", "Driver", "QUIET.DLL");
  EXPECT_FALSE(Current("monitors"));
  EXPECT_TRUE(Current("ports"));

  Keep("monitors", "monitors");
  SetString(kMonitors + "Quiet", "Driver", "OTHER.DLL");
  EXPECT_FALSE(Current("monitors")) << "a value rewritten";

  // Installing the monitor that has a Ports subkey changes both.
  Keep("monitors", "monitors");
  SetString(kMonitors + "Claimer", "Driver", "CLAIM.DLL");
  EXPECT_FALSE(Current("monitors"));
  EXPECT_FALSE(Current("ports"));

  // Ports: a key below a Ports key, a value of one, a new Ports subkey.
  const std::vector<std::function<void()>> portChanges = {
      [] { CreateKey(kPrint + "Ports\\NEW1:"); },
      [] { SetString(kMonitors + "Claimer\\Ports", "NEW2:", ""); },
      [] { CreateKey(kMonitors + "Quiet\\Ports"); },
  };
  for (size_t i = 0; i < portChanges.size(); ++i) {
    Keep("ports", "ports");
    portChanges[i]();
    EXPECT_FALSE(Current("ports")) << "change " << i;
  }
}

TEST_F(KeptListTest, RemovingATreeCountsForBothParts) {
  CreateKey(kPrint + "Old\\Monitors\\Gone");
  Keep("monitors", "monitors");
  Keep("ports", "ports");
  ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_LOCAL_MACHINE, (kPrint + "Old").c_str()));
  EXPECT_FALSE(Current("monitors"));
  EXPECT_FALSE(Current("ports"));
}

// A count made inside a nested transaction that is rolled back must not take
// the count of the change before it along.
TEST_F(KeptListTest, AChangeCountsEvenWhenALaterSavepointIsRolledBack) {
  Keep("monitors", "monitors");
  {
    qzhost::RegTransaction outer(store_);
    ASSERT_EQ(ERROR_SUCCESS, outer.Status());
    SetString(kMonitors + "Inside", "Driver", "IN.DLL");
    {
      qzhost::RegTransaction inner(store_);
      EXPECT_FALSE(Current("monitors")) << "the open change is seen";
    }
    EXPECT_EQ(ERROR_SUCCESS, outer.Commit());
  }
  EXPECT_FALSE(Current("monitors"));
  Keep("monitors", "monitors");
  {
    qzhost::RegTransaction rolledBack(store_);
    SetString(kMonitors + "Never", "Driver", "NEVER.DLL");
  }
  EXPECT_TRUE(Current("monitors")) << "a change rolled back changes nothing";
}

TEST_F(KeptListTest, ChangesOfOtherProgramsMakeEveryListStale) {
  Keep("monitors", "monitors");
  qzhost::CloseMachineRegistry();
  ExecAsAnotherProgram(root_ + "/registry.db",
                       "UPDATE vals SET data = X'00' WHERE id = (SELECT max(id) FROM vals)");
  DWORD error = 0;
  store_ = qzhost::MachineRegistry(&error);
  ASSERT_NE(nullptr, store_);
  EXPECT_FALSE(Current("monitors"));
}

TEST_F(KeptListTest, ARegistryWithoutThemGetsThemOnItsNextOpen) {
  qzhost::CloseMachineRegistry();
  const std::string db = root_ + "/registry.db";
  ExecAsAnotherProgram(db,
                       "DROP TABLE kept_lists; DROP TABLE area_changes;"
                       " DROP TRIGGER keys_INSERT_by_others; DROP TRIGGER vals_UPDATE_by_others;");
  DWORD error = 0;
  store_ = qzhost::MachineRegistry(&error);
  ASSERT_NE(nullptr, store_);
  Keep("monitors", "monitors");
  EXPECT_TRUE(Current("monitors"));
  qzhost::CloseMachineRegistry();
  EXPECT_EQ(2, CountAsAnotherProgram(db,
                                     "SELECT count(*) FROM sqlite_master WHERE name IN"
                                     " ('keys_INSERT_by_others', 'vals_UPDATE_by_others')"));
}

TEST(KeptListFormat, EncodingRoundTripsAndRefusesDamage) {
  using namespace qzhost::spool;
  MonitorList monitors;
  monitors.Add("Local Port", "localmon.dll", false);
  monitors.Add(std::string_view("odd\0name", 8), "", true);  // a reader sees "odd"
  MonitorList monitorsBack;
  const std::string monitorData = EncodeKeptList(monitors);
  ASSERT_TRUE(DecodeKeptList(monitorData, &monitorsBack));
  ASSERT_EQ(2u, monitorsBack.size());
  EXPECT_EQ("odd", monitorsBack.First(1));
  EXPECT_EQ("localmon.dll", monitorsBack.Second(0));
  EXPECT_TRUE(monitorsBack.Flag(1));
  EXPECT_FALSE(monitorsBack.Flag(0));
  PairList ports;
  ports.Add("LPT1:", "Local Port");
  ports.Add("X:", "Claimer");
  PairList portsBack;
  const std::string portData = EncodeKeptList(ports);
  ASSERT_TRUE(DecodeKeptList(portData, &portsBack));
  ASSERT_EQ(2u, portsBack.size());
  EXPECT_EQ("Claimer", portsBack.Second(1));
  EXPECT_EQ(ports.TextBytes(), portsBack.TextBytes());
  EXPECT_EQ(ports.FirstBytes(), portsBack.FirstBytes());
  for (size_t cut = 0; cut < portData.size(); ++cut) {
    EXPECT_FALSE(DecodeKeptList(portData.substr(0, cut), &portsBack)) << cut;
  }
  EXPECT_FALSE(DecodeKeptList(std::string(1, '\x7F') + monitorData.substr(1), &monitorsBack));

  // Sizes that do not account for the texts, and a row that repeats the
  // monitor of a row before the first. After the format byte and the number
  // of rows, each row has two 16-bit sizes and a flag.
  std::string damaged = portData;
  damaged[1 + 4 + 5] = '\x7F';  // the second row's name
  EXPECT_FALSE(DecodeKeptList(damaged, &portsBack));
  damaged = portData;
  damaged[1 + 4 + 2] = damaged[1 + 4 + 3] = '\xFF';
  EXPECT_FALSE(DecodeKeptList(damaged, &portsBack));
  EXPECT_EQ(0u, portsBack.size());
}

// Ports share their monitor's name: it is stored once for a run of rows, and
// read back for each. A text too long for the stored form is not kept.
TEST(KeptListFormat, RepeatedMonitorsAreStoredOnceAndLongTextsNotAtAll) {
  using namespace qzhost::spool;
  PairList ports;
  for (int i = 0; i < 300; ++i) ports.Add("P" + std::to_string(i) + ":", "Local Port");
  ports.Add("CLAIMED:", "Halden Port Monitor");
  ports.Add("LAST:", "Local Port");
  const std::string data = EncodeKeptList(ports);
  EXPECT_LT(data.size(), ports.TextBytes());
  PairList back;
  ASSERT_TRUE(DecodeKeptList(data, &back));
  ASSERT_EQ(ports.size(), back.size());
  for (size_t i = 0; i < ports.size(); ++i) {
    EXPECT_EQ(ports.Both(i), back.Both(i)) << i;
  }
  EXPECT_EQ(ports.FirstBytes(), back.FirstBytes());
  PairList longText;
  longText.Add(std::string(70000, 'x'), "Local Port");
  EXPECT_EQ("", EncodeKeptList(longText));
}

TEST(KeptListFormat, RowsInsertedInTheMiddleKeepTheirTexts) {
  qzhost::spool::PairList rows;
  rows.Add("B", "second");
  rows.Add("D", "fourth", true);
  rows.Insert(0, "A", "first");
  rows.Insert(2, "C", "third", true);
  ASSERT_EQ(4u, rows.size());
  std::string names, seconds;
  for (size_t i = 0; i < rows.size(); ++i) {
    names.append(rows.First(i));
    seconds.append(rows.Second(i)).push_back(rows.Flag(i) ? '+' : ' ');
  }
  EXPECT_EQ("ABCD", names);
  EXPECT_EQ("first second third+fourth+", seconds);
  EXPECT_EQ(std::string_view("C\0third\0", 8), rows.Both(2));
  EXPECT_EQ(8u, rows.FirstBytes());
}

// The spooler of one run keeps its lists for the next; the next gets the same
// answers as from the registry, reads far less, and sees every change.
class KeptSpoolerTest : public MachineTest,
                        public ::testing::WithParamInterface<qzhost::Personality> {
 protected:
  qzhost::TestMachineOptions Options() const override {
    qzhost::TestMachineOptions options;
    options.os = GetParam();
    return options;
  }
  bool IsNT() const { return GetParam() == qzhost::Personality::kWinNT; }
  // Ends this run and starts the next on the same machine.
  void NextRun() {
    qzhost::CloseMachineRegistry();
    qzhost::MachineConfig config;
    config.os = GetParam();
    qzhost::SetMachineForTest(root_, config, false);
  }
  uint64_t RowsRead() {
    DWORD error = 0;
    qzhost::RegStore* store = qzhost::MachineRegistry(&error);
    return store != nullptr ? store->Stats().rowsRead : 0;
  }
  void AddManyMonitorsAndPorts() {
    for (int i = 0; i < 150; ++i) {
      std::string monitor = kMonitors + "Bench Monitor " + std::to_string(i);
      SetString(monitor, "Driver", "BMON.DLL");
      if (i % 10 == 0) CreateKey(monitor + "\\Ports\\CLAIM" + std::to_string(i) + ":");
      std::string port = "BENCH" + std::to_string(i) + ":";
      if (IsNT()) {
        SetString("Software\\Microsoft\\Windows NT\\CurrentVersion\\Ports", port.c_str(), "");
      } else {
        CreateKey(kPrint + "Ports\\" + port);
      }
    }
  }
  // Many monitors and ports, listed in one run and so kept for the next,
  // which has begun.
  void KeepManyMonitorsAndPorts() {
    AddManyMonitorsAndPorts();
    NextRun();
    Ask();
    NextRun();
  }
  struct Answers {
    std::vector<std::string> ports, monitors;
    bool operator==(const Answers& o) const { return ports == o.ports && monitors == o.monitors; }
    bool operator!=(const Answers& o) const { return !(*this == o); }
  };
  Answers Ask() { return {spooltest::PortNames(), spooltest::MonitorNames()}; }
  std::vector<std::string> PortsWithMonitors() {
    std::vector<std::string> ports;
    spooltest::Enumerated list = spooltest::EnumPorts2();
    for (const PORT_INFO_2A& port : spooltest::PortsOf(list))
      ports.push_back(std::string(port.pPortName) + " / " + port.pMonitorName);
    return ports;
  }
  // What a run reading the registry itself answers.
  Answers AskWithoutKeptLists() {
    ExecAsAnotherProgram(root_ + "/registry.db", "DELETE FROM kept_lists");
    NextRun();
    return Ask();
  }
};

TEST_P(KeptSpoolerTest, TheNextRunGetsTheSameListsAndSeesEveryChange) {
  AddManyMonitorsAndPorts();
  NextRun();
  uint64_t before = RowsRead();
  const Answers first = Ask();
  const uint64_t readingAll = RowsRead() - before;
  NextRun();
  before = RowsRead();
  EXPECT_EQ(first, Ask());
  EXPECT_LT((RowsRead() - before) * 4, readingAll) << "taken from the kept lists";

  // The spooler's own change is kept at the end of its run.
  spooltest::AddMonitor("Fresh Monitor", nullptr, "FRESH.DLL");
  NextRun();
  before = RowsRead();
  const Answers afterOwn = Ask();
  EXPECT_LT((RowsRead() - before) * 4, readingAll);
  EXPECT_EQ(first.monitors.size() + 1, afterOwn.monitors.size());
  EXPECT_EQ(AskWithoutKeptLists(), afterOwn);

  // Changes made past the spooler are seen at once.
  NextRun();
  Ask();
  CreateKey(kMonitors + "Bench Monitor 3\\Ports\\LATE1:");
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, (kMonitors + "Bench Monitor 5").c_str());
  NextRun();
  const Answers afterOutside = Ask();
  EXPECT_EQ(AskWithoutKeptLists(), afterOutside);
  EXPECT_NE(afterOwn, afterOutside);

  // WIN.INI's [Ports] (Windows 98 lists them first).
  if (!IsNT()) {
    NextRun();
    Ask();
    NextRun();
    ASSERT_TRUE(WriteProfileStringA("Ports", "INI9:", ""));
    const Answers afterIni = Ask();
    EXPECT_NE(afterIni.ports.end(),
              std::find(afterIni.ports.begin(), afterIni.ports.end(), "INI9:"));
    EXPECT_EQ(AskWithoutKeptLists(), afterIni);
    EXPECT_NE(afterOutside.ports, afterIni.ports);
  }
}

// Monitors that the spooler adds are kept alone, next to the stored list,
// until there are many; the lists answer as the registry does throughout.
TEST_P(KeptSpoolerTest, AddedMonitorsAreKeptAloneUntilThereAreMany) {
  const std::string db = root_ + "/registry.db";
  const char* kStoredAt = "SELECT count FROM kept_lists WHERE name = 'spooler monitors'";
  const char* kAdded = "SELECT count(*) FROM kept_lists WHERE name = 'spooler monitors added'";
  KeepManyMonitorsAndPorts();
  const int storedAt = CountAsAnotherProgram(db, kStoredAt);
  uint64_t before = RowsRead();
  const Answers first = Ask();
  const uint64_t takingKept = RowsRead() - before;
  // Names that sort among the others, and one before them all.
  for (const char* name : {"Bench Monitor 55a", "AAA Monitor", "Bench Monitor 9z"}) {
    ASSERT_TRUE(spooltest::AddMonitor(name, nullptr, "ADDED.DLL"));
    NextRun();
    before = RowsRead();
    Ask();
    EXPECT_LE(RowsRead() - before, takingKept + 2) << name;
    EXPECT_EQ(storedAt, CountAsAnotherProgram(db, kStoredAt)) << "not stored again";
    EXPECT_EQ(1, CountAsAnotherProgram(db, kAdded));
  }
  const Answers afterFew = Ask();
  EXPECT_EQ(first.monitors.size() + 3, afterFew.monitors.size());
  // In the registry's order: by names in capitals.
  auto upper = [](std::string name) {
    for (char& ch : name) ch = static_cast<char>(toupper(static_cast<unsigned char>(ch)));
    return name;
  };
  EXPECT_TRUE(std::is_sorted(
      afterFew.monitors.begin(), afterFew.monitors.end(),
      [&upper](const std::string& a, const std::string& b) { return upper(a) < upper(b); }));
  EXPECT_EQ("AAA Monitor", afterFew.monitors.front());

  for (int i = 0; i < 70; ++i) {
    const std::string name = "Many Monitor " + std::to_string(i);
    ASSERT_TRUE(spooltest::AddMonitor(name.c_str(), nullptr, "MANY.DLL"));
  }
  NextRun();
  const Answers afterMany = Ask();
  EXPECT_NE(storedAt, CountAsAnotherProgram(db, kStoredAt)) << "stored whole again";
  EXPECT_EQ(afterFew.monitors.size() + 70, afterMany.monitors.size());
  EXPECT_EQ(AskWithoutKeptLists(), afterMany);
}

// Windows 98 alone lists ports from WIN.INI's [Ports]; NT's profile calls for
// that section write the registry instead.
class KeptWin98SpoolerTest : public KeptSpoolerTest {};

// The ports of Windows 98 depend on WIN.INI's [Ports]: any change of its text
// (one byte, anywhere) gives another signature; the rest of the file does not.
TEST_P(KeptWin98SpoolerTest, EveryChangeOfThePortsSectionChangesTheSignature) {
  std::string body;
  for (int i = 0; i < 40; ++i) body += "PORT" + std::to_string(i) + ":=\r\n";
  const qzhost::IniFile base("[Ports]\r\n" + body + "[Other]\r\nk=v\r\n");
  const std::string signature = qzhost::spool::PortsSignature(&base);
  const qzhost::IniFile elsewhere("[Ports]\r\n" + body + "[Other]\r\nk=w\r\n");
  EXPECT_EQ(signature, qzhost::spool::PortsSignature(&elsewhere));
  for (size_t at = 0; at < body.size(); ++at) {
    std::string changed = body;
    changed[at] = changed[at] == 'x' ? 'y' : 'x';
    const qzhost::IniFile ini("[Ports]\r\n" + changed + "[Other]\r\nk=v\r\n");
    EXPECT_NE(signature, qzhost::spool::PortsSignature(&ini)) << at;
  }
  const qzhost::IniFile longer("[Ports]\r\n" + body + "\r\n[Other]\r\nk=v\r\n");
  EXPECT_NE(signature, qzhost::spool::PortsSignature(&longer));
  EXPECT_NE(signature, qzhost::spool::PortsSignature(nullptr));
}

// A run that adds ports on Windows 98 (subkeys of the Ports key, a new last
// key of [Ports]) brings the kept list up to date with them instead of reading
// every port again; wherever a name was listed before (in WIN.INI, as a
// subkey, claimed by a monitor, in another case), the list is the one the
// registry and WIN.INI give. Any other change reads the list again.
TEST_P(KeptWin98SpoolerTest, PortsAddedByTheRunAreAddedToTheKeptList) {
  AddManyMonitorsAndPorts();
  for (const char* name : {"INI1:", "bench7:", "CLAIM20:", "INI2:"})
    ASSERT_TRUE(WriteProfileStringA("Ports", name, ""));
  auto portsWithMonitors = [this] { return PortsWithMonitors(); };
  struct Step {
    std::vector<const char*> keys;
    const char* iniName;  // or null
  };
  const Step steps[] = {
      {{"BENCH55A:"}, "BENCH55A:"},     // new, sorting among the subkeys
      {{"AAA:", "ZZZ:"}, nullptr},      // first and last subkeys
      {{}, "NEWINI:"},                  // WIN.INI only
      {{"CLAIM30:"}, nullptr},          // claimed by a monitor, now a subkey too
      {{"ini1:", "Bench9:"}, nullptr},  // already listed, in another case
      {{}, "BENCH12:"},                 // a subkey, now in WIN.INI too
      {{}, "CLAIM40:"},                 // claimed, now in WIN.INI too
      {{"LPT7:", "COM9:"}, "LPT7:"},    // served by Windows 98's own monitor
  };
  auto addPorts = [this, &portsWithMonitors](const Step& step) {
    uint64_t before = RowsRead();
    for (const char* key : step.keys) CreateKey(kPrint + "Ports\\" + key);
    if (step.iniName != nullptr) {
      EXPECT_TRUE(WriteProfileStringA("Ports", step.iniName, ""));
    }
    const std::vector<std::string> patched = portsWithMonitors();
    EXPECT_LT(RowsRead() - before, 100u) << "not read again";
    NextRun();
    EXPECT_EQ(patched, portsWithMonitors()) << "as kept at the end of the run";
    return patched;
  };
  for (const Step& step : steps) {
    NextRun();
    portsWithMonitors();
    NextRun();
    const std::vector<std::string> patched = addPorts(step);
    ExecAsAnotherProgram(root_ + "/registry.db", "DELETE FROM kept_lists");
    NextRun();
    EXPECT_EQ(patched, portsWithMonitors()) << (step.iniName ? step.iniName : step.keys[0]);
  }
  // One after another, each run taking the list the run before it kept: where
  // a port was put decides where the next one goes.
  const Step chained[] = {
      {{"MID1:"}, nullptr},
      {{}, "MID1:"},
      {{"CLAIM60:"}, nullptr},
      {{"CLAIM61:"}, nullptr},
      {{}, "CLAIM60:"},
      {{"MID2:"}, "X:"},
      {{"BENCH0:", "CLAIM62"}, nullptr},
  };
  NextRun();
  portsWithMonitors();
  std::vector<std::string> patched;
  for (const Step& step : chained) {
    NextRun();
    patched = addPorts(step);
  }
  ExecAsAnotherProgram(root_ + "/registry.db", "DELETE FROM kept_lists");
  NextRun();
  EXPECT_EQ(patched, portsWithMonitors()) << "after every step";

  // Read again: a port whose spelling differs from the claim's, a value of
  // the Ports key, a port a monitor claims, and another program's change in
  // between.
  const std::function<void()> others[] = {
      [] { CreateKey(kPrint + "Ports\\claim50:"); },
      [] { SetString(kPrint + "Ports", "Timeout", "5"); },
      [] { CreateKey(kMonitors + "Bench Monitor 20\\Ports\\NEWCLAIM:"); },
      [this] {
        CreateKey(kPrint + "Ports\\MINE:");
        ASSERT_EQ(ERROR_SUCCESS, RegFlushKey(HKEY_LOCAL_MACHINE));
        ExecAsAnotherProgram(root_ + "/registry.db",
                             "UPDATE area_changes SET count = count + 1 WHERE area = 'ports'");
      },
  };
  for (const auto& change : others) {
    NextRun();
    portsWithMonitors();
    NextRun();
    change();
    uint64_t before = RowsRead();
    const std::vector<std::string> answered = portsWithMonitors();
    EXPECT_GT(RowsRead() - before, 100u) << "read again";
    ExecAsAnotherProgram(root_ + "/registry.db", "DELETE FROM kept_lists");
    NextRun();
    EXPECT_EQ(answered, portsWithMonitors());
  }
}

// Runs that create ports, one after another, leave the kept list as it was:
// each brings it up to date from the keys the registry noted and the keys
// added to [Ports] since. After eight keys of [Ports] the list is stored anew;
// another program's change makes the next run read it again.
TEST_P(KeptWin98SpoolerTest, RunsThatCreatePortsLeaveTheKeptListAsItWas) {
  const std::string db = root_ + "/registry.db";
  const char* kStoredAt = "SELECT count FROM kept_lists WHERE name = 'spooler ports'";
  KeepManyMonitorsAndPorts();
  const int storedAt = CountAsAnotherProgram(db, kStoredAt);
  std::vector<std::string> answered;
  for (int i = 0; i < 10; ++i) {
    const std::string port = "RUN" + std::to_string(i) + ":";
    CreateKey(kPrint + "Ports\\" + port);
    ASSERT_EQ(ERROR_SUCCESS, RegFlushKey(HKEY_LOCAL_MACHINE));
    ASSERT_TRUE(WriteProfileStringA("Ports", port.c_str(), ""));
    const uint64_t before = RowsRead();
    answered = PortsWithMonitors();
    EXPECT_LT(RowsRead() - before, 100u) << "not read again in run " << i;
    NextRun();
    if (i < 7) {
      EXPECT_EQ(storedAt, CountAsAnotherProgram(db, kStoredAt)) << "not stored in run " << i;
    } else {
      EXPECT_NE(storedAt, CountAsAnotherProgram(db, kStoredAt)) << "stored anew by run " << i;
    }
  }
  EXPECT_EQ(answered, PortsWithMonitors());
  const char* kChanges[] = {
      "UPDATE kept_lists SET data = x'3132' WHERE name = 'ports keys added'",  // damaged
      "UPDATE area_changes SET count = count + 1 WHERE area = 'ports'",        // another program
  };
  for (const char* change : kChanges) {
    CreateKey(kPrint + "Ports\\LAST:");
    ASSERT_TRUE(WriteProfileStringA("Ports", "LAST:", ""));
    answered = PortsWithMonitors();
    NextRun();
    ExecAsAnotherProgram(db, change);
    NextRun();
    const uint64_t before = RowsRead();
    EXPECT_EQ(answered, PortsWithMonitors());
    EXPECT_GT(RowsRead() - before, 100u) << "read again after: " << change;
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_LOCAL_MACHINE, (kPrint + "Ports\\LAST:").c_str()));
    ASSERT_TRUE(WriteProfileStringA("Ports", "LAST:", nullptr));
    NextRun();
    answered = PortsWithMonitors();
    NextRun();
  }
  ExecAsAnotherProgram(db, "DELETE FROM kept_lists");
  NextRun();
  EXPECT_EQ(answered, PortsWithMonitors());
}

// Keys added to [Ports] are taken away again exactly: the signature without
// the last keys is that of the section before they were added, whatever the
// lengths of the lines and whatever follows the keys.
TEST_P(KeptWin98SpoolerTest, SignaturesWithoutTheLastKeysAreThoseOfTheSectionBefore) {
  for (const char* tail : {"", "; end of ports\r\n\r\n"}) {
    std::string body;
    for (int lines = 0; lines < 12; ++lines) {
      const std::string before = "[Ports]\r\n" + body + tail + "[Other]\r\nk=v\r\n";
      std::string text = before;
      std::vector<std::string> added;
      for (size_t count = 1; count <= 3; ++count) {
        added.push_back("NEW" + std::string(count * 3 + lines % 5, 'x') + ":");
        ASSERT_TRUE(qzhost::IniFile(text).SetValue("Ports", added.back(), "", &text));
        std::string signature;
        std::vector<std::string> names;
        const qzhost::IniFile after(text);
        ASSERT_TRUE(qzhost::spool::PortsSignatureBeforeLastKeys(&after, count, &signature, &names));
        const qzhost::IniFile original(before);
        EXPECT_EQ(qzhost::spool::PortsSignature(&original), signature) << lines << " " << count;
        EXPECT_EQ(added, names);
        EXPECT_FALSE(qzhost::spool::PortsSignatureBeforeLastKeys(&after, count + lines + 1,
                                                                 &signature, &names));
      }
      body += "PORT" + std::string(lines % 7, 'y') + std::to_string(lines) + ":=\r\n";
    }
  }
}

TEST_P(KeptSpoolerTest, ShortListsAreNotKept) {
  NextRun();
  Ask();
  NextRun();
  EXPECT_EQ(0, CountAsAnotherProgram(root_ + "/registry.db", "SELECT count(*) FROM kept_lists"));
}

INSTANTIATE_TEST_SUITE_P(Both, KeptSpoolerTest,
                         ::testing::Values(qzhost::Personality::kWin98,
                                           qzhost::Personality::kWinNT),
                         [](const ::testing::TestParamInfo<qzhost::Personality>& info) {
                           return std::string(info.param == qzhost::Personality::kWinNT ? "NT"
                                                                                        : "Win98");
                         });
INSTANTIATE_TEST_SUITE_P(Win98, KeptWin98SpoolerTest,
                         ::testing::Values(qzhost::Personality::kWin98),
                         [](const ::testing::TestParamInfo<qzhost::Personality>&) {
                           return std::string("Win98");
                         });

}  // namespace
