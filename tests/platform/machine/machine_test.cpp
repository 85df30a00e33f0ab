// The machine's own settings file, machine.ini.
#include "platform/host/machine/machine.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "tests/support/file_text.h"

namespace {

class MachineConfigTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = qztest::MakeTempFolder("qzmachine");
    ASSERT_FALSE(root_.empty());
    setenv("QZINST_ROOT", root_.c_str(), 1);
  }
  void TearDown() override {
    qzhost::ResetMachineState();
    unsetenv("QZINST_ROOT");
    std::filesystem::remove_all(root_);
  }
  // Loads the machine from a machine.ini of this text; the error, if any.
  std::string Load(const std::string& text) {
    std::ofstream(root_ + "/machine.ini", std::ios::binary) << text;
    qzhost::ResetMachineState();
    return qzhost::PrepareMachine().message;
  }
  std::string root_;
};

TEST_F(MachineConfigTest, SettingsAreReadWhateverTheLineEnds) {
  EXPECT_EQ(Load("[Machine]\r\nOS=nt\r\nCodePage=932\r\n"), "");
  EXPECT_TRUE(qzhost::MachineIsNT());
  EXPECT_EQ(qzhost::Machine().codePage, 932u);
  EXPECT_EQ(Load("[Machine]\nCodePage=1252\nOS=win98"), "");  // no final line end
  EXPECT_FALSE(qzhost::MachineIsNT());
  EXPECT_EQ(qzhost::Machine().codePage, 1252u);
}

TEST_F(MachineConfigTest, DamagedSettingsAreRefusedWithTheReason) {
  EXPECT_NE(Load("[Machine]\nOS=win95\n").find("unknown OS 'win95'"), std::string::npos);
  EXPECT_NE(Load("[Machine]\nCodePage=437\n").find("unsupported CodePage 437"), std::string::npos);
  EXPECT_NE(Load("OS=nt\n").find("no [Machine] section"), std::string::npos);
  EXPECT_NE(Load("").find("no [Machine] section"), std::string::npos);
}

TEST_F(MachineConfigTest, ANewMachineReadsBackAsItWasMade) {
  qzhost::ResetMachineState();
  qzhost::MachineConfig config;
  config.os = qzhost::Personality::kWinNT;
  config.codePage = 932;
  ASSERT_EQ(qzhost::InitMachine(config).message, "");
  qzhost::ResetMachineState();
  ASSERT_EQ(qzhost::PrepareMachine().message, "");
  EXPECT_TRUE(qzhost::MachineIsNT());
  EXPECT_EQ(qzhost::Machine().codePage, 932u);
}

}  // namespace
