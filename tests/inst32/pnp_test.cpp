// Command 3: parameter splitting, device entries and result codes.
#include "inst32/pnp.h"

#include <string.h>

#include <string>
#include <vector>

#include "inst32/pnpenum.h"
#include "tests/support/machine_test.h"

namespace {

const char kInf[] =
    "[RT2210]\n"
    "Win95DeviceID=HALDENRT-2210\n"
    "Description=Halden RT-2210\n"
    "Device=Halden RT-2210 Device\n"
    "Model=RT-2210\n"
    "Mfg=%HALDEN%\n"
    "[DeviceOnly]\n"
    "Win95DeviceID=HALDENRT-2211\n"
    "Device=Halden RT-2211\n"
    "Mfg=Halden\n"
    "[NoId]\n"
    "Device=Halden RT-2212\n"
    "[Strings]\n"
    "HALDEN=Halden Instruments\n";

const char kBiosEntry[] = "Enum\\LPTENUM\\HALDENRT-2210\\BIOS&QZPORT&0000";
const char kRootEntry[] = "Enum\\LPTENUM\\HALDENRT-2210\\Root&QZPORT&0000";

void MakeNode(const std::string& path, const char* pszPort) {
  HKEY hKey = nullptr;
  ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, path.c_str(), &hKey), ERROR_SUCCESS) << path;
  RegSetValueExA(hKey, "PortName", 0, REG_SZ, reinterpret_cast<const BYTE*>(pszPort),
                 static_cast<DWORD>(strlen(pszPort) + 1));
  RegCloseKey(hKey);
}

struct VALUE {
  std::string name;
  DWORD dwType;
  std::string data;
};

// Every value of HKLM\<path> in enumeration order; empty when the key is absent.
std::vector<VALUE> ReadValues(const std::string& path) {
  std::vector<VALUE> values;
  HKEY hKey = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS) {
    return values;
  }
  for (DWORD i = 0;; ++i) {
    char acName[256];
    BYTE abData[1024];
    DWORD cchName = sizeof acName, cbData = sizeof abData, dwType = 0;
    if (RegEnumValueA(hKey, i, acName, &cchName, nullptr, &dwType, abData, &cbData) != 0) break;
    values.push_back({acName, dwType, std::string(reinterpret_cast<char*>(abData), cbData)});
  }
  RegCloseKey(hKey);
  return values;
}

std::string Sz(const std::string& text) { return std::string(text.c_str(), text.size() + 1); }

class PnPTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    inf_ = WriteRootFile("rt.inf", kInf);
  }
  std::string inf_;
};

TEST_F(PnPTest, OneEntryPerNodeWithEveryValueByteForByte) {
  MakeNode("Enum\\BIOS\\QZPORT\\0000", "LPT7");
  MakeNode("Enum\\Root\\QZPORT\\0000", "LPT7");
  EXPECT_EQ(Run("3 " + inf_ + " RT2210 LPT7:"), 0);
  const std::vector<VALUE> kExpected = {
      {"Class", REG_SZ, Sz("PRINTER")},
      {"DeviceDesc", REG_SZ, Sz("Halden RT-2210")},
      {"Model", REG_SZ, Sz("RT-2210")},
      {"HardwareID", REG_SZ, Sz("LPTENUM\\HALDENRT-2210")},
      {"ConfigFlags", REG_BINARY, std::string("\x40\x00\x00\x00", 4)},
      {"Manufacturer", REG_SZ, Sz("Halden Instruments")}};
  for (const char* pszEntry : {kBiosEntry, kRootEntry}) {
    std::vector<VALUE> values = ReadValues(pszEntry);
    ASSERT_EQ(values.size(), kExpected.size()) << pszEntry;
    for (size_t i = 0; i < values.size(); ++i) {
      EXPECT_EQ(values[i].name, kExpected[i].name) << pszEntry;
      EXPECT_EQ(values[i].dwType, kExpected[i].dwType) << kExpected[i].name;
      EXPECT_EQ(values[i].data, kExpected[i].data) << kExpected[i].name;
    }
  }
  std::string trace = Trace();
  EXPECT_NE(trace.find("COrlPrinter(" + inf_ + " RT2210 LPT7:)\n"), std::string::npos);
  EXPECT_NE(trace.find("INF file=" + inf_ + "\nPrnSect=RT2210 Port=LPT7:\n"), std::string::npos);
  size_t nBios = trace.find(std::string("csPortSubkey=") + kBiosEntry + "\n");
  size_t nRoot = trace.find(std::string("csPortSubkey=") + kRootEntry + "\n");
  EXPECT_NE(nBios, std::string::npos);
  EXPECT_NE(nRoot, std::string::npos);
  EXPECT_LT(nBios, nRoot);
}

TEST_F(PnPTest, DeviceStandsInForDescriptionAndPlainMfgGoesInUnchanged) {
  MakeNode("Enum\\Root\\QZPORT\\0000", "LPT7");
  EXPECT_EQ(RegisterPnPPrinter((inf_ + " DeviceOnly LPT7").c_str()), 0);
  std::vector<VALUE> values = ReadValues("Enum\\LPTENUM\\HALDENRT-2211\\Root&QZPORT&0000");
  ASSERT_EQ(values.size(), 6u);
  EXPECT_EQ(values[1].data, Sz("Halden RT-2211"));
  EXPECT_EQ(values[2].data, Sz(""));  // no "Model"
  EXPECT_EQ(values[5].data, Sz("Halden"));
}

