// Whole command lines on a code page 932 machine: a double-byte character
// whose trail byte is 0x20 is no blank, one whose trail byte is 0x5C no
// backslash, wherever the program looks for either.
#include <sys/stat.h>

#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/machine_test.h"

using qztest::ExampleInf;
using qztest::KeyExists;

namespace {

// Shift-JIS characters: lead 0x83 with trail 0x20, and lead 0x95 with trail
// 0x5C (the character for "table").
const char kTrail20[] = "\x83\x20";
const char kTrail5C[] = "\x95\x5C";

const char kPrintKey[] = "System\\CurrentControlSet\\Control\\Print\\";

std::string ReplaceFirst(std::string text, const std::string& from, const std::string& to) {
  size_t at = text.find(from);
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

class ShiftJisCommandTest : public MachineTest {
 protected:
  qzhost::TestMachineOptions Options() const override {
    qzhost::TestMachineOptions options;
    options.codePage = 932;
    options.moduleFileName = "C:\\SETUP\\QZINST32.EXE";
    return options;
  }
  void SetUp() override {
    MachineTest::SetUp();
    qztest::PlaceExamplePackage();
    // The section's name holds a trail byte 0x20, the printer's a trail 0x5C.
    section_ = std::string("RT") + kTrail20 + "2210";
    printer_ = std::string("Halden ") + kTrail5C + " RT-2210";
    std::string text = ReplaceFirst(ExampleInf(), "[RT2210]", "[" + section_ + "]");
    text = ReplaceFirst(text, "device=Halden RT-2210 Series", "device=" + printer_);
    // One INF named without a blank, given as it is; one with a blank,
    // given in double quotes. Both names hold trail bytes 0x20 and 0x5C.
    const std::string plain = WriteRootFile(std::string("rt") + kTrail5C + kTrail20 + ".inf", text);
    const std::string spaced =
        WriteRootFile(std::string("rt ") + kTrail20 + kTrail5C + ".inf", text);
    // And one on drive C: in a folder whose name ends in a trail byte 0x5C.
    const std::string folder = std::string("drive_c/") + kTrail5C;
    mkdir((root_ + "/" + folder).c_str(), 0700);
    WriteRootFile(folder + "/rt.inf", text);
    const std::string onC = std::string("C:\\") + kTrail5C + "\\rt.inf";
    infs_ = {{plain, plain}, {"\"" + spaced + "\"", spaced}, {onC, onC}};
  }
  // The part of the command line that names the INF, and the INF as traced.
  std::vector<std::pair<std::string, std::string>> infs_;
  std::string section_, printer_;
};

TEST_F(ShiftJisCommandTest, ATrailByte20DoesNotEndTheCommandNumber) {
  // One character "1" then a double-byte one: no blank, so no parameter.
  EXPECT_NE(Run(std::string("1") + kTrail20 + "NETX:"), 0);
  std::string trace = Trace();
  EXPECT_NE(trace.find("Cmd=`1' Param=`'\n"), std::string::npos) << trace;
  EXPECT_FALSE(KeyExists(std::string(kPrintKey) + "Ports\\NETX:"));
  char acEntry[16];
  GetProfileStringA("Ports", "NETX:", "<absent>", acEntry, sizeof acEntry);
  EXPECT_STREQ(acEntry, "<absent>");
}

TEST_F(ShiftJisCommandTest, ATrailByte20EndingTheParameterIsKept) {
  const std::string port = std::string("NET") + kTrail20;
  Run("1 " + port + "  ");
  EXPECT_NE(Trace().find("Cmd=`1' Param=`" + port + "'\n"), std::string::npos);
}

TEST_F(ShiftJisCommandTest, InstallSplitsAtBlanksNotAtTrailBytes) {
  for (const auto& inf : infs_) {
    const int result = Run("2 " + inf.first + " " + section_ + " LPT1:");
    std::string trace = Trace();
    EXPECT_EQ(result, 0) << trace;
    EXPECT_NE(trace.find("INF file=" + inf.second + "\nPrnSect=" + section_ + " Port=LPT1:\n"),
              std::string::npos)
        << trace;
  }
  // The printer's key is one key, not a key "Halden <lead byte>" and a subkey.
  EXPECT_TRUE(KeyExists(std::string(kPrintKey) + "Printers\\" + printer_));
  EXPECT_FALSE(KeyExists(std::string(kPrintKey) + "Printers\\Halden \x95"));
}

TEST_F(ShiftJisCommandTest, PnPRegistrationSplitsAtBlanksNotAtTrailBytes) {
  for (const auto& inf : infs_) {
    const int result = Run("3 " + inf.first + " " + section_ + " LPT1:");
    std::string trace = Trace();
    EXPECT_EQ(result, 0) << trace;
    EXPECT_NE(trace.find("INF file=" + inf.second + "\nPrnSect=" + section_ + " Port=LPT1:\n"),
              std::string::npos)
        << trace;
  }
}

}  // namespace
