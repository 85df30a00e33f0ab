// The fuzz targets run as root on the developer's machine: the command texts
// they let through must never name a file outside the emulated machine.
#include "fuzz/fuzz_paths.h"

#include <gtest/gtest.h>

namespace {

TEST(FuzzPathsTest, NamesOnDriveCAndBareNamesStayInside) {
  for (const char* text : {"5 C:\\QZNET.INI", "5 c:\\a\\b\\x.ini", "5 qznet.ini", "1 LPT1:",
                           "2 C:\\RT2210.INF RT2210 LPT1:", "258", "", "4 C:\\UNINST.EXE -f"}) {
    EXPECT_TRUE(qzfuzz::StaysInsideMachine(text)) << text;
  }
}

TEST(FuzzPathsTest, HostPathsAreRefused) {
  for (const char* text : {"5 /etc/passwd", "5 Z:\\etc\\passwd", "5 z:etc", "5 sub\\x.ini",
                           "5 .\\x.ini", "5 ..\\x.ini", "2 D:\\A.INF S P", "5 abcC:\\x",
                           "5 \nC:\\x", "2 C:\\A.INF S LPT1: Z:\\x", "5 x/y"}) {
    EXPECT_FALSE(qzfuzz::StaysInsideMachine(text)) << text;
  }
}

}  // namespace
