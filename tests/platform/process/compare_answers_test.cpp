// lstrcmpA and CompareStringA where Windows' own conformance tests record
// the answer (Wine's kernel32 locale tests: their ok() lines and their
// broken() Windows 9x and Windows 2000 answers). Both personalities.
#include <string.h>

#include "tests/support/machine_test.h"

namespace {

class Compare98 : public MachineTest {
 protected:
  int Compare(DWORD flags, const char* a, int na, const char* b, int nb) {
    return CompareStringA(LOCALE_USER_DEFAULT, flags, a, na, b, nb);
  }
};

class CompareNT : public Compare98 {
 protected:
  qzhost::TestMachineOptions Options() const override {
    qzhost::TestMachineOptions options;
    options.os = qzhost::Personality::kWinNT;
    return options;
  }
};

// --- lstrcmpA with NULL --------------------------------------------------------

// NT puts NULL before every string, "" included.
TEST_F(CompareNT, NullComesBeforeEveryString) {
  EXPECT_EQ(0, lstrcmpA(nullptr, nullptr));
  EXPECT_EQ(1, lstrcmpA("", nullptr));
  EXPECT_EQ(-1, lstrcmpA(nullptr, ""));
  EXPECT_EQ(-1, lstrcmpA(nullptr, "a"));
  EXPECT_EQ(0, lstrcmpA("", ""));
}

// Windows 98 answers -2 (its failed CompareStringA, less 2) for any NULL.
TEST_F(Compare98, NullIsMinusTwo) {
  EXPECT_EQ(-2, lstrcmpA(nullptr, nullptr));
  EXPECT_EQ(-2, lstrcmpA("", nullptr));
  EXPECT_EQ(-2, lstrcmpA(nullptr, ""));
  EXPECT_EQ(0, lstrcmpA("", ""));
}

// --- CompareStringA with explicit lengths -----------------------------------------

// The lengths are where the strings end; a NUL inside them weighs nothing,
// as on XP (Windows 2000 stopped at it).
TEST_F(CompareNT, LengthsEndTheStringsAndANulWeighsNothing) {
  EXPECT_EQ(CSTR_EQUAL, Compare(0, "a", 1, "a\0\0", 4));
  EXPECT_EQ(CSTR_EQUAL, Compare(0, "a", 2, "a\0\0", 4));
  EXPECT_EQ(CSTR_EQUAL, Compare(0, "a\0\0", 4, "a", 1));
  EXPECT_EQ(CSTR_LESS_THAN, Compare(0, "a", 1, "a\0x", 4));
  EXPECT_EQ(CSTR_GREATER_THAN, Compare(0, "a\0x", 4, "a", 2));
  EXPECT_EQ(CSTR_GREATER_THAN, Compare(0, "a\0b", 4, "a", 2));
  EXPECT_EQ(CSTR_EQUAL, Compare(0, "aLuZkUtZ", 8, "aLuZkUtZ", 9));
  EXPECT_EQ(CSTR_LESS_THAN, Compare(0, "aLuZkUtZ", 7, "aLuZkUtZ\0A", 10));
  EXPECT_EQ(CSTR_LESS_THAN, Compare(0, "aLuZkUtZ", 8, "aLuZkUtZ\0A", 10));
  EXPECT_EQ(CSTR_EQUAL, Compare(0, "a\0b", -1, "a", -1));
  EXPECT_EQ(CSTR_LESS_THAN, Compare(0, "3.5", 0, "4.0", -1));
  // A hyphen or apostrophe still counts against a NUL.
  EXPECT_EQ(CSTR_GREATER_THAN, Compare(0, "a-", 3, "a\0", 3));
  EXPECT_EQ(CSTR_GREATER_THAN, Compare(0, "a'", 3, "a\0", 3));
  EXPECT_NE(CSTR_EQUAL, Compare(0, "\2", 2, "\1", 2));
}

TEST_F(Compare98, LengthsEndTheStringsAndANulWeighsNothing) {
  EXPECT_EQ(CSTR_EQUAL, Compare(0, "a", 1, "a\0\0", 4));
  EXPECT_EQ(CSTR_GREATER_THAN, Compare(0, "a\0x", 4, "a", 1));
}

// --- SORT_STRINGSORT and NORM_IGNORESYMBOLS --------------------------------------

// A word sort leaves hyphens and apostrophes out until the end; a string
// sort weighs them as the signs they are.
TEST_F(CompareNT, StringSortWeighsHyphensAndApostrophes) {
  EXPECT_EQ(CSTR_GREATER_THAN, Compare(0, "-o", -1, "/m", -1));
  EXPECT_EQ(CSTR_LESS_THAN, Compare(0, "/m", -1, "-o", -1));
  EXPECT_EQ(CSTR_LESS_THAN, Compare(SORT_STRINGSORT, "-o", -1, "/m", -1));
  EXPECT_EQ(CSTR_GREATER_THAN, Compare(SORT_STRINGSORT, "/m", -1, "-o", -1));
  EXPECT_EQ(CSTR_GREATER_THAN, Compare(0, "'o", -1, "/m", -1));
  EXPECT_EQ(CSTR_LESS_THAN, Compare(SORT_STRINGSORT, "'o", -1, "/m", -1));
  EXPECT_EQ(CSTR_LESS_THAN, Compare(0, "`o", -1, "-m", -1));
  EXPECT_EQ(CSTR_GREATER_THAN, Compare(SORT_STRINGSORT, "`o", -1, "-m", -1));
  EXPECT_EQ(CSTR_GREATER_THAN, Compare(SORT_STRINGSORT, "a-", 3, "a\0", 3));
  EXPECT_EQ(CSTR_LESS_THAN, Compare(SORT_STRINGSORT, "co-op", -1, "coop", -1));
}

TEST_F(CompareNT, IgnoreSymbolsLeavesSignsAndSpacesOut) {
  EXPECT_EQ(CSTR_EQUAL, Compare(NORM_IGNORESYMBOLS, "a.", 3, "a\0", 3));
  EXPECT_EQ(CSTR_EQUAL, Compare(NORM_IGNORESYMBOLS, "a ", 3, "a\0", 3));
  EXPECT_EQ(CSTR_EQUAL, Compare(NORM_IGNORESYMBOLS, "co-op", -1, "coop", -1));
  EXPECT_EQ(CSTR_EQUAL, Compare(NORM_IGNORESYMBOLS | NORM_IGNORECASE, "TCP/IP", -1, "tcp ip", -1));
  EXPECT_EQ(CSTR_EQUAL, Compare(NORM_IGNORESYMBOLS | NORM_IGNORECASE,
                                "\tJUST! A, TEST; STRING 1/*+-.\r\n", -1, "justateststring1", -1));
  EXPECT_NE(CSTR_EQUAL, Compare(NORM_IGNORESYMBOLS, "LPT1", -1, "LPT2", -1));
  EXPECT_NE(CSTR_EQUAL, Compare(NORM_IGNORESYMBOLS, "a\1", -1, "a", -1));  // a control character
  EXPECT_NE(CSTR_EQUAL, Compare(0, "a.", 3, "a\0", 3));
}

// Accented letters of code page 1252 compare as their base letters under
// NORM_IGNORENONSPACE, and as letters of their own without it.
TEST_F(CompareNT, IgnoreNonSpaceComparesBaseLetters) {
  EXPECT_EQ(CSTR_EQUAL, Compare(NORM_IGNORENONSPACE, "\xE9t\xE9", -1, "ete", -1));
  EXPECT_EQ(CSTR_EQUAL,
            Compare(NORM_IGNORENONSPACE | NORM_IGNORECASE, "\xC5NGSTR\xD6M", -1, "angstrom", -1));
  EXPECT_NE(CSTR_EQUAL, Compare(0, "\xE9t\xE9", -1, "ete", -1));
  EXPECT_NE(CSTR_EQUAL, Compare(NORM_IGNORENONSPACE, "\xE6", -1, "a", -1));      // ae is a letter
  EXPECT_EQ(CSTR_EQUAL, Compare(NORM_IGNORESYMBOLS, "a\xA7\x80", -1, "a", -1));  // section, euro
}

TEST_F(Compare98, StringSortAndIgnoreSymbols) {
  EXPECT_EQ(CSTR_LESS_THAN, Compare(SORT_STRINGSORT, "-o", -1, "/m", -1));
  EXPECT_EQ(CSTR_EQUAL, Compare(NORM_IGNORESYMBOLS, "a.", 3, "a\0", 3));
}

// --- flags ------------------------------------------------------------------------

// 0x8 (a flag of later systems) is refused in Wine's tests; 0x00100000 is
// no flag of any system.
TEST_F(CompareNT, UnknownFlagsAreRefusedWith1004) {
  for (DWORD flags : {0x8u, 0x8u | NORM_IGNORECASE, 0x00100000u}) {
    SetLastError(0xdeadbeef);
    EXPECT_EQ(0, Compare(flags, "NULL", -1, "NULL", -1)) << flags;
    EXPECT_EQ(ERROR_INVALID_FLAGS, GetLastError()) << flags;
  }
  for (DWORD flags :
       {static_cast<DWORD>(LOCALE_USE_CP_ACP), static_cast<DWORD>(NORM_IGNORENONSPACE),
        static_cast<DWORD>(NORM_IGNOREKANATYPE | NORM_IGNOREWIDTH | NORM_IGNORECASE),
        static_cast<DWORD>(SORT_STRINGSORT | NORM_IGNORESYMBOLS)}) {
    SetLastError(0xdeadbeef);
    EXPECT_EQ(CSTR_EQUAL, Compare(flags, "NULL", -1, "NULL", -1)) << flags;
    EXPECT_EQ(0xdeadbeefu, GetLastError()) << flags;
  }
}

TEST_F(Compare98, UnknownFlagsAreRefusedWith1004) {
  SetLastError(0xdeadbeef);
  EXPECT_EQ(0, Compare(0x8, "NULL", -1, "NULL", -1));
  EXPECT_EQ(ERROR_INVALID_FLAGS, GetLastError());
}

}  // namespace
