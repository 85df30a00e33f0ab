// Atomic file replacement: leftovers of killed runs.
#include "platform/host/machine/hostfile.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "tests/support/file_text.h"

namespace {

TEST(HostFileTest, AWriteRemovesTemporariesOfDeadRunsOnly) {
  std::string dir = qztest::MakeTempFolder("qzhostfile");
  ASSERT_FALSE(dir.empty());
  pid_t child = fork();
  if (child == 0) _exit(0);
  ASSERT_GT(child, 0);
  waitpid(child, nullptr, 0);  // its pid now names no process
  std::string path = dir + "/WIN.INI";
  std::string dead = path + ".qztmp" + std::to_string(child);
  std::string alive = path + ".qztmp" + std::to_string(getppid());
  std::string other = dir + "/OTHER.INI.qztmp" + std::to_string(child);
  for (const std::string& leftover : {dead, alive, other}) std::ofstream(leftover) << "half";

  std::string why;
  ASSERT_TRUE(qzhost::WriteFileAtomically(path, "[Ports]\r\n", &why)) << why;
  EXPECT_FALSE(std::filesystem::exists(dead));
  EXPECT_TRUE(std::filesystem::exists(alive)) << "a running writer keeps its temporary";
  EXPECT_TRUE(std::filesystem::exists(other)) << "only temporaries of the file written";
  std::string text;
  ASSERT_TRUE(qzhost::ReadWholeFile(path, &text, &why));
  EXPECT_EQ(text, "[Ports]\r\n");
  std::filesystem::remove_all(dir);
}

}  // namespace
