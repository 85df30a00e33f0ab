// `..` several times in a row: each one goes up one folder, in the parsed
// path and in the host file a profile call then reaches.
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/host/machine/winpath.h"
#include "tests/support/machine_test.h"

namespace {

std::string Parsed(const std::string& path) {
  qzhost::WinPath win;
  if (uint32_t error = qzhost::ParseWindowsPath(path, 1252, &win))
    return "error " + std::to_string(error);
  std::string out = win.drive ? std::string(1, win.drive) + ":" : std::string();
  for (const std::string& name : win.names) out += "\\" + name;
  return out;
}

TEST(UpDirsTest, EachDotDotOfARunGoesUpOneFolder) {
  EXPECT_EQ(Parsed("C:\\A\\B\\C\\..\\..\\X.INI"), "C:\\A\\X.INI");
  EXPECT_EQ(Parsed("C:\\A\\B\\C\\..\\..\\..\\X.INI"), "C:\\X.INI");
  EXPECT_EQ(Parsed("C:\\A\\B\\..\\..\\..\\..\\X.INI"), "C:\\X.INI");
  EXPECT_EQ(Parsed("C:\\A\\B\\C\\..\\.\\..\\D\\X.INI"), "C:\\A\\D\\X.INI");
  EXPECT_EQ(Parsed("C:\\A\\B\\C\\..\\..\\"), "C:\\A");
  // Relative: what the path cannot resolve itself is kept, each `..` once.
  EXPECT_EQ(Parsed("..\\..\\X.INI"), "\\..\\..\\X.INI");
  EXPECT_EQ(Parsed("A\\..\\..\\..\\X.INI"), "\\..\\..\\X.INI");
  EXPECT_EQ(Parsed("A\\B\\..\\..\\X.INI"), "\\X.INI");
}

class UpDirsProfileTest : public MachineTest {
 protected:
  // Writes [S] k=v through `file` with the current folder at `folder` (below
  // the machine root) and gives back what the call answered.
  BOOL WriteFrom(const std::string& folder, const char* file) {
    char cwd[PATH_MAX];
    if (getcwd(cwd, sizeof cwd) == nullptr) return FALSE;
    if (chdir((root_ + "/" + folder).c_str()) != 0) return FALSE;
    BOOL ok = WritePrivateProfileStringA("S", "k", "v", file);
    EXPECT_EQ(chdir(cwd), 0);
    return ok;
  }
};

TEST_F(UpDirsProfileTest, RelativeDotDotsClimbFromTheCurrentFolder) {
  ASSERT_EQ(mkdir((root_ + "/a").c_str(), 0700), 0);
  ASSERT_EQ(mkdir((root_ + "/a/b").c_str(), 0700), 0);
  ASSERT_EQ(mkdir((root_ + "/a/b/c").c_str(), 0700), 0);
  EXPECT_TRUE(WriteFrom("a/b/c", "..\\..\\TWO.INI"));
  EXPECT_EQ(ReadRootFile("a/TWO.INI"), "[S]\r\nk=v\r\n");
  EXPECT_TRUE(WriteFrom("a/b/c", "..\\..\\..\\THREE.INI"));
  EXPECT_EQ(ReadRootFile("THREE.INI"), "[S]\r\nk=v\r\n");
  EXPECT_TRUE(WriteFrom("a/b/c", "..\\..\\b\\..\\..\\a\\b\\BACK.INI"));
  EXPECT_EQ(ReadRootFile("a/b/BACK.INI"), "[S]\r\nk=v\r\n");
  // Nothing landed one folder off.
  for (const char* wrong : {"/a/b/TWO.INI", "/TWO.INI", "/a/THREE.INI"}) {
    struct stat st;
    EXPECT_NE(stat((root_ + wrong).c_str(), &st), 0) << wrong;
  }
}

TEST_F(UpDirsProfileTest, DriveDotDotsClimbBelowDriveC) {
  ASSERT_EQ(mkdir((root_ + "/drive_c/SETUP").c_str(), 0700), 0);
  ASSERT_EQ(mkdir((root_ + "/drive_c/SETUP/WIN98").c_str(), 0700), 0);
  EXPECT_TRUE(WritePrivateProfileStringA("S", "k", "v", "C:\\SETUP\\WIN98\\..\\..\\X.INI"));
  EXPECT_EQ(ReadRootFile("drive_c/X.INI"), "[S]\r\nk=v\r\n");
}

}  // namespace
