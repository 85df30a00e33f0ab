// Plug and Play enumeration lookup: search order, skip count, buffers, depth.
#include "inst32/pnpenum.h"

#include <string.h>

#include <string>

#include "inst32/registry.h"
#include "tests/support/machine_test.h"

namespace {

// Creates HKLM\<path> one level at a time (Windows creates at most 32 levels
// in one call) and, when pszPort is given, sets its "PortName".
void MakeNode(const std::string& path, const char* pszPort = nullptr) {
  HKEY hKey = nullptr;
  ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, path.c_str(), &hKey), ERROR_SUCCESS) << path;
  if (pszPort != nullptr) {
    EXPECT_EQ(RegSetValueExA(hKey, "PortName", 0, REG_SZ, reinterpret_cast<const BYTE*>(pszPort),
                             static_cast<DWORD>(strlen(pszPort) + 1)),
              ERROR_SUCCESS);
  }
  RegCloseKey(hKey);
}

void SetBinaryPortName(const std::string& path, const std::string& data) {
  COrlRegKey hKey;
  ASSERT_EQ(hKey.Create(HKEY_LOCAL_MACHINE, path.c_str()), ERROR_SUCCESS);
  hKey.SetBinary("PortName", reinterpret_cast<const BYTE*>(data.data()),
                 static_cast<DWORD>(data.size()));
}

size_t CountOf(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

class PnPEnumTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    SetPnPMatchSkip(0);
  }
  // Searches HKLM\QzTest\Top for "PortName" == pszWanted.
  std::string Search(const char* pszWanted) {
    COrlRegKey hTest;
    EXPECT_EQ(hTest.Open(HKEY_LOCAL_MACHINE, "QzTest", KEY_READ), ERROR_SUCCESS);
    return FindStrValueSubkeyPath(hTest, "Top", "PortName", pszWanted, '&').GetString();
  }
};

TEST_F(PnPEnumTest, DepthFirstInIndexOrderWithEveryTraceLine) {
  MakeNode("QzTest\\Top\\a\\b\\c", "LPT7");
  MakeNode("QzTest\\Top\\a\\b\\d", "LPT7");  // after c: never reached
  MakeNode("QzTest\\Top\\x", "LPT7");
  Trace();
  EXPECT_EQ(Search("LPT7"), "a&b&c");
  EXPECT_EQ(Trace(),
            "FindStrValueSubkeyPath() on Top\n"
            "FindStrValueSubkeyPath() on a\n"
            "FindStrValueSubkeyPath() on b\n"
            "PortName=LPT7; Looking for LPT7\n"
            "Found it! csResult == c\n"
            "Found it! csResult == b&c\n"
            "Found it! csResult == a&b&c\n");
  EXPECT_EQ(GetPnPMatchSkip(), -1);
}

TEST_F(PnPEnumTest, ComparisonIsCaseSensitiveAndNodesWithTheValueAreLeaves) {
  MakeNode("QzTest\\Top\\n1", "lpt7");
  MakeNode("QzTest\\Top\\n1\\below", "LPT7");  // under a node whose value was read
  Trace();
  EXPECT_EQ(Search("LPT7"), "");
  std::string trace = Trace();
  EXPECT_NE(trace.find("PortName=lpt7; Looking for LPT7\n"), std::string::npos);
  EXPECT_EQ(trace.find("on n1"), std::string::npos);
  EXPECT_EQ(GetPnPMatchSkip(), 0);
}

TEST_F(PnPEnumTest, ValueTooLongForTheBufferSendsTheSearchBelow) {
  // "LPT7" gets a buffer of 6 bytes: "LPT7X" and its terminator fit, "LPT7XX" does not.
  MakeNode("QzTest\\Top\\fits", "LPT7X");
  MakeNode("QzTest\\Top\\fits\\child", "LPT7");
  MakeNode("QzTest\\Top\\long", "LPT7XX");
  MakeNode("QzTest\\Top\\long\\child", "LPT7");
  Trace();
  EXPECT_EQ(Search("LPT7"), "long&child");
  std::string trace = Trace();
  EXPECT_NE(trace.find("PortName=LPT7X; Looking for LPT7\n"), std::string::npos);
  EXPECT_EQ(trace.find("on fits"), std::string::npos);
  EXPECT_NE(trace.find("FindStrValueSubkeyPath() on long\n"), std::string::npos);
}

TEST_F(PnPEnumTest, BinaryValueWithoutTerminatorIsReadSafely) {
  SetBinaryPortName("QzTest\\Top\\a", "LPT7AB");  // fills the 6-byte buffer exactly
  SetBinaryPortName("QzTest\\Top\\b", "LPT7");
  Trace();
  EXPECT_EQ(Search("LPT7"), "b");
  EXPECT_NE(Trace().find("PortName=LPT7AB; Looking for LPT7\n"), std::string::npos);
}

TEST_F(PnPEnumTest, SubkeyNamesOver35CharactersArePassedOverNeverCut) {
  const std::string cut(35, 'A');
  MakeNode("QzTest\\Top\\" + cut + "A", "LPT7");                      // 36: index 0
  MakeNode("QzTest\\Top\\" + std::string(255, 'A') + "\\c", "LPT7");  // 255: index 1
  MakeNode("QzTest\\Top\\" + std::string(35, 'B') + "\\c", "LPT7");   // 35: fits
  Trace();
  EXPECT_EQ(Search("LPT7"), std::string(35, 'B') + "&c");
  std::string trace = Trace();
  EXPECT_EQ(trace.find(cut), std::string::npos);
  EXPECT_EQ(CountOf(trace, "; Looking for"), 1u);
  EXPECT_EQ(GetPnPMatchSkip(), -1);
}

