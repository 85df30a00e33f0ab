// COrlString: finds, parts and trims.
#include "inst32/orlstring.h"

#include "tests/support/machine_test.h"

namespace {

class OrlStringTest : public MachineTest {};

TEST_F(OrlStringTest, TrimsEveryBlankAtBothEndsOnly) {
  COrlString text(" \t\n\v\f\ra b\r\n\t ");
  text.Trim();
  EXPECT_STREQ(text, "a b");
  COrlString blanks(" \t ");
  blanks.Trim();
  EXPECT_TRUE(blanks.IsEmpty());
}

TEST_F(OrlStringTest, PartsStayInsideTheString) {
  COrlString text("abcdef");
  EXPECT_STREQ(text.Left(3), "abc");
  EXPECT_STREQ(text.Left(99), "abcdef");
  EXPECT_STREQ(text.Mid(4), "ef");
  EXPECT_STREQ(text.Mid(9), "");
  EXPECT_STREQ(text.Mid(2, 99), "cdef");
  EXPECT_EQ(text.Find('z'), -1);
  EXPECT_EQ(COrlString("a,b,c").ReverseFind(','), 3);
}

TEST_F(OrlStringTest, CopyToIsBounded) {
  char acBuffer[5];
  COrlString("abcdefgh").CopyTo(acBuffer, sizeof acBuffer);
  EXPECT_STREQ(acBuffer, "abcd");
}

TEST_F(OrlStringTest, NullBecomesEmpty) {
  COrlString text(static_cast<LPCSTR>(nullptr));
  EXPECT_TRUE(text.IsEmpty());
  EXPECT_EQ(text.GetStringOrNull(), nullptr);
}

}  // namespace
