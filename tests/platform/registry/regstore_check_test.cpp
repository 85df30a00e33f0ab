// The tree's shape that every walk relies on, checked against rows that
// another program wrote.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "platform/host/registry/regstore.h"

namespace {

class TreeCheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char folder[] = "/tmp/qztree.XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(folder));
    folder_ = folder;
    path_ = folder_ + "/registry.db";
    std::string why;
    ASSERT_EQ(ERROR_SUCCESS, store_.Open(
                                 path_, 1252, [] { return DWORD(ERROR_SUCCESS); }, &why));
  }
  void TearDown() override {
    store_.Close();
    for (const char* end : {"", "-wal", "-shm"}) unlink((path_ + end).c_str());
    rmdir(folder_.c_str());
  }
  // Runs SQL through a connection of its own, as the sqlite3 shell would.
  void Outside(const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open(path_.c_str(), &db));
    char* error = nullptr;
    EXPECT_EQ(SQLITE_OK, sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error)) << error;
    sqlite3_free(error);
    sqlite3_close(db);
  }
  // A chain of `levels` keys named D below HKEY_LOCAL_MACHINE, ids from 1000.
  void Chain(int levels) {
    Outside("WITH RECURSIVE d(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM d WHERE n < " +
            std::to_string(levels) +
            ") INSERT INTO keys(id, parent, name, upper)"
            " SELECT 999 + n, CASE n WHEN 1 THEN 3 ELSE 998 + n END, 'D', 'D' FROM d");
  }
  std::string Check() {
    store_.UnpinReadSnapshot();  // reads from now on see the outside changes
    std::string why;
    DWORD error = store_.CheckTree(&why);
    return error == ERROR_SUCCESS ? "ok" : std::to_string(error) + ": " + why;
  }

  std::string folder_, path_;
  qzhost::RegStore store_;
};

TEST_F(TreeCheckTest, ATreeOfTheDeepestLevelWindowsAllowsPasses) {
  Chain(qzhost::kRegMaxDepth);
  EXPECT_EQ("ok", Check());
}

TEST_F(TreeCheckTest, OneLevelDeeperIsADamagedMachineWithTheLimitNamed) {
  Chain(qzhost::kRegMaxDepth + 1);
  EXPECT_NE(std::string::npos,
            Check().find("1009: the registry is damaged: a key lies more than 512"));
}

TEST_F(TreeCheckTest, AHundredThousandLevelsAreCheckedWithoutRecursion) {
  Chain(100000);
  EXPECT_NE(std::string::npos, Check().find("more than 512 levels"));
}

TEST_F(TreeCheckTest, CyclesOrphansAndMissingRootsAreDamage) {
  Chain(3);
  Outside("UPDATE keys SET parent = 1002 WHERE id = 1000");  // a cycle of three keys
  EXPECT_NE(std::string::npos, Check().find("3 key(s) lie below no root"));
  Outside(
      "UPDATE keys SET parent = 3 WHERE id = 1000; UPDATE keys SET parent = 5000 WHERE id = 1002");
  EXPECT_NE(std::string::npos, Check().find("1 key(s) lie below no root"));
  Outside(
      "UPDATE keys SET parent = 1001 WHERE id = 1002; UPDATE keys SET parent = 1001 WHERE id = 3");
  EXPECT_NE(std::string::npos, Check().find("a root key is missing or lies below another key"));
  Outside("UPDATE keys SET parent = 0 WHERE id = 3; DELETE FROM keys WHERE id = 2");
  EXPECT_NE(std::string::npos, Check().find("a root key is missing"));
}

TEST_F(TreeCheckTest, ValuesOfAMissingKeyAreDamage) {
  Outside("INSERT INTO vals(key, name, upper, type, data) VALUES(777, 'v', 'V', 1, x'00')");
  EXPECT_NE(std::string::npos, Check().find("values of a key that does not exist"));
}

}  // namespace
