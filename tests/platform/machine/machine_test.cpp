// The machine's own settings file, machine.ini.
#include "platform/host/machine/machine.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

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
  EXPECT_NE(Load("[Machine]\nOS=win95\nCodePage=1252\n").find("unknown OS 'win95'"),
            std::string::npos);
  EXPECT_NE(Load("[Machine]\nOS=nt\nCodePage=437\n").find("unsupported CodePage 437"),
            std::string::npos);
  EXPECT_NE(Load("OS=nt\n").find("line 1: 'OS=nt' comes before [Machine]"), std::string::npos);
  EXPECT_NE(Load("").find("no [Machine] section"), std::string::npos);
}

// Each of these could once be read as some machine, often another one than
// the file meant; now each is a damaged file that stays as it is.
TEST_F(MachineConfigTest, AnythingButExactSettingsIsDamagedAndLeftAlone) {
  const struct {
    const char* text;
    const char* reason;
  } kDamaged[] = {
      {"[Machine]\nOS=nt\nCodePage=1252x\n", "line 3: CodePage '1252x' is not a number"},
      {"[Machine]\nOS=nt\nCodePage=4294968548\n", "line 3: unsupported CodePage 4294968548"},
      {"[Machine]\nOS=nt\nCodePage=+932\n", "CodePage '+932' is not a number"},
      {"[Machine]\nOS=nt\nCodePage=\n", "CodePage '' is not a number"},
      {"[Machine]\nOS=nt\nCodePage=1252\nOS=win98\n", "line 4: key 'OS' given twice"},
      {"[Machine]\nOS=nt\nCodePage=1252\ncodepage=932\n", "key 'codepage' given twice"},
      {"[Machine]\nOS=nt\nCodePage=1252\nOs_=nt\n", "line 4: unknown key 'Os_'"},
      {"[Machine]\nOS=nt\nCodePage=1252\nPersonality=nt\n", "unknown key 'Personality'"},
      {"[Machine]\nOS=ntx\nCodePage=1252\n", "unknown OS 'ntx'"},
      {"[Machine]\nCodePage=1252\n", "no OS key"},
      {"[Machine]\nOS=nt\n", "no CodePage key"},
      {"[Machine]\nOS=nt\nCodePage=1252\n[Machine]\n", "line 4: section [Machine] given twice"},
      {"[Machine]\nOS=nt\nCodePage=1252\n[Other]\nOS=win98\n", "unknown section [Other]"},
      {"[Machine]\nOS nt\nCodePage=1252\n", "line 2: 'OS nt' is not a key=value line"},
      {"\x01garbage", "line 1: '?garbage' is not a key=value line"},
  };
  for (const auto& damaged : kDamaged) {
    std::string message = Load(damaged.text);
    EXPECT_NE(message.find("is damaged"), std::string::npos) << damaged.text;
    EXPECT_NE(message.find(damaged.reason), std::string::npos) << damaged.text << message;
    std::ifstream in(root_ + "/machine.ini", std::ios::binary);
    std::string kept((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(kept, damaged.text);
  }
}

TEST_F(MachineConfigTest, CommentsBlanksAndTheCaseOfNamesAreAllowed) {
  EXPECT_EQ(Load("; made by hand\n\n[machine]\n  os = nt \ncodepage=932\t\n"), "");
  EXPECT_TRUE(qzhost::MachineIsNT());
  EXPECT_EQ(qzhost::Machine().codePage, 932u);
}

// An NT machine whose machine.ini is lost must not come back as Windows 98.
TEST_F(MachineConfigTest, RegistryWithoutSettingsIsRefusedAndLeftAlone) {
  std::ofstream(root_ + "/registry.db", std::ios::binary) << "a registry";
  qzhost::ResetMachineState();
  std::string message = qzhost::PrepareMachine().message;
  EXPECT_NE(message.find("holds registry.db but no machine.ini"), std::string::npos) << message;
  EXPECT_NE(message.find("OS=win98 or OS=nt"), std::string::npos) << message;
  EXPECT_FALSE(std::filesystem::exists(root_ + "/machine.ini"));
  EXPECT_FALSE(std::filesystem::exists(root_ + "/drive_c"));
  // Nor does a new machine get made over it.
  EXPECT_NE(qzhost::InitMachine({}).message.find("but no machine.ini"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(root_ + "/machine.ini"));
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
