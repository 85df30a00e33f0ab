// Changes recorded by the registry as a run makes them: the same list as a
// comparison with a copy taken before, and a run whose changes are rolled
// back leaves the registry's files as they were.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/host/registry/regfile.h"
#include "platform/host/registry/regrecord.h"
#include "platform/host/report/changes.h"
#include "platform/host/report/changes_format.h"
#include "tests/support/file_text.h"

namespace {

const char kBefore[] =
    "[HKEY_LOCAL_MACHINE\\Soft\\Keep]\n\"Same\"=\"1\"\n\"Count\"=dword:00000001\n\"Gone\"=\"x\"\n"
    "[HKEY_LOCAL_MACHINE\\Soft\\Many\\Alpha]\n\"V\"=\"a\"\n"
    "[HKEY_LOCAL_MACHINE\\Soft\\Many\\Beta]\n\"V\"=\"b\"\n"
    "[HKEY_LOCAL_MACHINE\\Soft\\Many\\Gamma]\n\"V\"=\"c\"\n"
    // U+0152 and U+00C9: Windows lists them in the other order than their bytes.
    "[HKEY_LOCAL_MACHINE\\Soft\\Many\\\x8C]\n\"V\"=\"o\"\n"
    "[HKEY_LOCAL_MACHINE\\Soft\\Many\\\xC9]\n\"V\"=\"e\"\n"
    "[HKEY_LOCAL_MACHINE\\Soft\\Old\\Deep]\n\"V\"=\"1\"\n"
    "[HKEY_LOCAL_MACHINE\\Soft\\Again]\n\"Was\"=\"1\"\n"
    "[HKEY_LOCAL_MACHINE\\Soft\\Again\\Child]\n\"C\"=\"1\"\n"
    "[HKEY_CURRENT_USER\\Prefs]\n\"P\"=\"1\"\n"
    "[HKEY_LOCAL_MACHINE\\Soft\\Last]\n\"L\"=\"1\"\n";  // the highest id: reused below

// Each step is one .reg import, one transaction of its own.
const char* const kSteps[] = {
    // Values changed, added, removed; one set and set back; one added and removed.
    "[HKEY_LOCAL_MACHINE\\Soft\\Keep]\n\"Count\"=dword:00000002\n\"Same\"=\"2\"\n\"New\"=hex:01\n"
    "\"Brief\"=\"b\"\n\"Gone\"=-\n",
    "[HKEY_LOCAL_MACHINE\\Soft\\Keep]\n\"Same\"=\"1\"\n\"Brief\"=-\n",
    // Siblings changed in the reverse of their order; one sibling's tree left alone.
    "[HKEY_LOCAL_MACHINE\\Soft\\Many\\Gamma]\n\"V\"=\"C\"\n"
    "[HKEY_LOCAL_MACHINE\\Soft\\Many\\Alpha]\n\"V\"=\"A\"\n"
    "[HKEY_LOCAL_MACHINE\\Soft\\Many\\\x8C]\n\"V\"=\"O\"\n"
    "[HKEY_LOCAL_MACHINE\\Soft\\Many\\\xC9]\n\"V\"=\"E\"\n",
    // A key added with a subkey; one added and removed again.
    "[HKEY_LOCAL_MACHINE\\Soft\\Fresh\\Child]\n\"C\"=\"c\"\n[HKEY_LOCAL_MACHINE\\Soft\\Brief]\n",
    "[-HKEY_LOCAL_MACHINE\\Soft\\Brief]\n",
    // A tree removed after one of its keys changed.
    "[HKEY_LOCAL_MACHINE\\Soft\\Old\\Deep]\n\"V\"=\"2\"\n\"W\"=\"w\"\n",
    "[-HKEY_LOCAL_MACHINE\\Soft\\Old]\n",
    // A key removed and made again under the same name, with other values.
    "[-HKEY_LOCAL_MACHINE\\Soft\\Again]\n",
    "[HKEY_LOCAL_MACHINE\\Soft\\Again]\n\"Now\"=\"2\"\n[HKEY_LOCAL_MACHINE\\Soft\\Again\\Child]\n"
    "\"C\"=\"1\"\n",
    // The key with the highest id removed: the next key made may get its id.
    "[-HKEY_LOCAL_MACHINE\\Soft\\Last]\n",
    "[HKEY_CURRENT_USER\\Prefs\\Made]\n\"M\"=\"1\"\n",
};

class Registry {
 public:
  explicit Registry(const std::string& path = ":memory:") {
    std::string why;
    qzhost::RegFileError error;
    std::string text = std::string("REGEDIT4\n\n") + kBefore;
    EXPECT_EQ(
        store.Open(
            path, 1252,
            [this, &text, &error] { return qzhost::ApplyRegText(&store, text, &error); }, &why),
        ERROR_SUCCESS)
        << why << error.message;
  }
  void Import(const std::string& body) {
    qzhost::RegFileError error;
    ASSERT_EQ(qzhost::ImportRegText(&store, "REGEDIT4\n\n" + body, &error), ERROR_SUCCESS)
        << error.message;
  }
  std::string Export() {
    std::string text, why;
    for (const char* root : {"HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER"}) {
      std::string part;
      EXPECT_EQ(qzhost::ExportRegText(&store, root, qzhost::RegFileVersion::kRegedit4, &part, &why),
                ERROR_SUCCESS)
          << why;
      text += part;
    }
    return text;
  }
  qzhost::RegStore store;
};

std::string Json(const std::vector<qzhost::RegKeyChange>& registry) {
  return qzhost::ChangesAsJson({registry, {}, {}});
}

TEST(RecordedChangesTest, TheSameListAsAComparisonWithACopy) {
  Registry copy, live;
  qzhost::RegChangeRecord record;
  live.store.RecordChanges(&record);
  for (const char* step : kSteps) live.Import(step);
  {
    // What a rolled-back part of a change did is no change.
    qzhost::RegTransaction outer(&live.store);
    ASSERT_EQ(outer.Status(), ERROR_SUCCESS);
    {
      qzhost::RegTransaction inner(&live.store);
      ASSERT_EQ(inner.Status(), ERROR_SUCCESS);
      qzhost::RegKeyId id = qzhost::kNoKey;
      ASSERT_EQ(live.store.CreateChild(qzhost::RootKeyId(HKEY_LOCAL_MACHINE), "Undone", &id),
                ERROR_SUCCESS);
      ASSERT_EQ(live.store.SetValue(id, "U", REG_SZ, std::string("u", 2)), ERROR_SUCCESS);
    }
    ASSERT_EQ(outer.Commit(), ERROR_SUCCESS);
  }

  std::vector<qzhost::RegKeyChange> compared, recorded;
  ASSERT_EQ(qzhost::DiffRegistry(&copy.store, &live.store, 1252, &compared), ERROR_SUCCESS);
  ASSERT_EQ(qzhost::DiffRecordedRegistry(record, &live.store, 1252, &recorded), ERROR_SUCCESS);
  EXPECT_FALSE(record.failed);
  EXPECT_EQ(Json(recorded), Json(compared));

  // The list itself: net changes only, in the order of the registry's walk.
  std::vector<std::string> paths;
  for (const qzhost::RegKeyChange& change : recorded)
    paths.push_back(std::string(qzhost::ChangeActionName(change.action)) + " " + change.path);
  EXPECT_EQ(paths, (std::vector<std::string>{
                       "added HKEY_CURRENT_USER\\Prefs\\Made",
                       "changed HKEY_LOCAL_MACHINE\\Soft\\Again",
                       "added HKEY_LOCAL_MACHINE\\Soft\\Fresh",
                       "added HKEY_LOCAL_MACHINE\\Soft\\Fresh\\Child",
                       "changed HKEY_LOCAL_MACHINE\\Soft\\Keep",
                       "changed HKEY_LOCAL_MACHINE\\Soft\\Many\\Alpha",
                       "changed HKEY_LOCAL_MACHINE\\Soft\\Many\\Gamma",
                       "changed HKEY_LOCAL_MACHINE\\Soft\\Many\\\xC9",
                       "changed HKEY_LOCAL_MACHINE\\Soft\\Many\\\x8C",
                       "removed HKEY_LOCAL_MACHINE\\Soft\\Last",
                       "removed HKEY_LOCAL_MACHINE\\Soft\\Old",
                   }))
      << Json(recorded);
  ASSERT_GE(recorded.size(), 5u);
  EXPECT_EQ(recorded[4].values.size(), 3u) << "Count changed, New added, Gone removed";
}

// Nothing changed is nothing recorded: an empty list, and keys only read are
// never looked at.
TEST(RecordedChangesTest, ARunThatChangesNothingListsNothing) {
  Registry live;
  qzhost::RegChangeRecord record;
  live.store.RecordChanges(&record);
  live.Import("[HKEY_LOCAL_MACHINE\\Soft\\Keep]\n\"Same\"=\"1\"\n");  // as it was
  std::vector<qzhost::RegKeyChange> recorded;
  ASSERT_EQ(qzhost::DiffRecordedRegistry(record, &live.store, 1252, &recorded), ERROR_SUCCESS);
  EXPECT_TRUE(recorded.empty()) << Json(recorded);
  EXPECT_EQ(record.before.size(), 1u);
  EXPECT_EQ(record.touched.count(qzhost::RootKeyId(HKEY_CLASSES_ROOT)), 0u);
}

std::vector<std::string> FilesOf(const std::string& db) {
  std::vector<std::string> texts;
  for (const char* suffix : {"", "-wal", "-shm"}) {
    std::string path = db + suffix;
    texts.push_back(access(path.c_str(), F_OK) == 0 ? "[" + qztest::ReadFileText(path) + "]"
                                                    : "missing");
  }
  return texts;
}

// The run sees its own changes, a flush on the way included; the files keep
// none, byte for byte, whether the log files were there or not.
TEST(RecordedChangesTest, ADiscardedRunLeavesTheFilesAsTheyWere) {
  std::string folder = qztest::MakeTempFolder("qzrecord");
  ASSERT_FALSE(folder.empty());
  std::string db = folder + "/registry.db";
  std::string exported;
  {
    Registry made(db);
    exported = made.Export();
  }
  for (bool withLog : {true, false}) {
    if (!withLog) {
      unlink((db + "-wal").c_str());
      unlink((db + "-shm").c_str());
    }
    std::vector<std::string> before = FilesOf(db);
    EXPECT_EQ(before[1] != "missing", withLog);
    {
      Registry run(db);
      run.store.DiscardChangesAtClose();
      run.Import("[HKEY_LOCAL_MACHINE\\Soft\\Keep]\n\"Count\"=dword:00000009\n");
      ASSERT_EQ(run.store.Flush(), ERROR_SUCCESS);
      run.Import(kSteps[3]);
      run.Import("[-HKEY_LOCAL_MACHINE\\Soft\\Old]\n");
      std::string seen = run.Export();
      EXPECT_NE(seen.find("\"Count\"=dword:00000009"), std::string::npos);
      EXPECT_NE(seen.find("Soft\\Fresh\\Child]"), std::string::npos);
      EXPECT_EQ(seen.find("Soft\\Old]"), std::string::npos);
    }
    EXPECT_TRUE(FilesOf(db) == before) << (withLog ? "with" : "without") << " log files";
    Registry after(db);
    EXPECT_EQ(after.Export(), exported);
  }
  for (const char* suffix : {"", "-wal", "-shm"}) unlink((db + suffix).c_str());
  rmdir(folder.c_str());
}

}  // namespace
