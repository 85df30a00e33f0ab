// Process entry: the install context, the guard and start-up failures.
#include "inst32/context.h"
#include "platform/instance_guard.h"
#include "tests/support/machine_test.h"

namespace {

class EntryTest : public MachineTest {
 protected:
  qzhost::TestMachineOptions Options() const override {
    qzhost::TestMachineOptions options;
    options.os = os_;
    options.codePage = codePage_;
    options.moduleFileName = module_;
    return options;
  }
  qzhost::Personality os_ = qzhost::Personality::kWin98;
  unsigned codePage_ = 1252;
  std::string module_ = "C:\\SETUP\\QZINST32.EXE";
};

TEST_F(EntryTest, ContextHoldsDirectoriesWithSeparators) {
  ASSERT_EQ(InitInstance(reinterpret_cast<HINSTANCE>(1)), 0);
  EXPECT_STREQ(g_pInstallContext->acWinDir, "C:\\WINDOWS\\");
  EXPECT_STREQ(g_pInstallContext->acSysDir, "C:\\WINDOWS\\SYSTEM\\");
  EXPECT_STREQ(g_pInstallContext->acSupDir, "C:\\SETUP\\");
  EXPECT_EQ(g_pInstallContext->cPathSep, '\\');
  EXPECT_EQ(g_pInstallContext->cParamDelim, ' ');
  EXPECT_EQ(g_pInstallContext->IsNT, 0);
  EXPECT_EQ(g_pInstallContext->hwndSetup, nullptr);
  DeInitInstance();
  EXPECT_EQ(g_pInstallContext, nullptr);
  EXPECT_EQ(Trace(),
            "IsNT == 0\nacWinDir=C:\\WINDOWS\\\nacSysDir=C:\\WINDOWS\\SYSTEM\\\n"
            "acSupDir=C:\\SETUP\\\nDeInitInstance()\n");
}

TEST_F(EntryTest, AFailedContextAllocationGives769) {
  qzhost::FailAllocation();
  EXPECT_EQ(Run("259"), 769);
  std::string trace = Trace();
  EXPECT_EQ(trace.find("ProcessCommand"), std::string::npos);
  EXPECT_NE(trace.find("DeInitInstance()\nWinMain()=0x0301\n"), std::string::npos);
  EXPECT_EQ(Run("259"), 0) << "the guard was given back";
}

TEST_F(EntryTest, ASecondInstanceGets256WithoutTheBit) {
  ASSERT_EQ(IncrementInstanceCounter(), 0);  // the first instance
  EXPECT_EQ(Run("259"), 256);
  EXPECT_EQ(Trace(), "lpstrCmdLine=259\nDeInitInstance()\nWinMain()=0x0100\n");
  DecrementInstanceCounter();
  EXPECT_EQ(Run("259"), 0);
}

TEST(SkipProgramNameTest, TheNameEndsAtItsQuoteOrTheFirstBlank) {
  struct Case {
    const char* line;
    const char* text;
  } cases[] = {
      {"QZINST32.EXE 2 A B C", "2 A B C"},
      {"\"C:\\Program Files\\QZ.EXE\" 259", "259"},
      {"\"C:\\Program Files\\QZ.EXE\"259", "259"},  // the quote alone ends the name
      {"\"C:\\a b\\QZ.EXE", ""},                    // an unclosed quote takes the rest
      {"QZ.EXE \t \t 4  x ", "4  x "},              // blanks before the text only
      {"C:\\A\"B\" 1 X", "1 X"},                    // a quote inside the name is a byte
      {"QZ.EXE", ""},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_STREQ(SkipProgramName(c.line), c.text) << c.line;
}

TEST(SkipProgramNameTest, HighBytesAreNeverBlanks) {
  EXPECT_STREQ(SkipProgramName("QZ.EXE \xB2"
                               "259"),
               "\xB2"
               "259");
  EXPECT_STREQ(SkipProgramName("\"QZ.EXE\" \xA0\xFF 4"), "\xA0\xFF 4");
  EXPECT_STREQ(SkipProgramName("Q\xB2Z.EXE 4"), "4");  // nor do they end the name
}

TEST_F(EntryTest, TheCommandTextComesFromTheCommandLine) {
  // A leading 0xB2 keeps the text from being command 259.
  EXPECT_EQ(Run("\xB2"
                "259"),
            1027);
  EXPECT_NE(Trace().find("lpstrCmdLine=\xB2"
                         "259\n"),
            std::string::npos);
  EXPECT_EQ(Run("259"), 0);
  std::string line = GetCommandLineA();
  EXPECT_EQ(line, "\"C:\\SETUP\\QZINST32.EXE\" 259");
}

class NtEntryTest : public EntryTest {
 protected:
  void SetUp() override {
    os_ = qzhost::Personality::kWinNT;
    module_ = "QZINST32.EXE";
    EntryTest::SetUp();
  }
};

TEST_F(NtEntryTest, NtIsDetectedAndAPathWithoutSeparatorGivesNoSupDir) {
  ASSERT_EQ(InitInstance(nullptr), 0);
  EXPECT_EQ(g_pInstallContext->IsNT, 1);
  EXPECT_STREQ(g_pInstallContext->acSysDir, "C:\\WINDOWS\\system32\\");
  EXPECT_STREQ(g_pInstallContext->acSupDir, "");
  DeInitInstance();
  EXPECT_NE(Trace().find("IsNT == 1\n"), std::string::npos);
}

class ShiftJisEntryTest : public EntryTest {
 protected:
  void SetUp() override {
    codePage_ = 932;
    module_ = "C:\\\x83\x5C\\\x95\x5CQZ.EXE";  // both folder names end in a trail byte 0x5C
    EntryTest::SetUp();
  }
};

TEST_F(ShiftJisEntryTest, ATrailByteIsNoSeparatorInTheModulePath) {
  ASSERT_EQ(InitInstance(nullptr), 0);
  EXPECT_STREQ(g_pInstallContext->acSupDir, "C:\\\x83\x5C\\");
  DeInitInstance();
}

}  // namespace
