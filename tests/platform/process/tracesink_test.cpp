// The trace sink: lines held back in blocks reach their file in order, at an
// explicit flush, at exit and when a fatal signal ends the process.
#include "platform/host/process/tracesink.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include "tests/support/file_text.h"

namespace {

using qztest::ReadFileText;

class TraceSinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = qztest::MakeTempFolder("qztrace");
    ASSERT_FALSE(folder_.empty());
    path_ = folder_ + "/trace.txt";
  }
  void TearDown() override {
    qzhost::TraceToStandardError();
    unlink(path_.c_str());
    rmdir(folder_.c_str());
  }
  // Runs `body` in a child process and returns its wait status.
  template <typename Body>
  int InChild(Body body) {
    pid_t pid = fork();
    if (pid == 0) {
      body();
      _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return status;
  }

  std::string folder_, path_;
};

TEST_F(TraceSinkTest, LinesAreHeldInBlocksAndKeepTheirOrder) {
  std::string why;
  ASSERT_TRUE(qzhost::TraceToFile(path_, &why)) << why;
  qzhost::WriteTrace("first\n");
  qzhost::WriteTrace("second\n");
  EXPECT_EQ("", ReadFileText(path_)) << "held back";
  // A line longer than a block is written at once, after what was held.
  const std::string longLine = std::string(40000, 'x') + "\n";
  qzhost::WriteTrace(longLine.c_str());
  EXPECT_EQ("first\nsecond\n" + longLine, ReadFileText(path_));
  qzhost::WriteTrace("third\n");
  qzhost::FlushTrace();
  EXPECT_EQ("first\nsecond\n" + longLine + "third\n", ReadFileText(path_));
  // Many lines: every one arrives, in order.
  std::string expected = ReadFileText(path_);
  for (int i = 0; i < 5000; ++i) {
    const std::string line = "Here's a port: P" + std::to_string(i) + ":\n";
    qzhost::WriteTrace(line.c_str());
    expected += line;
  }
  qzhost::FlushTrace();
  EXPECT_EQ(expected, ReadFileText(path_));
}

TEST_F(TraceSinkTest, ExitAndFatalSignalsWriteWhatWasHeld) {
  int status = InChild([this] {
    std::string why;
    if (!qzhost::TraceToFile(path_, &why)) _exit(3);
    qzhost::WriteTrace("before exit\n");
    exit(0);
  });
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ("before exit\n", ReadFileText(path_));

  status = InChild([this] {
    std::string why;
    if (!qzhost::TraceToFile(path_, &why)) _exit(3);
    qzhost::WriteTrace("before the signal\n");
    raise(SIGTERM);
    _exit(4);
  });
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
  EXPECT_EQ("before exit\nbefore the signal\n", ReadFileText(path_));

  // A signal that the caller ignores stays ignored.
  status = InChild([this] {
    signal(SIGHUP, SIG_IGN);
    std::string why;
    if (!qzhost::TraceToFile(path_, &why)) _exit(3);
    qzhost::WriteTrace("ignoring hangups\n");
    raise(SIGHUP);
    _exit(5);
  });
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 5) << status;
}

}  // namespace