TEST_F(PnPEnumTest, SubkeyThatCannotBeOpenedIsSkipped) {
  MakeNode("QzTest\\Top\\a", "LPT7");
  MakeNode("QzTest\\Top\\b", "LPT7");
  Trace();
  qzhost::FailCall("RegOpenKeyExA", ERROR_ACCESS_DENIED, 1, 2);  // QzTest, Top pass; a fails
  EXPECT_EQ(Search("LPT7"), "b");
  EXPECT_NE(Trace().find("Failed opening a: ERROR 5 <0x00000005>\n"), std::string::npos);
}

TEST_F(PnPEnumTest, KeyThatCannotBeListedEndsItsSearch) {
  MakeNode("QzTest\\Top\\a", "LPT7");
  qzhost::FailCall("RegEnumKeyExA", ERROR_INVALID_HANDLE, 1000000);
  EXPECT_EQ(Search("LPT7"), "");
  qzhost::ClearFailures();
  EXPECT_EQ(Search("LPT7"), "a");
}

TEST_F(PnPEnumTest, MissingStartKeyIsTraced) {
  MakeNode("QzTest");
  Trace();
  EXPECT_EQ(Search("LPT7"), "");
  EXPECT_EQ(Trace(),
            "FindStrValueSubkeyPath() on Top\n"
            "Failed opening Top: ERROR 2 <0x00000002>\n");
}

TEST_F(PnPEnumTest, TreeAsDeepAsTheRegistryAllows) {
  // HKLM\QzTest\Top\d\d...: 512 levels in all, HKEY_LOCAL_MACHINE counted.
  const int kLevels = 509;
  MakeNode("QzTest\\Top");
  HKEY hKey = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "QzTest\\Top", 0, KEY_ALL_ACCESS, &hKey), 0);
  for (int i = 0; i < kLevels; ++i) {
    HKEY hChild = nullptr;
    ASSERT_EQ(RegCreateKeyA(hKey, "d", &hChild), ERROR_SUCCESS) << i;
    RegCloseKey(hKey);
    hKey = hChild;
  }
  RegSetValueExA(hKey, "PortName", 0, REG_SZ, reinterpret_cast<const BYTE*>("LPT7"), 5);
  RegCloseKey(hKey);
  Trace();
  std::string expected = "d";
  for (int i = 1; i < kLevels; ++i) expected += "&d";
  EXPECT_EQ(Search("LPT7"), expected);
  std::string trace = Trace();
  EXPECT_EQ(CountOf(trace, "FindStrValueSubkeyPath() on "), static_cast<size_t>(kLevels));
  EXPECT_EQ(CountOf(trace, "Found it! "), static_cast<size_t>(kLevels));
}

// GetPnPEnumKey over HKLM\Enum. The port names here are not in the default
// machine image, whose nodes the search may still walk through.
TEST_F(PnPEnumTest, PortNameIsCutToSixCharactersAndAtAColon) {
  MakeNode("Enum\\Root\\qz\\a", "LPT7");
  MakeNode("Enum\\Root\\qz\\b", "ABCDEF");
  MakeNode("Enum\\Root\\qz\\c", "LP");
  MakeNode("Enum\\Root\\qz\\d", ":LPT");
  struct {
    const char* pszPort;
    const char* pszFound;
  } const kCases[] = {{"LPT7:", "Root&qz&a"},    {"LPT7:extra", "Root&qz&a"},
                      {"ABCDEFGH", "Root&qz&b"}, {"LP:T7:", "Root&qz&c"},
                      {":LPT", "Root&qz&d"},     {"lpt7:", ""}};
  for (const auto& c : kCases) {
    SetPnPMatchSkip(0);
    EXPECT_EQ(std::string(GetPnPEnumKey(c.pszPort)), c.pszFound) << c.pszPort;
  }
}

TEST_F(PnPEnumTest, OneSkipCountRunsThroughBiosThenRoot) {
  MakeNode("Enum\\BIOS\\qz\\0000", "LPT7");
  MakeNode("Enum\\Root\\qz\\0000", "LPT7");
  const char* kExpected[] = {"BIOS&qz&0000", "Root&qz&0000", ""};
  for (int k = 0; k < 3; ++k) {
    SetPnPMatchSkip(k);
    Trace();
    EXPECT_EQ(std::string(GetPnPEnumKey("LPT7:")), kExpected[k]) << k;
    EXPECT_EQ(GetPnPMatchSkip(), k == 0 ? -1 : k - 2) << k;
    std::string trace = Trace();
    if (k < 2) {
      EXPECT_NE(trace.find(std::string("GetPnPEnumKey() found: ") + kExpected[k] + "\n"),
                std::string::npos);
    } else {
      EXPECT_NE(trace.find("GetPnPEnumKey() Failed!\n"), std::string::npos);
    }
  }
}

TEST_F(PnPEnumTest, NodeDirectlyBelowARoot) {
  MakeNode("Enum\\BIOS\\QZNODE", "LPT7");
  EXPECT_EQ(std::string(GetPnPEnumKey("LPT7")), "BIOS&QZNODE");
}

TEST_F(PnPEnumTest, EnumKeyThatCannotBeOpened) {
  qzhost::FailCall("RegOpenKeyExA", ERROR_ACCESS_DENIED);
  Trace();
  EXPECT_EQ(std::string(GetPnPEnumKey("LPT1:")), "");
  EXPECT_EQ(Trace(), "Failed opening HKLM\\Enum: ERROR 5 <0x00000005>\n");
}

}  // namespace
