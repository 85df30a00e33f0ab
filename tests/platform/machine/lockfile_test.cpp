// The instance lock file, and a root swapped under a waiter.
#include "platform/host/machine/lockfile.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace {

class LockFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char folder[] = "/tmp/qzlock.XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(folder));
    top_ = folder;
    root_ = top_ + "/root";
    ASSERT_EQ(0, mkdir(root_.c_str(), 0700));
  }
  void TearDown() override {
    for (const std::string& folder : {root_, top_ + "/old"}) {
      unlink(qzhost::InstanceLockPath(folder).c_str());
      rmdir(folder.c_str());
    }
    rmdir(top_.c_str());
  }
  // Whether a child process finds the lock at `path` busy.
  static bool BusyForAnother(const std::string& path) {
    pid_t pid = fork();
    if (pid == 0) {
      int fd = -1;
      _exit(qzhost::TryLockFile(path, &fd) == qzhost::LockTry::kBusy ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }

  std::string top_, root_;
};

TEST_F(LockFileTest, OneHolderAtATime) {
  std::string path = qzhost::InstanceLockPath(root_);
  int fd = -1;
  ASSERT_EQ(qzhost::LockTry::kHeld, qzhost::TryLockFile(path, &fd));
  EXPECT_TRUE(BusyForAnother(path));
  close(fd);
  EXPECT_FALSE(BusyForAnother(path));
  EXPECT_EQ(qzhost::LockTry::kNoFile, qzhost::TryLockFile(top_ + "/missing/instance.lock", &fd));
}

// A load locks the new root's file, swaps the roots and drops the old lock:
// whoever then gets the old file's lock must find it is no longer the root's
// and wait for the new one.
TEST_F(LockFileTest, ALockOnASwappedOutFileIsTakenAgainOnTheNewOne) {
  std::string path = qzhost::InstanceLockPath(root_);
  std::string fresh = top_ + "/old";
  ASSERT_EQ(0, mkdir(fresh.c_str(), 0700));
  int oldFd = -1, newFd = -1;
  ASSERT_EQ(qzhost::LockTry::kHeld, qzhost::TryLockFile(path, &oldFd));
  ASSERT_EQ(qzhost::LockTry::kHeld, qzhost::TryLockFile(qzhost::InstanceLockPath(fresh), &newFd));
  // The swap: root becomes old, fresh becomes root.
  std::string aside = top_ + "/aside";
  ASSERT_EQ(0, rename(root_.c_str(), aside.c_str()));
  ASSERT_EQ(0, rename(fresh.c_str(), root_.c_str()));
  ASSERT_EQ(0, rename(aside.c_str(), fresh.c_str()));
  close(oldFd);  // the old root's file is free, the new root's still held
  EXPECT_TRUE(BusyForAnother(path));
  close(newFd);
  EXPECT_FALSE(BusyForAnother(path));
}

}  // namespace
