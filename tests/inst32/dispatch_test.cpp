// Command entry and dispatch: result codes and trace lines of a whole run.
#include "inst32/dispatch.h"

#include <string.h>

#include "tests/support/machine_test.h"

namespace {

class DispatchTest : public MachineTest {
 protected:
  qzhost::TestMachineOptions Options() const override {
    qzhost::TestMachineOptions options;
    options.moduleFileName = "C:\\SETUP\\QZINST32.EXE";
    return options;
  }
};

TEST_F(DispatchTest, EmptyCommandLineGives1026WithoutCmdLine) {
  EXPECT_EQ(Run(""), 1026);
  std::string trace = Trace();
  EXPECT_NE(trace.find("ProcessCommand(\"\")\n"), std::string::npos);
  EXPECT_EQ(trace.find("Cmd="), std::string::npos);
  EXPECT_NE(trace.find("WinMain()=0x0402\n"), std::string::npos);
}

TEST_F(DispatchTest, UnknownNumbersGive1027) {
  for (const char* text : {"7 x", "0", "abc", "300 x", "65281", "256", "-1"}) {
    EXPECT_EQ(Run(text), 1027) << text;
    EXPECT_NE(Trace().find("WinMain()=0x0403\n"), std::string::npos) << text;
  }
}

TEST_F(DispatchTest, NoOperationAndRestoreAlwaysSucceed) {
  EXPECT_EQ(Run("259"), 0);
  EXPECT_EQ(Run("259 anything at all"), 0);
}

TEST_F(DispatchTest, ParameterIsTrimmedInnerBlanksKept) {
  Run("4   Setup.exe -u  ");
  EXPECT_NE(Trace().find("Cmd=`4' Param=`Setup.exe -u'\n"), std::string::npos);
}

TEST_F(DispatchTest, OnlyTheSpaceSeparatesTheNumber) {
  Run("2\tX");
  EXPECT_NE(Trace().find("Cmd=`2' Param=`'\n"), std::string::npos);
}

TEST_F(DispatchTest, FullTraceOfAnUnknownCommand) {
  Run("7 x");
  EXPECT_EQ(Trace(),
            "lpstrCmdLine=7 x\n"
            "IsNT == 0\n"
            "acWinDir=C:\\WINDOWS\\\n"
            "acSysDir=C:\\WINDOWS\\SYSTEM\\\n"
            "acSupDir=C:\\SETUP\\\n"
            "ProcessCommand(\"7 x\")\n"
            "Cmd=`7' Param=`x'\n"
            "DeInitInstance()\n"
            "WinMain()=0x0403\n");
}

TEST(ParseCommandNumberTest, ReadsAsThe32BitAtol) {
  auto parse = [](const char* s) { return ParseCommandNumber(s, static_cast<int>(strlen(s))); };
  EXPECT_EQ(parse("12abc"), 12u);
  EXPECT_EQ(parse("abc"), 0u);
  EXPECT_EQ(parse("-1"), 4294967295u);
  EXPECT_EQ(parse(" \t+5"), 5u);
  EXPECT_EQ(parse("4294967298"), 2u);  // wraps modulo 2^32
  EXPECT_EQ(parse("8589934599"), 7u);  // 2 * 2^32 + 7
  EXPECT_EQ(parse("--1"), 0u);
}

TEST(IsExtendedCommandTest, Bounds) {
  EXPECT_FALSE(IsExtendedCommand(255));
  EXPECT_TRUE(IsExtendedCommand(256));
  EXPECT_TRUE(IsExtendedCommand(65280));
  EXPECT_FALSE(IsExtendedCommand(65281));
}

}  // namespace
