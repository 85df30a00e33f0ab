// The profile calls where Windows 98 and Windows NT answer as Windows' own
// conformance tests record it (Wine's kernel32 profile tests, with their
// Windows 9x column). Both personalities.
#include <sys/stat.h>

#include <string>

#include "tests/support/machine_test.h"

namespace {

class Profile98 : public MachineTest {
 protected:
  std::string Missing() const { return root_ + "/missing.ini"; }
  std::string Existing() { return WriteRootFile("test.ini", "[Test]\r\nProfileInt=12\r\n"); }
  bool IsEmptyFile(const std::string& path) const {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0;
  }
};

class ProfileNT : public Profile98 {
 protected:
  qzhost::TestMachineOptions Options() const override {
    qzhost::TestMachineOptions options;
    options.os = qzhost::Personality::kWinNT;
    return options;
  }
};

// --- WritePrivateProfileStringA ----------------------------------------------

// Deleting a section of a file that is not there leaves an empty file, as
// deleting a key does: the file is opened for writing first.
TEST_F(Profile98, DeletingASectionOfAMissingFileLeavesAnEmptyFile) {
  EXPECT_TRUE(WritePrivateProfileStringA("App", nullptr, "string", Missing().c_str()));
  EXPECT_TRUE(IsEmptyFile(Missing()));
}

TEST_F(ProfileNT, DeletingASectionOfAMissingFileLeavesAnEmptyFile) {
  EXPECT_TRUE(WritePrivateProfileStringA("App", nullptr, nullptr, Missing().c_str()));
  EXPECT_TRUE(IsEmptyFile(Missing()));
}

// --- GetPrivateProfileIntA with a NULL section or key ------------------------------

// Windows 98 answers 0, whatever the default and whether the file is there.
TEST_F(Profile98, NullSectionOrKeyReadsAsZero) {
  const std::string missing = Missing(), existing = Existing();
  for (const std::string& file : {missing, existing}) {
    EXPECT_EQ(0u, GetPrivateProfileIntA(nullptr, nullptr, -1, file.c_str())) << file;
    EXPECT_EQ(0u, GetPrivateProfileIntA("Test", nullptr, 1, file.c_str())) << file;
    EXPECT_EQ(0u, GetPrivateProfileIntA(nullptr, "ProfileInt", -1, file.c_str())) << file;
  }
  EXPECT_EQ(0u, GetPrivateProfileIntA(nullptr, nullptr, 70, nullptr));
  // A missing key still gives the default.
  EXPECT_EQ(4294967295u, GetPrivateProfileIntA("Test", "Nope", -1, existing.c_str()));
}

// NT reads the list that GetPrivateProfileStringA gives: none from a missing
// file (the default), names from a file that has them (no number, 0).
TEST_F(ProfileNT, NullSectionOrKeyReadsTheList) {
  const std::string missing = Missing(), existing = Existing();
  EXPECT_EQ(4294967295u, GetPrivateProfileIntA(nullptr, nullptr, -1, missing.c_str()));
  EXPECT_EQ(1u, GetPrivateProfileIntA("Test", nullptr, 1, missing.c_str()));
  EXPECT_EQ(4294967295u, GetPrivateProfileIntA(nullptr, "ProfileInt", -1, missing.c_str()));
  EXPECT_EQ(0u, GetPrivateProfileIntA("Test", nullptr, 1, existing.c_str()));
  EXPECT_EQ(0u, GetPrivateProfileIntA(nullptr, nullptr, 70, nullptr));
  EXPECT_EQ(12u, GetPrivateProfileIntA("Test", "ProfileInt", -1, existing.c_str()));
}

}  // namespace
