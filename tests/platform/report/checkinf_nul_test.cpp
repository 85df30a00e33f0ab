// The INF pre-flight on values that hold a NUL byte: the program reads such
// a value only up to the NUL, so the NUL is the one finding, and nothing
// after it is judged.
#include <string>
#include <vector>

#include "platform/host/report/checkinf.h"
#include "tests/support/machine_test.h"

namespace {

class CheckInfNulTest : public MachineTest {
 protected:
  // "E|W <line> <key>" of each finding for a section whose fourth line is
  // `line`, with the keys every section needs before it.
  std::vector<std::string> Findings(const std::string& line,
                                    const std::string& strings = "X=Text") {
    std::string inf = WriteRootFile(
        "nul.inf", "[P]\ndevice=Printer\nDriver=P.DRV\n" + line + "\n[Strings]\n" + strings + "\n");
    qzhost::InfCheck check = qzhost::CheckPrinterInf(inf, "P", 1252, true);
    std::vector<std::string> found;
    for (const qzhost::InfProblem& p : check.problems) {
      if (p.key == "Win95DeviceID") continue;
      bool nul = p.message.find("NUL") != std::string::npos;
      found.push_back(std::string(p.severity == qzhost::InfProblem::kError ? "E " : "W ") +
                      std::to_string(p.line) + " " + p.key + (nul ? " NUL" : ""));
    }
    return found;
  }
};

using V = std::vector<std::string>;

TEST_F(CheckInfNulTest, WhatFollowsTheNulIsNeverJudged) {
  // After each NUL stands what would be a finding of its own before it.
  const std::string nul(1, '\0');
  EXPECT_EQ(Findings("DataFile=P.DLL" + nul + std::string(20, 'd')), V{"E 4 DataFile NUL"})
      << "a file name cut to 15 characters";
  EXPECT_EQ(Findings("LanguageMonitor=HLM,hlm.dll" + nul + std::string(40, 'x')),
            V{"E 4 LanguageMonitor NUL"})
      << "a value cut to 31 characters";
  EXPECT_EQ(Findings("PortMonitor=%X%,hport.dll" + nul + "%E%"), V{"E 4 PortMonitor NUL"})
      << "a placeholder without text";
  EXPECT_EQ(Findings("Attributes=0x40" + nul + "zz\nMakeDefault=1"), V{"E 4 Attributes NUL"})
      << "not a number";
  EXPECT_EQ(Findings("DefaultDataType=RAW" + nul + std::string(40, 't')),
            V{"E 4 DefaultDataType NUL"});
}

TEST_F(CheckInfNulTest, WhatStandsBeforeTheNulIsStillJudged) {
  const std::string nul(1, '\0');
  EXPECT_EQ(Findings("DataFile=" + std::string(20, 'd') + nul + "x"),
            (V{"E 4 DataFile NUL", "E 4 DataFile"}));
  EXPECT_EQ(Findings("PortMonitor=%E%,hport.dll" + nul + "x"),
            (V{"E 4 PortMonitor NUL", "E 4 PortMonitor"}));
}

TEST_F(CheckInfNulTest, StringsTextsEndAtTheirNulToo) {
  // Command 2 reads a [Strings] text up to its NUL: nothing before it is no text at all.
  const std::string nul(1, '\0');
  EXPECT_EQ(Findings("PortMonitor=%N%,hport.dll", "N=" + nul + "Halden"), V{"E 4 PortMonitor"});
  EXPECT_EQ(Findings("PortMonitor=%N%,hport.dll", "N=Halden" + nul + std::string(300, 'x')), V{})
      << "the text before the NUL translates, and what follows is never cut";
}

}  // namespace
