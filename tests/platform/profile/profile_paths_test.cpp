// Profile calls given the paths Win32 treats specially: odd names, dots,
// devices, network paths and double-byte characters.
#include <string.h>
#include <sys/stat.h>

#include <string>

#include "tests/support/machine_test.h"

namespace {

bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

class ProfilePathsTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    ASSERT_EQ(mkdir((root_ + "/drive_c/SETUP").c_str(), 0700), 0);
    WriteRootFile("drive_c/SETUP/RT2210.INI", "[Model]\r\nName=RT-2210\r\n");
  }
  // The value of [Model] Name in `file`, with the last error after the call.
  std::string Name(const char* file) {
    char buffer[64];
    SetLastError(0xdeadbeef);
    DWORD n = GetPrivateProfileStringA("Model", "Name", "dflt", buffer, sizeof buffer, file);
    error_ = GetLastError();
    return std::string(buffer, n);
  }
  // WritePrivateProfileStringA's result, with the last error set aside.
  BOOL Write(const char* file, const char* value = "v") {
    SetLastError(0xdeadbeef);
    BOOL ok = WritePrivateProfileStringA("Model", "Name", value, file);
    error_ = GetLastError();
    return ok;
  }
  DWORD error_ = 0;
};

TEST_F(ProfilePathsTest, TrailingDotsAndSpacesAndDotFoldersNameTheSameFile) {
  for (const char* file :
       {"C:\\SETUP\\RT2210.INI.", "C:\\SETUP\\RT2210.INI . ", "C:\\SETUP.\\RT2210.INI",
        "C:\\SETUP\\..\\SETUP\\RT2210.INI", "C:\\SETUP\\.\\RT2210.INI",
        "C:\\..\\..\\SETUP\\RT2210.INI", "c:/setup//rt2210.ini"})
    EXPECT_EQ(Name(file), "RT-2210") << file;
  EXPECT_TRUE(Write("C:\\SETUP\\RT2210.INI..", "RT-2210A"));
  EXPECT_EQ(ReadRootFile("drive_c/SETUP/RT2210.INI"), "[Model]\r\nName=RT-2210A\r\n");
  EXPECT_FALSE(Exists(root_ + "/drive_c/SETUP/RT2210.INI.."));
}

TEST_F(ProfilePathsTest, ForbiddenCharactersGiveInvalidNameAndWriteNothing) {
  for (const char* file :
       {"C:\\SETUP\\RT?.INI", "C:\\SETUP\\RT*.INI", "C:\\SETUP\\<RT>.INI", "C:\\SETUP\\RT|2.INI",
        "C:\\SETUP\\\"RT\".INI", "C:\\SETUP\\RT\t.INI", "C:\\SETUP\\A:B.INI"}) {
    EXPECT_EQ(Name(file), "dflt") << file;
    EXPECT_EQ(error_, 123u) << file;
    EXPECT_FALSE(Write(file)) << file;
    EXPECT_EQ(error_, 123u) << file;
  }
  EXPECT_EQ(ReadRootFile("drive_c/SETUP/RT2210.INI"), "[Model]\r\nName=RT-2210\r\n");
}

TEST_F(ProfilePathsTest, NulReadsEmptyAndSwallowsWritesOtherDevicesAreAbsent) {
  for (const char* file : {"NUL", "C:\\SETUP\\nul.ini", "C:\\SETUP\\NUL .INI"}) {
    EXPECT_EQ(Name(file), "dflt") << file;
    EXPECT_TRUE(Write(file)) << file;
    EXPECT_EQ(Name(file), "dflt") << file;
  }
  for (const char* file :
       {"CON", "C:\\SETUP\\PRN.INI", "aux.ini", "C:\\COM1.INI", "LPT9", "C:\\SETUP\\com3.txt"}) {
    EXPECT_EQ(Name(file), "dflt") << file;
    EXPECT_EQ(error_, static_cast<DWORD>(ERROR_FILE_NOT_FOUND)) << file;
    EXPECT_FALSE(Write(file)) << file;
    EXPECT_EQ(error_, static_cast<DWORD>(ERROR_FILE_NOT_FOUND)) << file;
  }
  // No file of a device's name was made anywhere.
  for (const char* made : {"drive_c/SETUP/nul.ini", "drive_c/WINDOWS/NUL", "drive_c/WINDOWS/CON",
                           "drive_c/COM1.INI", "drive_c/SETUP/PRN.INI"})
    EXPECT_FALSE(Exists(root_ + "/" + made)) << made;
  // A name that only starts like a device is a file.
  EXPECT_TRUE(Write("C:\\SETUP\\CONFIG.INI"));
  EXPECT_TRUE(Exists(root_ + "/drive_c/SETUP/CONFIG.INI"));
}

TEST_F(ProfilePathsTest, NetworkPathsFailAsUnreachable) {
  // ("//server/share" is a path of the host's own, which the host takes as it is.)
  for (const char* file : {"\\\\server\\share\\RT2210.INI", "\\\\server/share/RT2210.INI"}) {
    EXPECT_EQ(Name(file), "dflt") << file;
    EXPECT_EQ(error_, 53u) << file;
    EXPECT_FALSE(Write(file)) << file;
    EXPECT_EQ(error_, 53u) << file;
  }
}

using ProfilePaths932Test = OnCodePage932<ProfilePathsTest>;

// 0x95 0x5C is one character whose second byte is the backslash's.
TEST_F(ProfilePaths932Test, ADoubleByteCharacterEndingIn5CNamesOneFolder) {
  ASSERT_EQ(mkdir((root_ + "/drive_c/\x95\x5C").c_str(), 0700), 0);
  EXPECT_TRUE(Write("C:\\\x95\x5C\\X.INI"));
  EXPECT_EQ(ReadRootFile("drive_c/\x95\x5C/X.INI"), "[Model]\r\nName=v\r\n");
  EXPECT_FALSE(Exists(root_ + "/drive_c/\x95"));
  EXPECT_EQ(Name("C:\\\x95\x5C\\X.INI"), "v");
  EXPECT_TRUE(Write("C:\\SETUP\\\x83\x7C.INI"));  // second byte '|' is no forbidden character
  EXPECT_TRUE(Exists(root_ + "/drive_c/SETUP/\x83\x7C.INI"));
}

}  // namespace