TEST_F(PnPTest, InfValuesAreCutTo255Characters) {
  std::string model(300, 'M');
  inf_ = WriteRootFile("long.inf", "[S]\nWin95DeviceID=ID\nModel=" + model + "\n");
  MakeNode("Enum\\Root\\QZPORT\\0000", "LPT7");
  EXPECT_EQ(RegisterPnPPrinter((inf_ + " S LPT7:").c_str()), 0);
  std::vector<VALUE> values = ReadValues("Enum\\LPTENUM\\ID\\Root&QZPORT&0000");
  ASSERT_EQ(values.size(), 6u);
  EXPECT_EQ(values[2].data, Sz(model.substr(0, 255)));
}

TEST_F(PnPTest, PortMayHoldBlanksAndOnlyItsFirstSixCharactersCount) {
  MakeNode("Enum\\Root\\QZPORT\\0000", "LPT7");
  EXPECT_EQ(RegisterPnPPrinter((inf_ + " RT2210 LPT7: extra").c_str()), 0);
  EXPECT_NE(Trace().find("PrnSect=RT2210 Port=LPT7: extra\n"), std::string::npos);
  EXPECT_EQ(ReadValues(kRootEntry).size(), 6u);
}

TEST_F(PnPTest, MissingFieldsGive1026WithoutReadingAnything) {
  for (const char* pszParam :
       {"", "\"", "x.inf", "x.inf RT2210", "x.inf  RT2210 LPT7:", " RT2210 LPT7:",
        "\"\" RT2210 LPT7:", "\"x y.inf\"RT2210 LPT7:", "\"x y.inf\""}) {
    EXPECT_EQ(RegisterPnPPrinter(pszParam), 1026) << pszParam;
    std::string trace = Trace();
    EXPECT_EQ(trace, std::string("COrlPrinter(") + pszParam + ")\n") << pszParam;
  }
  EXPECT_EQ(Run("3 " + inf_ + " RT2210"), 1026);
}

TEST_F(PnPTest, QuotedInfPathRunsToTheLastDoubleQuote) {
  std::string spaced = WriteRootFile("rt 2210.inf", kInf);
  MakeNode("Enum\\Root\\QZPORT\\0000", "LPT7");
  EXPECT_EQ(Run("3 \"" + spaced + "\" RT2210 LPT7:"), 0);
  EXPECT_NE(Trace().find("INF file=" + spaced + "\nPrnSect=RT2210 Port=LPT7:\n"),
            std::string::npos);
  EXPECT_EQ(ReadValues(kRootEntry).size(), 6u);
}

TEST_F(PnPTest, NoDeviceIdOrNoNodeGives1024AndWritesNothing) {
  MakeNode("Enum\\Root\\QZPORT\\0000", "LPT7");
  EXPECT_EQ(RegisterPnPPrinter((inf_ + " NoId LPT7:").c_str()), 1024);
  EXPECT_EQ(RegisterPnPPrinter((root_ + "/absent.inf RT2210 LPT7:").c_str()), 1024);
  Trace();
  EXPECT_EQ(RegisterPnPPrinter((inf_ + " RT2210 LPT8:").c_str()), 1024);
  EXPECT_NE(Trace().find("GetPnPEnumKey() Failed!\n"), std::string::npos);
  HKEY hKey = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Enum\\LPTENUM\\HALDENRT-2210", 0, KEY_READ, &hKey),
            ERROR_FILE_NOT_FOUND);
}

TEST_F(PnPTest, KeyThatCannotBeCreatedGives1028AndEarlierEntriesStay) {
  MakeNode("Enum\\BIOS\\QZPORT\\0000", "LPT7");
  MakeNode("Enum\\Root\\QZPORT\\0000", "LPT7");
  qzhost::FailCall("RegCreateKeyA", ERROR_ACCESS_DENIED, 1, 1);
  EXPECT_EQ(Run("3 " + inf_ + " RT2210 LPT7:"), 1028);
  EXPECT_EQ(ReadValues(kBiosEntry).size(), 6u);
  EXPECT_TRUE(ReadValues(kRootEntry).empty());

  qzhost::FailCall("RegCreateKeyA", ERROR_ACCESS_DENIED);
  EXPECT_EQ(CreateLptEnumEntries(inf_.c_str(), "RT2210", "LPT7:"), 1028);
}

TEST_F(PnPTest, DefaultMachineHasAnLpt1NodeBelowBios) {
  SetPnPMatchSkip(0);
  std::string node = GetPnPEnumKey("LPT1:").GetString();
  ASSERT_EQ(node.compare(0, 5, "BIOS&"), 0) << node;
  EXPECT_EQ(Run("3 " + inf_ + " RT2210 LPT1:"), 0);
  EXPECT_EQ(ReadValues("Enum\\LPTENUM\\HALDENRT-2210\\" + node).size(), 6u);
}

TEST_F(PnPTest, SecondRunWritesTheSameEntryAgain) {
  MakeNode("Enum\\Root\\QZPORT\\0000", "LPT7");
  EXPECT_EQ(CreateLptEnumEntries(inf_.c_str(), "RT2210", "LPT7"), 0);
  std::vector<VALUE> first = ReadValues(kRootEntry);
  EXPECT_EQ(CreateLptEnumEntries(inf_.c_str(), "RT2210", "LPT7"), 0);
  std::vector<VALUE> second = ReadValues(kRootEntry);
  ASSERT_EQ(second.size(), first.size());
  for (size_t i = 0; i < first.size(); ++i) EXPECT_EQ(second[i].data, first[i].data);
}

}  // namespace
