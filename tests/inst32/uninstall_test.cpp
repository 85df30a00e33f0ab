// Command 4: the product's key under the uninstall key.
#include "inst32/uninstall.h"

#include <string>

#include "tests/support/machine_test.h"

using qztest::KeyExists;

namespace {

const char kProductKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Halden RT-2210 Series";

// The value's data (terminator included for strings) and type; false when the
// key or the value is missing.
bool ReadValue(const char* key, const char* name, std::string* data, DWORD* type = nullptr) {
  HKEY hKey = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_QUERY_VALUE, &hKey) != ERROR_SUCCESS) {
    return false;
  }
  DWORD cbData = 0;
  DWORD dwType = 0;
  LONG lResult = RegQueryValueExA(hKey, name, nullptr, &dwType, nullptr, &cbData);
  if (lResult == ERROR_SUCCESS) {
    data->assign(cbData, '\0');
    lResult = RegQueryValueExA(hKey, name, nullptr, &dwType, reinterpret_cast<LPBYTE>(&(*data)[0]),
                               &cbData);
  }
  RegCloseKey(hKey);
  if (type != nullptr) *type = dwType;
  return lResult == ERROR_SUCCESS;
}

class UninstallTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    HKEY hKey = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, QZ_UNINSTALL_KEY, &hKey), ERROR_SUCCESS);
    RegCloseKey(hKey);
  }
};

TEST_F(UninstallTest, WritesRemovalCommandAndDisplayName) {
  EXPECT_EQ(Run("4 C:\\PROGRA~1\\PRN\\UNINST.EXE -f"), 0);
  std::string data;
  DWORD dwType = 0;
  ASSERT_TRUE(ReadValue(kProductKey, "UninstallString", &data, &dwType));
  EXPECT_EQ(dwType, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(data, std::string("C:\\PROGRA~1\\PRN\\UNINST.EXE -f", 30));  // terminator stored
  ASSERT_TRUE(ReadValue(kProductKey, "DisplayName", &data, &dwType));
  EXPECT_EQ(dwType, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(data, std::string("Halden RT-2210 Series", 22));
  std::string trace = Trace();
  size_t at = trace.find("SetUninstall(C:\\PROGRA~1\\PRN\\UNINST.EXE -f)\n");
  ASSERT_NE(at, std::string::npos);
  EXPECT_NE(trace.find(std::string("RegCreate/Open: ") + kProductKey + "\n", at),
            std::string::npos);
}

TEST_F(UninstallTest, SecondRunRewritesAndKeepsOtherValues) {
  EXPECT_EQ(Run("4 A:\\FIRST.EXE"), 0);
  HKEY hKey = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kProductKey, 0, KEY_SET_VALUE, &hKey), ERROR_SUCCESS);
  RegSetValueExA(hKey, "Publisher", 0, REG_SZ, reinterpret_cast<const BYTE*>("Halden"), 7);
  RegCloseKey(hKey);
  EXPECT_EQ(Run("4 B:\\SECOND.EXE /remove"), 0);
  std::string data;
  ASSERT_TRUE(ReadValue(kProductKey, "UninstallString", &data));
  EXPECT_STREQ(data.c_str(), "B:\\SECOND.EXE /remove");
  ASSERT_TRUE(ReadValue(kProductKey, "Publisher", &data));
  EXPECT_STREQ(data.c_str(), "Halden");
}

TEST_F(UninstallTest, EmptyParameterIsRefusedUntouched) {
  EXPECT_EQ(Run("4"), 1026);
  EXPECT_EQ(SetUninstall(nullptr), 1026);
  EXPECT_EQ(SetUninstall(""), 1026);
  EXPECT_EQ(Trace().find("SetUninstall("), std::string::npos);
  EXPECT_FALSE(KeyExists(kProductKey));
}

TEST_F(UninstallTest, MissingUninstallKeyIsRefused) {
  ASSERT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, QZ_UNINSTALL_KEY), ERROR_SUCCESS);
  EXPECT_EQ(Run("4 X:\\UNINST.EXE"), 1026);
  qzhost::FailCall("RegOpenKeyA", ERROR_ACCESS_DENIED);
  EXPECT_EQ(Run("4 X:\\UNINST.EXE"), 1026);
  EXPECT_EQ(Trace().find("SetUninstall("), std::string::npos);
  EXPECT_FALSE(KeyExists(kProductKey));
}

TEST_F(UninstallTest, ProductKeyNotCreatedIsReportedWithTrace) {
  qzhost::FailCall("RegCreateKeyA", ERROR_ACCESS_DENIED);
  EXPECT_EQ(Run("4 X:\\UNINST.EXE"), 1028);
  std::string trace = Trace();
  size_t at = trace.find("FAILED! Create/Open error 5\n");
  ASSERT_NE(at, std::string::npos);
  EXPECT_NE(trace.find(std::string("        csKey = ") + kProductKey + "\n", at),
            std::string::npos);
  EXPECT_EQ(trace.find("RegCreate/Open:"), std::string::npos);
}

TEST_F(UninstallTest, UnwrittenValuesStillSucceed) {
  qzhost::FailCall("RegSetValueExA", ERROR_ACCESS_DENIED, 2);
  EXPECT_EQ(Run("4 X:\\UNINST.EXE"), 0);
  std::string data;
  EXPECT_FALSE(ReadValue(kProductKey, "UninstallString", &data));
  EXPECT_TRUE(KeyExists(kProductKey));
}

TEST_F(UninstallTest, AnyBytesAndHugeCommandLines) {
  std::string odd;
  for (int ch = 1; ch < 256; ++ch) odd += static_cast<char>(ch);
  EXPECT_EQ(SetUninstall(odd.c_str()), 0);
  std::string data;
  ASSERT_TRUE(ReadValue(kProductKey, "UninstallString", &data));
  EXPECT_EQ(data, odd + '\0');

  std::string huge(200000, 'u');
  EXPECT_EQ(Run("4 " + huge), 0);
  EXPECT_NE(Trace().find("SetUninstall(uuuu"), std::string::npos);
  ASSERT_TRUE(ReadValue(kProductKey, "DisplayName", &data));
  EXPECT_STREQ(data.c_str(), "Halden RT-2210 Series");
}

}  // namespace
