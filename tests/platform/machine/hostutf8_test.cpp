// UTF-8 at the host's edges: what counts as UTF-8, and the way into and out
// of the machine's code page.
#include "platform/host/machine/hostutf8.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

namespace {

TEST(HostUtf8Test, OnlyWellFormedNonAsciiTextCountsAsUtf8) {
  EXPECT_TRUE(qzhost::IsNonAsciiUtf8("Caf\xC3\xA9"));
  EXPECT_TRUE(qzhost::IsNonAsciiUtf8("\xE2\x82\xAC 5"));
  EXPECT_TRUE(qzhost::IsNonAsciiUtf8("\xF0\x9F\x98\x80"));
  EXPECT_FALSE(qzhost::IsNonAsciiUtf8("plain ASCII"));
  EXPECT_FALSE(qzhost::IsNonAsciiUtf8("Caf\xE9"));           // code page 1252
  EXPECT_FALSE(qzhost::IsNonAsciiUtf8("\xC0\xAF"));          // overlong '/'
  EXPECT_FALSE(qzhost::IsNonAsciiUtf8("\xED\xA0\x80"));      // a surrogate
  EXPECT_FALSE(qzhost::IsNonAsciiUtf8("\xF4\x90\x80\x80"));  // past U+10FFFF
  EXPECT_FALSE(qzhost::IsNonAsciiUtf8("\xE2\x82"));          // cut short
}

TEST(HostUtf8Test, ConvertsIntoTheCodePageAndRefusesWhatItCannotHold) {
  std::string out, bad;
  ASSERT_TRUE(qzhost::Utf8ToCodePage(1252, "\xE2\x82\xAC Caf\xC3\xA9", &out, &bad));
  EXPECT_EQ(out, "\x80 Caf\xE9");
  EXPECT_EQ(qzhost::CodePageToUtf8(1252, out), "\xE2\x82\xAC Caf\xC3\xA9");
  EXPECT_FALSE(qzhost::Utf8ToCodePage(1252, "x\xE6\x97\xA5", &out, &bad));
  EXPECT_EQ(bad, "\xE6\x97\xA5");
  ASSERT_TRUE(qzhost::Utf8ToCodePage(932, "\xE6\x97\xA5\xE6\x9C\xAC", &out, &bad));
  EXPECT_EQ(out, "\x93\xFA\x96\x7B");
  EXPECT_EQ(qzhost::CodePageToUtf8(932, out), "\xE6\x97\xA5\xE6\x9C\xAC");
  EXPECT_FALSE(qzhost::Utf8ToCodePage(932, "\xF0\x9F\x98\x80", &out, &bad));
  EXPECT_EQ(qzhost::CodePageToUtf8(932, "a\x93"), "a\xEF\xBF\xBD");  // a lone lead byte
}

TEST(HostUtf8Test, ArgumentsConvertOnlyWhereTheLocaleSpeaksUtf8) {
  const char* saved = getenv("LC_ALL");
  std::string keep = saved ? saved : "";
  std::string out, bad;
  setenv("LC_ALL", "C", 1);
  EXPECT_FALSE(qzhost::HostSpeaksUtf8());
  ASSERT_TRUE(qzhost::ArgumentToCodePage(1252, "Caf\xC3\xA9", &out, &bad));
  EXPECT_EQ(out, "Caf\xC3\xA9");
  setenv("LC_ALL", "de_DE.utf8", 1);
  EXPECT_TRUE(qzhost::HostSpeaksUtf8());
  ASSERT_TRUE(qzhost::ArgumentToCodePage(1252, "Caf\xC3\xA9", &out, &bad));
  EXPECT_EQ(out, "Caf\xE9");
  ASSERT_TRUE(qzhost::ArgumentToCodePage(1252, "Caf\xE9", &out, &bad));  // not UTF-8: as it is
  EXPECT_EQ(out, "Caf\xE9");
  EXPECT_EQ(qzhost::ForTerminal(1252, "\x80"), "\xE2\x82\xAC");
  if (saved)
    setenv("LC_ALL", keep.c_str(), 1);
  else
    unsetenv("LC_ALL");
}

}  // namespace
