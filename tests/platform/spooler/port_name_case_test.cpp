// Port names without regard to case, as the registry, the profile and the
// port list all compare them: on code page 1252 the accented letters fold
// (Pé: and PÉ: are one port), on 932 a double-byte character is compared as
// it is (ア 0x83 0x41 and ヂ 0x83 0x61 are two ports, though their second
// bytes differ only as ASCII letters would).
#include <algorithm>
#include <string>
#include <vector>

#include "tests/platform/spooler/spooler_test_util.h"

namespace {

using spooltest::PortNames;

class PortNameCaseTest : public MachineTest {
 protected:
  qzhost::TestMachineOptions Options() const override {
    qzhost::TestMachineOptions options = MachineTest::Options();
    options.inMemoryRegistry = true;
    return options;
  }
  void AddKey(const std::string& port) {
    HKEY hKey = nullptr;
    ASSERT_EQ(
        ERROR_SUCCESS,
        RegCreateKeyA(HKEY_LOCAL_MACHINE,
                      (std::string(qzhost::spool::kPrintPortsKey) + "\\" + port).c_str(), &hKey));
    RegCloseKey(hKey);
  }
  // The [Ports] keys, as GetProfileStringA lists them.
  std::vector<std::string> ProfileKeys() {
    char acKeys[4096] = "";
    DWORD n = GetProfileStringA("Ports", nullptr, "", acKeys, sizeof acKeys);
    std::vector<std::string> keys;
    for (const char* p = acKeys; p < acKeys + n && *p != '\0'; p += strlen(p) + 1)
      keys.push_back(p);
    return keys;
  }
  static long Count(const std::vector<std::string>& names, const char* a, const char* b) {
    return std::count_if(names.begin(), names.end(),
                         [a, b](const std::string& n) { return n == a || n == b; });
  }
};

TEST_F(PortNameCaseTest, AccentedLettersFoldInTheProfileThePortListAndTheRegistry) {
  const char* lower = "P\xE9:";  // Pé:
  const char* upper = "P\xC9:";  // PÉ:
  ASSERT_TRUE(WriteProfileStringA("Ports", lower, ""));
  ASSERT_TRUE(WriteProfileStringA("Ports", upper, "x"));
  EXPECT_EQ(1, Count(ProfileKeys(), lower, upper)) << "one [Ports] entry";
  char acValue[16] = "";
  GetProfileStringA("Ports", lower, "", acValue, sizeof acValue);
  EXPECT_STREQ("x", acValue);
  AddKey(upper);
  AddKey(lower);  // the same key: the registry folds them
  EXPECT_EQ(1, Count(PortNames(), lower, upper)) << "one port";
}

using PortNameCase932Test = OnCodePage932<PortNameCaseTest>;

TEST_F(PortNameCase932Test, DoubleByteCharactersAreComparedAsTheyAre) {
  const char* a = "\x83\x41:";   // ア:
  const char* di = "\x83\x61:";  // ヂ:
  ASSERT_TRUE(WriteProfileStringA("Ports", a, ""));
  ASSERT_TRUE(WriteProfileStringA("Ports", di, ""));
  EXPECT_EQ(2, Count(ProfileKeys(), a, di));
  AddKey(di);
  std::vector<std::string> names = PortNames();
  EXPECT_EQ(1, std::count(names.begin(), names.end(), a));
  EXPECT_EQ(1, std::count(names.begin(), names.end(), di));
}

}  // namespace
