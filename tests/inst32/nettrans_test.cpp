// Command 5: the TCP/IP address copied into the script's profile file.
#include "inst32/nettrans.h"

#include <sys/stat.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/file_text.h"
#include "tests/support/machine_test.h"

namespace {

using qztest::ReadFileText;

bool FileExists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

class NetTransTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    profile_ = root_ + "/setup.ini";
    RemoveSeededTransports();
  }

  // The default machine has NetBEUI and TCP/IP; each test brings its own.
  static void RemoveSeededTransports() {
    HKEY hClass = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, QZ_NETTRANS_KEY, 0, KEY_ALL_ACCESS, &hClass),
              ERROR_SUCCESS);
    std::vector<std::string> names;
    char acName[256];
    DWORD cchName = sizeof acName;
    while (RegEnumKeyExA(hClass, static_cast<DWORD>(names.size()), acName, &cchName, nullptr,
                         nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
      names.push_back(acName);
      cchName = sizeof acName;
    }
    for (const std::string& name : names) {
      EXPECT_EQ(RegDeleteKeyA(hClass, name.c_str()), ERROR_SUCCESS) << name;
    }
    RegCloseKey(hClass);
  }

  // A transport's subkey with its description, and its address unless null.
  void AddTransport(const std::string& subkey, const char* desc, const char* address) {
    std::string path = std::string(QZ_NETTRANS_KEY) + subkey;
    HKEY hKey = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, path.c_str(), &hKey), ERROR_SUCCESS);
    SetString(hKey, "DriverDesc", desc);
    if (address != nullptr) SetString(hKey, "IPAddress", address);
    RegCloseKey(hKey);
  }

  static void SetString(HKEY hKey, const char* name, const std::string& value) {
    RegSetValueExA(hKey, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>(value.size() + 1));
  }

  std::string ServerAddress() const {
    char acValue[300];
    GetPrivateProfileStringA("Config", "ServerAddress", "<absent>", acValue, sizeof acValue,
                             profile_.c_str());
    return acValue;
  }

  int RunFor(const std::string& profile) { return Run("5 " + profile); }

  std::string profile_;
};

TEST(NetTransDefaultMachineTest, SeededTcpIpAddressIsWritten) {
  std::string root = qzhost::UseTestMachine();
  std::string profile = root + "/setup.ini";
  EXPECT_EQ(GetNetTransAddress(profile.c_str()), 0);
  char acValue[32];
  GetPrivateProfileStringA("Config", "ServerAddress", "", acValue, sizeof acValue, profile.c_str());
  EXPECT_STREQ(acValue, "192.168.1.20");
  qzhost::RemoveTestMachine();
}

TEST_F(NetTransTest, TcpIpFoundAmongTransportsWhateverTheCase) {
  AddTransport("0000", "NetBEUI", "9.9.9.9");
  AddTransport("0001", "tcp/ip", "192.168.1.20");
  EXPECT_EQ(RunFor(profile_), 0);
  EXPECT_EQ(ServerAddress(), "192.168.1.20");
}

TEST_F(NetTransTest, DescriptionMustBeTcpIpExactly) {
  AddTransport("0000", "TCP/IP ", "1.1.1.1");
  AddTransport("0001", "TCP/IPX", "2.2.2.2");
  AddTransport("0002", "Microsoft TCP/IP", "3.3.3.3");
  EXPECT_EQ(RunFor(profile_), 1024);
  EXPECT_FALSE(FileExists(profile_));
}

// Windows compares the description linguistically: a soft hyphen (0xAD)
// weighs nothing; a hyphen, a no-break space or a control character counts.
TEST_F(NetTransTest, DescriptionIsComparedAsWindowsComparesWords) {
  AddTransport("0000", "TCP/I-P", "1.1.1.1");
  AddTransport("0001", "TCP/I\xA0P", "2.2.2.2");
  AddTransport("0002", "TCP/I\x01P", "3.3.3.3");
  AddTransport("0003", "TCP/I\xADP", "10.0.0.9");
  EXPECT_EQ(RunFor(profile_), 0);
  EXPECT_EQ(ServerAddress(), "10.0.0.9");
}

TEST_F(NetTransTest, TransportWithoutAddressIsPassedOver) {
  AddTransport("0000", "TCP/IP", nullptr);
  AddTransport("0001", "TCP/IP", "10.0.0.7");
  AddTransport("0002", "TCP/IP", "10.0.0.8");
  EXPECT_EQ(RunFor(profile_), 0);
  EXPECT_EQ(ServerAddress(), "10.0.0.7");
}

TEST_F(NetTransTest, NoTcpIpLeavesTheProfileUntouched) {
  AddTransport("0000", "IPX/SPX-compatible Protocol", "4.4.4.4");
  WriteRootFile("setup.ini", "[Config]\nServerAddress=old\n");
  EXPECT_EQ(RunFor(profile_), 1024);
  EXPECT_EQ(ReadFileText(profile_), "[Config]\nServerAddress=old\n");
  // No transports at all.
  EXPECT_EQ(GetNetTransAddress(profile_.c_str()), 1024);
}

