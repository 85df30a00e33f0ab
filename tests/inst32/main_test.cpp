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
