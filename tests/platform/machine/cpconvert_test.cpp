// Code page text to and from UTF-16, as Windows converts it.
#include "platform/host/machine/cpconvert.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(CpConvertTest, CodePage1252RoundTripsEveryByte) {
  std::string all;
  for (int c = 1; c < 256; ++c) all.push_back(static_cast<char>(c));
  std::u16string wide;
  ASSERT_TRUE(qzhost::CodePageToUtf16(1252, all, &wide));
  ASSERT_EQ(all.size(), wide.size());
  EXPECT_EQ(u'\x20AC', wide[0x80 - 1]);  // the euro sign
  EXPECT_EQ(u'\x0178', wide[0x9F - 1]);  // Y with diaeresis
  EXPECT_EQ(u'\x0081', wide[0x81 - 1]);  // unassigned: the control character
  EXPECT_EQ(u'\x00E9', wide[0xE9 - 1]);
  std::string back;
  char16_t bad = 0;
  ASSERT_TRUE(qzhost::Utf16ToCodePage(1252, wide, &back, &bad));
  EXPECT_EQ(all, back);
}

TEST(CpConvertTest, CharactersOutsideTheCodePageAreRefusedAndNamed) {
  std::string out;
  char16_t bad = 0;
  EXPECT_FALSE(qzhost::Utf16ToCodePage(1252, u"A\x03A9", &out, &bad));
  EXPECT_EQ(u'\x03A9', bad);
  EXPECT_FALSE(qzhost::Utf16ToCodePage(932, u"A\x20AC", &out, &bad));
  EXPECT_EQ(u'\x20AC', bad);
}

TEST(CpConvertTest, CodePage932CarriesDoubleByteCharacters) {
  // "日本" in Shift JIS, and a trail byte 0x5C that is no backslash.
  const std::string text = "\x93\xfa\x96\x7b \x95\x5c";
  std::u16string wide;
  ASSERT_TRUE(qzhost::CodePageToUtf16(932, text, &wide));
  EXPECT_EQ(std::u16string(u"\x65E5\x672C \x8868"), wide);
  std::string back;
  char16_t bad = 0;
  ASSERT_TRUE(qzhost::Utf16ToCodePage(932, wide, &back, &bad));
  EXPECT_EQ(text, back);
  EXPECT_FALSE(qzhost::CodePageToUtf16(932, "ok\x93", &wide));  // a lone lead byte
}

TEST(CpConvertTest, CodePage932SinglesOutsideShiftJisConvertAsWindowsDoes) {
  // 0x80, 0xA0 and 0xFD-0xFF stand alone; 0x80 and 0xA0 after a lead byte
  // are its trail bytes.
  const std::string text = "A\x80\xa0\x93\xfa\xfd\xfe\xff\x81\x80\x88\xa0";
  std::u16string wide;
  ASSERT_TRUE(qzhost::CodePageToUtf16(932, text, &wide));
  ASSERT_EQ(9u, wide.size());
  EXPECT_EQ(std::u16string(u"A\x0080\xF8F0\x65E5\xF8F1\xF8F2\xF8F3"), wide.substr(0, 7));
  std::string back;
  char16_t bad = 0;
  ASSERT_TRUE(qzhost::Utf16ToCodePage(932, wide, &back, &bad));
  EXPECT_EQ(text, back);
}

}  // namespace
