// Machine images: one registry snapshot, loaded whole or not at all.
#include "platform/host/registry/regimage.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "platform/host/registry/registry.h"
#include "tests/support/machine_test.h"

namespace {

class RegImageTest : public MachineTest {
 protected:
  void TearDown() override {
    unlink(image_.c_str());
    MachineTest::TearDown();
  }

  qzhost::RegKeyId QzKey(qzhost::RegStore* store) {
    qzhost::RegTransaction tx(store);
    qzhost::RegKeyId id = qzhost::RootKeyIdByName("HKLM");
    EXPECT_EQ(ERROR_SUCCESS, store->CreateChild(id, "Qz", &id));
    EXPECT_EQ(ERROR_SUCCESS, tx.Commit());
    return id;
  }
  void Set(qzhost::RegStore* store, const std::string& name, const std::string& data) {
    qzhost::RegKeyId id = QzKey(store);
    qzhost::RegTransaction tx(store);
    ASSERT_EQ(ERROR_SUCCESS, store->SetValue(id, name, REG_SZ, data));
    ASSERT_EQ(ERROR_SUCCESS, tx.Commit());
  }
  // The value's data, or "(none)".
  std::string Get(const std::string& name) {
    DWORD error = 0;
    qzhost::RegStore* store = qzhost::MachineRegistry(&error);
    qzhost::RegValue value;
    if (store == nullptr || store->GetValue(QzKey(store), name, &value) != ERROR_SUCCESS)
      return "(none)";
    return value.data;
  }

  std::string image_;
};

TEST_F(RegImageTest, AnImageHoldsOneSnapshotAndLoadsWhole) {
  image_ = root_ + ".qzm";
  DWORD error = 0;
  qzhost::RegStore* store = qzhost::MachineRegistry(&error);
  ASSERT_NE(nullptr, store);
  Set(store, "Kept", "saved");
  WriteRootFile("drive_c/WINDOWS/WIN.INI", "[windows]\r\nsaved=1\r\n");

  // Another program is in the middle of a change while the image is saved.
  qzhost::RegStore writer;
  std::string why;
  ASSERT_EQ(ERROR_SUCCESS,
            writer.Open(
                qzhost::MachineRegistryPath(), 1252, [] { return DWORD(ERROR_SUCCESS); }, &why))
      << why;
  {
    qzhost::RegTransaction tx(&writer);
    ASSERT_EQ(ERROR_SUCCESS, tx.Status());
    ASSERT_EQ(ERROR_SUCCESS, writer.SetValue(QzKey(&writer), "Uncommitted", REG_SZ, "x"));
    qzhost::ImageOutcome saved = qzhost::SaveMachineImage(image_);
    ASSERT_FALSE(saved.failed()) << saved.error.message;
    ASSERT_EQ(ERROR_SUCCESS, tx.Commit());
  }
  writer.Close();

  Set(store, "Kept", "changed later");
  WriteRootFile("drive_c/WINDOWS/WIN.INI", "[windows]\r\nchanged=1\r\n");
  WriteRootFile("drive_c/later.txt", "later");

  // init --from refuses a root that holds a machine; load replaces it.
  EXPECT_TRUE(qzhost::LoadMachineImage(image_, false).failed());
  EXPECT_EQ("changed later", Get("Kept"));
  qzhost::ImageOutcome loaded = qzhost::LoadMachineImage(image_, true);
  ASSERT_FALSE(loaded.failed()) << loaded.error.message;
  EXPECT_EQ("saved", Get("Kept"));
  EXPECT_EQ("(none)", Get("Uncommitted"));
  EXPECT_EQ("[windows]\r\nsaved=1\r\n", ReadRootFile("drive_c/WINDOWS/WIN.INI"));
  EXPECT_NE(0, access((root_ + "/drive_c/later.txt").c_str(), F_OK));
}

TEST_F(RegImageTest, WhatIsNoImageChangesNothing) {
  DWORD error = 0;
  qzhost::RegStore* store = qzhost::MachineRegistry(&error);
  ASSERT_NE(nullptr, store);
  Set(store, "Kept", "before");
  // A registry database is not an image, and a missing file is none either.
  EXPECT_TRUE(qzhost::LoadMachineImage(qzhost::MachineRegistryPath(), true).failed());
  EXPECT_TRUE(qzhost::LoadMachineImage(root_ + "/missing.qzm", true).failed());
  EXPECT_EQ("before", Get("Kept"));
  EXPECT_EQ(0, access((root_ + "/machine.ini").c_str(), F_OK));
}

}  // namespace
