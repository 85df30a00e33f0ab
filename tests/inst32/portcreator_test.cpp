// Command 1: the port key, the WIN.INI [Ports] entry and the traced listing.
#include "inst32/portcreator.h"

#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/machine_test.h"

using qztest::KeyExists;

namespace {

const char kPortsKey[] = "System\\CurrentControlSet\\Control\\Print\\Ports";

// The WIN.INI [Ports] entry, or "<absent>".
std::string PortEntry(const std::string& port) {
  char acValue[64];
  GetProfileStringA("Ports", port.c_str(), "<absent>", acValue, sizeof acValue);
  return acValue;
}

// The spooler's level-1 port names in the order it returns them.
std::vector<std::string> SpoolerPorts() {
  DWORD cbNeeded = 0;
  DWORD cReturned = 0;
  EnumPortsA(nullptr, 1, nullptr, 0, &cbNeeded, &cReturned);
  std::vector<BYTE> buffer(cbNeeded);
  std::vector<std::string> names;
  if (!EnumPortsA(nullptr, 1, buffer.data(), cbNeeded, &cbNeeded, &cReturned)) return names;
  const PORT_INFO_1A* pPorts = reinterpret_cast<const PORT_INFO_1A*>(buffer.data());
  for (DWORD i = 0; i < cReturned; ++i) names.push_back(pPorts[i].pName);
  return names;
}

// The names of the "Here's a port: " lines of a trace, in trace order.
std::vector<std::string> TracedPorts(const std::string& trace) {
  const std::string kLine = "Here's a port: ";
  std::vector<std::string> names;
  for (size_t at = trace.find(kLine); at != std::string::npos; at = trace.find(kLine, at)) {
    at += kLine.size();
    size_t end = trace.find('\n', at);
    names.push_back(trace.substr(at, end - at));
  }
  return names;
}

class PortCreatorTest : public MachineTest {
 public:
  using MachineTest::Run;
  using MachineTest::Trace;
};

TEST_F(PortCreatorTest, StandardPrefixesInAnyCaseAreRecognised) {
  COrlPortCreator creator;
  for (const char* name :
       {"LPT1:", "lpt2", "Com3:", "FILE:", "file:", "COMX1:", "lPt", "LPT123456789012345678"}) {
    EXPECT_TRUE(creator.IsStandardPortName(name)) << name;
  }
  // Shorter than a prefix (its terminator takes part), or the prefix not first.
  for (const char* name : {"", "LP", "CO", "FILE", "FIL", "NETPRN1:", "XLPT1:", "PRN", "NUL"}) {
    EXPECT_FALSE(creator.IsStandardPortName(name)) << name;
  }
}

TEST_F(PortCreatorTest, StandardNameIsRefusedWithoutWritingOrTracing) {
  for (const char* name : {"LPT1:", "lpt2", "Com3:", "FILE:", "COMX1:"}) {
    EXPECT_EQ(Run(std::string("1 ") + name), 1030) << name;
    std::string trace = Trace();
    EXPECT_EQ(trace.find("Failed to create port"), std::string::npos) << name;
    EXPECT_EQ(trace.find("EnumPorts()"), std::string::npos) << name;
    EXPECT_FALSE(KeyExists(std::string(kPortsKey) + "\\" + name)) << name;
  }
  // The seeded entries keep their values; no new ones appear.
  EXPECT_EQ(PortEntry("COM3:"), "9600,n,8,1,x");
  EXPECT_EQ(PortEntry("lpt2"), "<absent>");
  EXPECT_EQ(PortEntry("COMX1:"), "<absent>");
}

TEST_F(PortCreatorTest, NewPortGetsKeyAndEmptyProfileEntry) {
  ASSERT_EQ(PortEntry("NETPRN1:"), "<absent>");
  EXPECT_EQ(Run("1 NETPRN1:"), 0);
  EXPECT_TRUE(KeyExists(std::string(kPortsKey) + "\\NETPRN1:"));
  EXPECT_EQ(PortEntry("NETPRN1:"), "");
  EXPECT_NE(Trace().find("EnumPorts() found "), std::string::npos);
}

TEST_F(PortCreatorTest, EntryWithAValueIsKeptAndSecondRunIsHarmless) {
  ASSERT_TRUE(WriteProfileStringA("Ports", "NETPRN3:", "9600,n,8,1"));
  EXPECT_EQ(Run("1 NETPRN3:"), 0);
  EXPECT_EQ(Run("1 NETPRN3:"), 0);
  EXPECT_EQ(PortEntry("NETPRN3:"), "9600,n,8,1");
  EXPECT_TRUE(KeyExists(std::string(kPortsKey) + "\\NETPRN3:"));
}

TEST_F(PortCreatorTest, LongNameIsTestedOnFifteenCharactersButWrittenWhole) {
  // Standard in its first 15 characters: refused whatever follows.
  EXPECT_EQ(Run("1 COM_PORT_ON_THE_NETWORK"), 1030);
  const std::string kName = "NETWORK_PRINTER_ON_FLOOR_2:";
  EXPECT_EQ(Run("1 " + kName), 0);
  EXPECT_TRUE(KeyExists(std::string(kPortsKey) + "\\" + kName));
  EXPECT_EQ(PortEntry(kName), "");
  EXPECT_EQ(PortEntry(kName.substr(0, 15)), "<absent>");
}

TEST_F(PortCreatorTest, EmptyNameIsRefusedLikeAStandardName) {
  COrlPortCreator creator;
  EXPECT_FALSE(creator.Create(""));
  EXPECT_EQ(Run("1"), 1030);
  EXPECT_EQ(Run("1    "), 1030);
  EXPECT_EQ(Trace().find("EnumPorts()"), std::string::npos);
  char acKeys[4096];
  DWORD nKeys = GetProfileStringA("Ports", nullptr, "", acKeys, sizeof acKeys);
  // No entry with an empty name: the list never starts with its terminator
  // nor holds two in a row before its end.
  ASSERT_GT(nKeys, 0u);
  EXPECT_NE(acKeys[0], '\0');
  for (DWORD i = 0; i + 1 < nKeys; ++i) EXPECT_FALSE(acKeys[i] == '\0' && acKeys[i + 1] == '\0');
}

TEST_F(PortCreatorTest, KeyNotCreatedFailsListsPortsAndLeavesProfileAlone) {
  qzhost::FailCall("RegCreateKeyA", ERROR_ACCESS_DENIED);
  EXPECT_EQ(Run("1 NETPRN4:"), 1030);
  std::string trace = Trace();
  size_t failed = trace.find("Failed to create port `NETPRN4:'\n");
  ASSERT_NE(failed, std::string::npos);
  EXPECT_NE(trace.find("EnumPorts() found ", failed), std::string::npos);
  EXPECT_EQ(PortEntry("NETPRN4:"), "<absent>");
}

TEST_F(PortCreatorTest, PortsAreTracedFromLastToFirst) {
  EXPECT_EQ(Run("1 NETPRN5:"), 0);
  std::vector<std::string> ports = SpoolerPorts();
  ASSERT_GE(ports.size(), 2u);
  std::string trace = Trace();
  EXPECT_NE(trace.find("EnumPorts() found " + std::to_string(ports.size()) + " ports\n"),
            std::string::npos);
  std::vector<std::string> traced = TracedPorts(trace);
  EXPECT_EQ(traced, std::vector<std::string>(ports.rbegin(), ports.rend()));
}

TEST_F(PortCreatorTest, ListingFailureIsTracedButChangesNothing) {
  qzhost::FailCall("EnumPortsA", 1722, 1, 1);  // the size query passes, the fill fails
  EXPECT_EQ(Run("1 NETPRN6:"), 0);
  std::string trace = Trace();
  EXPECT_NE(trace.find("EnumPorts() FAILED: 1722\n"), std::string::npos);
  EXPECT_EQ(trace.find("Here's a port"), std::string::npos);
  EXPECT_EQ(PortEntry("NETPRN6:"), "");

  COrlPortCreator creator;
  qzhost::FailAllocation();  // the listing buffer
  EXPECT_TRUE(creator.Create("NETPRN7:"));
  EXPECT_NE(Trace().find("EnumPorts() FAILED: "), std::string::npos);
  EXPECT_EQ(PortEntry("NETPRN7:"), "");
}

// A [Ports] entry that cannot be written fails the command as a key that
// cannot be created does; on NT the spooler then does not list the port.
void ExpectProfileWriteFailureFails(PortCreatorTest* test, const std::string& port, bool isNT) {
  qzhost::FailCall("WriteProfileStringA", ERROR_ACCESS_DENIED);
  EXPECT_EQ(test->Run("1 " + port), 1030);
  std::string trace = test->Trace();
  size_t failed = trace.find("Failed to create port `" + port + "'\n");
  ASSERT_NE(failed, std::string::npos) << trace;
  EXPECT_NE(trace.find("EnumPorts() found ", failed), std::string::npos);
  if (isNT) {
    EXPECT_EQ(trace.find("Here's a port: " + port + "\n"), std::string::npos);
  }
  EXPECT_EQ(PortEntry(port), "<absent>");
  // The key made before stays; a second run completes the port.
  EXPECT_TRUE(KeyExists(std::string(kPortsKey) + "\\" + port));
  EXPECT_EQ(test->Run("1 " + port), 0);
  EXPECT_EQ(PortEntry(port), "");
}

TEST_F(PortCreatorTest, ProfileWriteFailureFailsTheCommand) {
  ExpectProfileWriteFailureFails(this, "NETPRN8:", false);
  // A read that fails is taken for an absent entry, which is then written.
  qzhost::FailCall("GetProfileStringA", ERROR_ACCESS_DENIED);
  EXPECT_EQ(Run("1 NETPRN10:"), 0);
  EXPECT_EQ(PortEntry("NETPRN10:"), "");
}

TEST_F(PortCreatorTest, OverlongAndOddNamesNeverCrash) {
  // Past the registry's 255-character key names: refused by RegCreateKeyA.
  std::string overlong(4000, 'Q');
  EXPECT_EQ(Run("1 " + overlong), 1030);
  EXPECT_NE(Trace().find("Failed to create port `QQQ"), std::string::npos);
  EXPECT_EQ(PortEntry(overlong), "<absent>");

  std::string odd = "\x81\\\x7f\xff%s%n";
  COrlPortCreator creator;
  creator.Create(odd.c_str());
  EXPECT_NE(Trace().find("EnumPorts()"), std::string::npos);
}

using PortCreator932Test = OnCodePage932<PortCreatorTest>;

// 0x95 0x5C is one character: the port is one key and one WIN.INI entry.
TEST_F(PortCreator932Test, ADoubleByteCharacterEndingIn5CStaysInThePortName) {
  const std::string port =
      "\x95\x5C"
      "1:";
  EXPECT_EQ(Run("1 " + port), 0);
  EXPECT_TRUE(KeyExists(std::string(kPortsKey) + "\\" + port));
  EXPECT_FALSE(KeyExists(std::string(kPortsKey) + "\\\x95"));
  EXPECT_EQ(PortEntry(port), "");
  std::vector<std::string> ports = SpoolerPorts();
  EXPECT_NE(std::find(ports.begin(), ports.end(), port), ports.end());
  EXPECT_EQ(std::find(ports.begin(), ports.end(), "\x95"), ports.end());
  EXPECT_EQ(std::find(ports.begin(), ports.end(), "1:"), ports.end());
}

using PortCreatorNtTest = OnNTMachine<PortCreatorTest>;

// NT reads its Ports key, where the profile call puts the WIN.INI entry, so
// the new port is listed at once.
TEST_F(PortCreatorNtTest, ProfileWriteFailureFailsTheCommand) {
  ExpectProfileWriteFailureFails(this, "NETPRN11:", true);
}

TEST_F(PortCreatorNtTest, NewPortIsListedByTheSpooler) {
  EXPECT_EQ(Run("1 NETPRN9:"), 0);
  EXPECT_NE(Trace().find("Here's a port: NETPRN9:\n"), std::string::npos);
  EXPECT_EQ(PortEntry("NETPRN9:"), "");
  EXPECT_EQ(Run("1 lpt4:"), 1030);
}

}  // namespace
