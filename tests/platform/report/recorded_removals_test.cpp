// The change record's cases that no command of the program makes (none
// removes a key): removals below keys the run touched in no other way, and
// trees that hold keys made during the run. Each list must be the one a
// comparison with a copy taken before gives.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/host/registry/regfile.h"
#include "platform/host/registry/regrecord.h"
#include "platform/host/report/changes.h"
#include "platform/host/report/changes_format.h"

namespace {

const char kMachine[] =
    "REGEDIT4\n\n"
    "[HKEY_LOCAL_MACHINE\\Quiet\\Sub]\n\"V\"=\"1\"\n"
    "[HKEY_LOCAL_MACHINE\\Quiet\\Stay]\n\"V\"=\"1\"\n"
    "[HKEY_LOCAL_MACHINE\\Deep\\A\\B\\C]\n\"V\"=\"1\"\n"
    "[HKEY_LOCAL_MACHINE\\Deep\\A\\Other]\n\"V\"=\"1\"\n"
    "[HKEY_LOCAL_MACHINE\\Near\\Changed]\n\"V\"=\"1\"\n"
    "[HKEY_LOCAL_MACHINE\\Near\\Gone]\n\"V\"=\"1\"\n"
    "[HKEY_LOCAL_MACHINE\\Tree\\Old]\n\"V\"=\"1\"\n"
    "[HKEY_CURRENT_USER\\Only]\n\"V\"=\"1\"\n";

class Registry {
 public:
  Registry() {
    std::string why;
    qzhost::RegFileError error;
    EXPECT_EQ(store.Open(
                  ":memory:", 1252,
                  [this, &error] { return qzhost::ApplyRegText(&store, kMachine, &error); }, &why),
              ERROR_SUCCESS)
        << why << error.message;
  }
  void Import(const std::string& body) {
    qzhost::RegFileError error;
    ASSERT_EQ(qzhost::ImportRegText(&store, "REGEDIT4\n\n" + body, &error), ERROR_SUCCESS)
        << error.message;
  }
  qzhost::RegStore store;
};

// "removed HKEY_..." per change, in the record's order; the list must equal
// what comparing with an untouched copy gives.
std::vector<std::string> Recorded(const std::vector<std::string>& steps) {
  Registry copy, live;
  qzhost::RegChangeRecord record;
  live.store.RecordChanges(&record);
  for (const std::string& step : steps) live.Import(step);
  std::vector<qzhost::RegKeyChange> compared, recorded;
  EXPECT_EQ(qzhost::DiffRegistry(&copy.store, &live.store, 1252, &compared), ERROR_SUCCESS);
  EXPECT_EQ(qzhost::DiffRecordedRegistry(record, &live.store, 1252, &recorded), ERROR_SUCCESS);
  EXPECT_FALSE(record.failed);
  EXPECT_EQ(qzhost::ChangesAsJson({recorded, {}, {}}), qzhost::ChangesAsJson({compared, {}, {}}));
  std::vector<std::string> lines;
  for (const qzhost::RegKeyChange& change : recorded)
    lines.push_back(std::string(qzhost::ChangeActionName(change.action)) + " " + change.path);
  return lines;
}

using Lines = std::vector<std::string>;

TEST(RecordedRemovalsTest, AKeyRemovedBelowAnUntouchedParentIsRemoved) {
  EXPECT_EQ(Recorded({"[-HKEY_LOCAL_MACHINE\\Quiet\\Sub]\n"}),
            Lines{"removed HKEY_LOCAL_MACHINE\\Quiet\\Sub"});
  EXPECT_EQ(Recorded({"[-HKEY_CURRENT_USER\\Only]\n"}), Lines{"removed HKEY_CURRENT_USER\\Only"});
  // Two levels of untouched keys above it, and a sibling that stays.
  EXPECT_EQ(Recorded({"[-HKEY_LOCAL_MACHINE\\Deep\\A\\B]\n"}),
            Lines{"removed HKEY_LOCAL_MACHINE\\Deep\\A\\B"});
  // Both siblings, removed in the reverse of their order.
  EXPECT_EQ(
      Recorded({"[-HKEY_LOCAL_MACHINE\\Quiet\\Sub]\n", "[-HKEY_LOCAL_MACHINE\\Quiet\\Stay]\n"}),
      (Lines{"removed HKEY_LOCAL_MACHINE\\Quiet\\Stay", "removed HKEY_LOCAL_MACHINE\\Quiet\\Sub"}));
}

TEST(RecordedRemovalsTest, AParentTouchedOnlyAboveAnotherChangeStillListsTheRemoval) {
  // Near is touched as the parent of a changed key before its other subkey goes.
  EXPECT_EQ(Recorded({"[HKEY_LOCAL_MACHINE\\Near\\Changed]\n\"V\"=\"2\"\n",
                      "[-HKEY_LOCAL_MACHINE\\Near\\Gone]\n"}),
            (Lines{"changed HKEY_LOCAL_MACHINE\\Near\\Changed",
                   "removed HKEY_LOCAL_MACHINE\\Near\\Gone"}));
  // The same in the other order: the removal first.
  EXPECT_EQ(Recorded({"[-HKEY_LOCAL_MACHINE\\Near\\Gone]\n",
                      "[HKEY_LOCAL_MACHINE\\Near\\Changed]\n\"V\"=\"2\"\n"}),
            (Lines{"changed HKEY_LOCAL_MACHINE\\Near\\Changed",
                   "removed HKEY_LOCAL_MACHINE\\Near\\Gone"}));
  // A value of the parent itself changed as well.
  EXPECT_EQ(Recorded({"[HKEY_LOCAL_MACHINE\\Near]\n\"P\"=\"p\"\n",
                      "[-HKEY_LOCAL_MACHINE\\Near\\Gone]\n"}),
            (Lines{"changed HKEY_LOCAL_MACHINE\\Near", "removed HKEY_LOCAL_MACHINE\\Near\\Gone"}));
}

TEST(RecordedRemovalsTest, TreesWithKeysMadeDuringTheRun) {
  // A key made below an old one, then the old tree removed: one removal.
  EXPECT_EQ(Recorded({"[HKEY_LOCAL_MACHINE\\Tree\\Old\\New]\n\"N\"=\"n\"\n",
                      "[-HKEY_LOCAL_MACHINE\\Tree\\Old]\n"}),
            Lines{"removed HKEY_LOCAL_MACHINE\\Tree\\Old"});
  // An old key removed and a key of the same name made below an untouched parent.
  EXPECT_EQ(Recorded({"[-HKEY_LOCAL_MACHINE\\Quiet\\Sub]\n",
                      "[HKEY_LOCAL_MACHINE\\Quiet\\SUB]\n\"V\"=\"1\"\n"}),
            Lines{});
  EXPECT_EQ(Recorded({"[-HKEY_LOCAL_MACHINE\\Quiet\\Sub]\n",
                      "[HKEY_LOCAL_MACHINE\\Quiet\\Sub\\Inner]\n"}),
            (Lines{"changed HKEY_LOCAL_MACHINE\\Quiet\\Sub",
                   "added HKEY_LOCAL_MACHINE\\Quiet\\Sub\\Inner"}));
  // A new tree below an untouched parent, removed again: nothing.
  EXPECT_EQ(Recorded({"[HKEY_LOCAL_MACHINE\\Quiet\\Brief\\Inner]\n\"I\"=\"i\"\n",
                      "[-HKEY_LOCAL_MACHINE\\Quiet\\Brief]\n"}),
            Lines{});
}

}  // namespace
