// Word sort on code page 932: a double-byte character is one character, told
// apart from another of the same lead byte by its second byte, whose value is
// never folded as an ASCII letter's.
#include <string>

#include "platform/host/process/wordsort.h"
#include "tests/support/machine_test.h"

namespace {

struct Pair {
  const char* lower;  // sorts first
  const char* higher;
};

// Same lead byte, different second bytes: U+3042/U+3044, U+30A2/U+30C2
// (second bytes 'A' and 'a'), two kanji whose second bytes are a backslash
// and '|', and such characters inside longer names.
const Pair kPairs[] = {
    {"\x82\xA0", "\x82\xA2"},         {"\x83\x41", "\x83\x61"},
    {"\x95\x5C", "\x95\x7C"},         {"LPT\x82\xA0", "LPT\x82\xA2"},
    {"\x82\xA0Port", "\x82\xA2Port"}, {"\x83\x41\x83\x41", "\x83\x41\x83\x61"},
};

int Sign(int x) { return (x > 0) - (x < 0); }

TEST(WordSort932Test, SecondBytesTellCharactersOfOneLeadByteApart) {
  for (const Pair& p : kPairs) {
    for (bool ignoreCase : {false, true}) {
      EXPECT_EQ(Sign(qzhost::CompareWordSort(p.lower, p.higher, ignoreCase, 932)), -1)
          << p.lower << " " << ignoreCase;
      EXPECT_EQ(Sign(qzhost::CompareWordSort(p.higher, p.lower, ignoreCase, 932)), 1)
          << p.lower << " " << ignoreCase;
      EXPECT_EQ(Sign(qzhost::CompareWordSortZ(p.lower, p.higher, ignoreCase, 932)), -1)
          << p.lower << " " << ignoreCase;
      EXPECT_EQ(qzhost::CompareWordSort(p.lower, p.lower, ignoreCase, 932), 0) << p.lower;
    }
  }
}

using WordSortMachine932Test = OnCodePage932<MachineTest>;

TEST_F(WordSortMachine932Test, TheMachinesComparisonsSeeTheSecondByte) {
  for (const Pair& p : kPairs) {
    EXPECT_LT(lstrcmpA(p.lower, p.higher), 0) << p.lower;
    EXPECT_LT(lstrcmpiA(p.lower, p.higher), 0) << p.lower;
    EXPECT_GT(lstrcmpiA(p.higher, p.lower), 0) << p.lower;
    EXPECT_EQ(CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, p.lower, -1, p.higher, -1),
              CSTR_LESS_THAN)
        << p.lower;
    EXPECT_EQ(lstrcmpiA(p.lower, p.lower), 0) << p.lower;
  }
  // Counted in bytes: the first two bytes of each name are one character.
  EXPECT_EQ(CompareStringA(LOCALE_USER_DEFAULT, 0, "\x82\xA0X", 2, "\x82\xA2X", 2), CSTR_LESS_THAN);
  EXPECT_EQ(CompareStringA(LOCALE_USER_DEFAULT, 0, "\x82\xA0X", 2, "\x82\xA0Y", 2), CSTR_EQUAL);
}

}  // namespace
