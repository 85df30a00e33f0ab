// Atomic replacement must not be turned against another file: its temporary
// sits beside the target under a name anyone can predict (the target's name
// and the process id), so in a shared folder such as /tmp someone else could
// have put a link there first.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include "platform/host/machine/hostfile.h"
#include "tests/support/file_text.h"

namespace {

using qztest::ReadFileText;

class HostFileSymlinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = qztest::MakeTempFolder("qzhostfile");
    ASSERT_FALSE(dir_.empty());
    victim_ = dir_ + "/victim.txt";
    target_ = dir_ + "/net.ini";
    std::ofstream(victim_) << "precious";
    temp_ = target_ + ".qztmp" + std::to_string(getpid());
  }
  void TearDown() override {
    for (const std::string& path : {victim_, target_, temp_}) unlink(path.c_str());
    rmdir(dir_.c_str());
  }
  std::string dir_, victim_, target_, temp_;
};

TEST_F(HostFileSymlinkTest, ALinkWhereTheTemporaryGoesIsNotFollowed) {
  ASSERT_EQ(symlink(victim_.c_str(), temp_.c_str()), 0);
  std::string why;
  EXPECT_TRUE(qzhost::WriteFileAtomically(target_, "[Config]\nServerAddress=1.2.3.4\n", &why))
      << why;
  EXPECT_EQ(ReadFileText(victim_), "precious");
  EXPECT_EQ(ReadFileText(target_), "[Config]\nServerAddress=1.2.3.4\n");
}

TEST_F(HostFileSymlinkTest, ALeftoverTemporaryOfAKilledRunDoesNotBlockTheWrite) {
  std::ofstream(temp_) << "half a file from a run that was killed";
  std::string why;
  EXPECT_TRUE(qzhost::WriteFileAtomically(target_, "new", &why)) << why;
  EXPECT_EQ(ReadFileText(target_), "new");
  struct stat st;
  EXPECT_NE(lstat(temp_.c_str(), &st), 0) << "the temporary is left behind";
}

}  // namespace