TEST_F(NetTransTest, OldAddressReplacedOtherKeysKept) {
  AddTransport("0000", "TCP/IP", "172.16.0.1");
  WriteRootFile("setup.ini",
                "[Config]\nUser=admin\nServerAddress=0.0.0.0\nPort=515\n[Other]\nX=1\n");
  EXPECT_EQ(RunFor(profile_), 0);
  EXPECT_EQ(ServerAddress(), "172.16.0.1");
  char acValue[32];
  GetPrivateProfileStringA("Config", "User", "", acValue, sizeof acValue, profile_.c_str());
  EXPECT_STREQ(acValue, "admin");
  GetPrivateProfileStringA("Config", "Port", "", acValue, sizeof acValue, profile_.c_str());
  EXPECT_STREQ(acValue, "515");
  GetPrivateProfileStringA("Other", "X", "", acValue, sizeof acValue, profile_.c_str());
  EXPECT_STREQ(acValue, "1");
}

TEST_F(NetTransTest, MissingClassKeyShowsWhichKeyInAMessageBox) {
  AddTransport("0000", "TCP/IP", "10.1.1.1");
  qzhost::FailCall("RegOpenKeyExA", ERROR_FILE_NOT_FOUND);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(RunFor(profile_), 1024);
  std::string shown = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(shown.find("[failed to open key]"), std::string::npos) << shown;
  EXPECT_NE(shown.find("HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\NetTrans"),
            std::string::npos)
      << shown;
  EXPECT_NE(shown.find("could not be opened"), std::string::npos) << shown;
  EXPECT_FALSE(FileExists(profile_));
}

TEST_F(NetTransTest, UnwritableProfileFailsWithoutAFile) {
  AddTransport("0000", "TCP/IP", "10.2.2.2");
  std::string missing = root_ + "/no/such/folder/setup.ini";
  EXPECT_EQ(RunFor(missing), 1024);
  EXPECT_NE(Trace().find("WritePrivateProfileString() Failed! ERROR="), std::string::npos);
  EXPECT_FALSE(FileExists(root_ + "/no"));

  WriteRootFile("setup.ini", "[Config]\nServerAddress=old\n");
  qzhost::FailCall("WritePrivateProfileStringA", ERROR_DISK_FULL);
  EXPECT_EQ(RunFor(profile_), 1024);
  EXPECT_NE(Trace().find("WritePrivateProfileString() Failed! ERROR=112 <0x00000070>\n"),
            std::string::npos);
  EXPECT_EQ(ReadFileText(profile_), "[Config]\nServerAddress=old\n");
}

TEST_F(NetTransTest, SubkeyTooLongForThePathIsPassedOver) {
  // Sorts before "0001"; 49 + 216 characters would pass 259.
  AddTransport("0000" + std::string(212, 'x'), "TCP/IP", "6.6.6.6");
  AddTransport("0001", "TCP/IP", "8.8.8.8");
  EXPECT_EQ(RunFor(profile_), 0);
  EXPECT_EQ(ServerAddress(), "8.8.8.8");
}

TEST_F(NetTransTest, PathOfExactly259CharactersIsUsed) {
  AddTransport("0000" + std::string(206, 'z'), "TCP/IP", "5.5.5.5");
  EXPECT_EQ(RunFor(profile_), 0);
  EXPECT_EQ(ServerAddress(), "5.5.5.5");
}

TEST_F(NetTransTest, UnopenableSubkeyAndOverlongValuesArePassedOver) {
  AddTransport("0000", "TCP/IP", "1.0.0.1");
  AddTransport("0001", "TCP/IP", std::string(300, '1').c_str());  // past the 260-byte buffer
  AddTransport("0002", "TCP/IP", "3.0.0.3");
  qzhost::FailCall("RegOpenKeyExA", ERROR_ACCESS_DENIED, 1, 1);  // the class key opens
  EXPECT_EQ(RunFor(profile_), 0);
  EXPECT_EQ(ServerAddress(), "3.0.0.3");
}

TEST_F(NetTransTest, EnumerationErrorEndsTheSearch) {
  AddTransport("0000", "TCP/IP", "1.2.3.4");
  qzhost::FailCall("RegEnumKeyExA", ERROR_REGISTRY_CORRUPT);
  EXPECT_EQ(RunFor(profile_), 1024);
  EXPECT_FALSE(FileExists(profile_));
}

TEST_F(NetTransTest, AddressWithoutTerminatorIsReadWhole) {
  AddTransport("0000", "TCP/IP", nullptr);
  HKEY hKey = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, QZ_NETTRANS_KEY "0000", 0, KEY_SET_VALUE, &hKey),
            ERROR_SUCCESS);
  RegSetValueExA(hKey, "IPAddress", 0, REG_BINARY, reinterpret_cast<const BYTE*>("10.9.8.7"), 8);
  RegCloseKey(hKey);
  EXPECT_EQ(RunFor(profile_), 0);
  EXPECT_EQ(ServerAddress(), "10.9.8.7");
}

}  // namespace

namespace {

// The class key path (49 characters) and a subkey name of 211 make 260
// characters, one more than the 260-character buffer holds with its
// terminator: passed over like a longer one, never cut.
TEST_F(NetTransTest, PathOfExactly260CharactersIsPassedOver) {
  ASSERT_EQ(strlen(QZ_NETTRANS_KEY), 49u);
  AddTransport("0000" + std::string(207, 'y'), "TCP/IP", "6.6.6.6");
  EXPECT_EQ(RunFor(profile_), 1024);
  EXPECT_FALSE(FileExists(profile_));

  AddTransport("0001", "TCP/IP", "8.8.8.8");
  EXPECT_EQ(RunFor(profile_), 0);
  EXPECT_EQ(ServerAddress(), "8.8.8.8");
}

}  // namespace
