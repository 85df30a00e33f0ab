// The table of Driver values stays the join of keys and values it stands
// for, whatever another program does to the tables with plain SQL.
#include <sqlite3.h>
#include <string.h>

#include <random>
#include <string>

#include "platform/host/registry/registry.h"
#include "tests/support/machine_test.h"

namespace {

const char kTable[] =
    "SELECT group_concat(quote(parent) || quote(upper) || quote(name) || quote(type) ||"
    " quote(data), ';') FROM (SELECT * FROM driver_values ORDER BY parent, upper)";
const char kJoin[] =
    "SELECT group_concat(quote(parent) || quote(upper) || quote(name) || quote(type) ||"
    " quote(data), ';') FROM (SELECT k.parent, k.upper, k.name, v.type, v.data FROM keys k"
    " JOIN vals v ON v.key = k.id WHERE v.upper = x'445249564552' ORDER BY k.parent, k.upper)";

class DriverValuesTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    DWORD error = 0;
    ASSERT_NE(nullptr, qzhost::MachineRegistry(&error));  // the machine's registry exists
    qzhost::CloseMachineRegistry();
    ASSERT_EQ(SQLITE_OK, sqlite3_open((root_ + "/registry.db").c_str(), &db_));
  }
  void TearDown() override {
    sqlite3_close(db_);
    MachineTest::TearDown();
  }
  // Statements that break a constraint fail and change nothing, as a
  // script's would; the rest must keep the table right.
  void Exec(const std::string& sql) { sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr); }
  std::string Text(const char* sql) {
    sqlite3_stmt* st = nullptr;
    std::string text = "(error)";
    if (sqlite3_prepare_v2(db_, sql, -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW) {
      const unsigned char* p = sqlite3_column_text(st, 0);
      text = p ? reinterpret_cast<const char*>(p) : "";
    }
    sqlite3_finalize(st);
    return text;
  }
  sqlite3* db_ = nullptr;
};

// Keys and values made, renamed, moved, replaced and deleted at random, among
// them values named Driver (in any case) and keys with and without one.
TEST_F(DriverValuesTest, StaysTheJoinOfKeysAndValuesWhateverChangesThem) {
  Exec("PRAGMA recursive_triggers = ON");  // so REPLACE's removals fire triggers
  Exec("INSERT INTO keys(parent, name, upper) VALUES(3, 'Monitors', CAST('MONITORS' AS BLOB))");
  std::mt19937 random(2210);
  auto pick = [&random](int n) { return std::to_string(3 + random() % n); };
  const char* const names[] = {"'Driver'", "'DRIVER'", "'Monitor'", "'Ports'"};
  const int rounds = 600;
  for (int round = 0; round < rounds; ++round) {
    const std::string key = pick(40), other = pick(40), name = names[random() % 4];
    const std::string upper = "CAST(upper(" + name + ") AS BLOB)";
    const std::string keyName = "'K" + std::to_string(random() % 30) + "'";
    switch (random() % 9) {
      case 0:
        Exec("INSERT INTO keys(parent, name, upper) VALUES(" + key + ", " + keyName +
             ", CAST(upper(" + keyName + ") AS BLOB))");
        break;
      case 1:  // with the id of a key deleted before, whose values another left
        Exec("INSERT INTO keys(id, parent, name, upper) VALUES(" + other + ", " + key + ", " +
             keyName + ", CAST(upper(" + keyName + ") AS BLOB))");
        break;
      case 2:
        Exec("INSERT INTO vals(key, name, upper, type, data) VALUES(" + key + ", " + name + ", " +
             upper + ", 1, CAST('D" + std::to_string(round) + ".DLL' AS BLOB))");
        break;
      case 3:
        Exec("INSERT OR REPLACE INTO vals(key, name, upper, type, data) VALUES(" + key + ", " +
             name + ", " + upper + ", 2, x'" + std::to_string(10 + round % 90) + "')");
        break;
      case 4:
        Exec("UPDATE vals SET upper = " + upper + ", data = x'01' WHERE key = " + key);
        break;
      case 5:
        Exec("UPDATE keys SET parent = " + other + " WHERE id = " + key + " AND id > 4");
        break;
      case 6:
        Exec("UPDATE keys SET name = " + keyName + ", upper = CAST(upper(" + keyName +
             ") AS BLOB) WHERE id = " + key + " AND id > 4");
        break;
      case 7:
        Exec("DELETE FROM vals WHERE key = " + key + " AND upper = " + upper);
        break;
      default:
        Exec("DELETE FROM keys WHERE id = " + key + " AND id > 4");
        break;
    }
    ASSERT_EQ(Text(kJoin), Text(kTable)) << "after round " << round;
  }
  EXPECT_NE("", Text(kTable));  // the rounds left Driver values to compare
}

// Through the registry's own calls, a key's Driver value is listed with its
// key's name, also after the value is rewritten or the key deleted.
TEST_F(DriverValuesTest, TheRegistrysOwnChangesKeepItTheJoin) {
  HKEY hKey = nullptr;
  for (const char* path : {"Software\\A\\One", "Software\\A\\Two", "Software\\B"}) {
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_LOCAL_MACHINE, path, &hKey));
    ASSERT_EQ(ERROR_SUCCESS,
              RegSetValueExA(hKey, "driver", 0, REG_SZ, reinterpret_cast<const BYTE*>(path),
                             static_cast<DWORD>(strlen(path) + 1)));
    RegCloseKey(hKey);
  }
  ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\B"));
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyA(HKEY_LOCAL_MACHINE, "Software\\A\\One", &hKey));
  ASSERT_EQ(ERROR_SUCCESS, RegDeleteValueA(hKey, "DRIVER"));
  RegCloseKey(hKey);
  qzhost::CloseMachineRegistry();
  EXPECT_EQ(Text(kJoin), Text(kTable));
  EXPECT_EQ("1", Text("SELECT count(*) FROM driver_values WHERE name = CAST('Two' AS BLOB)"));
  EXPECT_EQ("0", Text("SELECT count(*) FROM driver_values WHERE name IN"
                      " (CAST('One' AS BLOB), CAST('B' AS BLOB))"));
}

}  // namespace
