// kernel32 and user32 of the emulated machine, checked against Windows' answers.
#include <string.h>

#include "platform/host/machine/codepage.h"
#include "platform/host/process/wordsort.h"
#include "platform/host/report/exitstatus.h"
#include "tests/support/machine_test.h"

namespace {

class KernelTest : public MachineTest {};

TEST_F(KernelTest, VersionAndDirectoriesOfWindows98) {
  EXPECT_EQ(GetVersion(), 0xC0000A04u);
  char acDir[MAX_PATH];
  EXPECT_EQ(GetWindowsDirectoryA(acDir, MAX_PATH), 10u);
  EXPECT_STREQ(acDir, "C:\\WINDOWS");
  EXPECT_EQ(GetWindowsDirectoryA(acDir, 4), 11u);  // the size needed, with the terminator
  EXPECT_EQ(GetSystemDirectoryA(acDir, MAX_PATH), 17u);
  EXPECT_STREQ(acDir, "C:\\WINDOWS\\SYSTEM");
}

TEST_F(KernelTest, ModuleFileNameCutAsWindows98Does) {
  qzhost::SetModuleFileName("C:\\SETUP\\QZINST32.EXE");
  char acPath[8];
  memset(acPath, 'x', sizeof acPath);
  EXPECT_EQ(GetModuleFileNameA(nullptr, acPath, sizeof acPath), 7u);
  EXPECT_STREQ(acPath, "C:\\SETU");
}

TEST_F(KernelTest, StringComparisons) {
  EXPECT_EQ(CompareStringA(LOCALE_USER_DEFAULT, 0x00030001, "lpt1:", 3, "LPT", 3), CSTR_EQUAL);
  EXPECT_EQ(CompareStringA(LOCALE_USER_DEFAULT, 0x00030001, "lp", 3, "LPT", 3), CSTR_LESS_THAN);
  EXPECT_EQ(CompareStringA(LOCALE_USER_DEFAULT, 0, "abc", -1, "ABC", -1), CSTR_LESS_THAN);
  EXPECT_EQ(lstrcmpiA("TCP/IP", "tcp/ip"), 0);
  EXPECT_NE(lstrcmpA("LPT1", "lpt1"), 0);
  EXPECT_EQ(lstrcmpA("LPT1", "LPT1"), 0);
  char acBuffer[4];
  EXPECT_STREQ(lstrcpynA(acBuffer, "abcdef", 4), "abc");
}

// Word sort: a soft hyphen weighs nothing; hyphen, apostrophe, no-break
// space and control characters still make names differ.
TEST_F(KernelTest, ComparisonsAreLinguistic) {
  EXPECT_EQ(lstrcmpiA("TCP/I\xADP", "TCP/IP"), 0);
  EXPECT_EQ(lstrcmpiA("\xAD"
                      "tcp/ip\xAD",
                      "TCP/IP"),
            0);
  EXPECT_EQ(lstrcmpA("TCP/I\xADP", "TCP/IP"), 0);
  for (const char* other :
       {"TCP/I-P", "TCP/I'P", "TCP/I\xA0P", "TCP/I P", "TCP/I\x01P", "TCP/I\x7FP", "TCP/IP-"}) {
    EXPECT_NE(lstrcmpiA(other, "TCP/IP"), 0) << other;
    EXPECT_NE(CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, other, -1, "TCP/IP", -1),
              CSTR_EQUAL)
        << other;
  }
  EXPECT_EQ(CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, "L\xADPT1:", 4, "lpt", 3),
            CSTR_EQUAL);
  // Letters of code page 1252 fold as Windows folds them.
  EXPECT_EQ(lstrcmpiA("\xE9t\xE9", "\xC9T\xC9"), 0);  // été, ÉTÉ
  EXPECT_EQ(lstrcmpiA("\xFF", "\x9F"), 0);            // ÿ, Ÿ
  EXPECT_NE(lstrcmpA("\xE9", "\xC9"), 0);
  // A hyphen counts only when all else is equal: "co-op" after "coop", before "cop".
  EXPECT_GT(lstrcmpiA("co-op", "coop"), 0);
  EXPECT_LT(lstrcmpiA("co-op", "cop"), 0);
  EXPECT_LT(lstrcmpA("abc", "ABC"), 0);  // lower case first where letters agree
  EXPECT_LT(lstrcmpiA("_a", "Z"), 0);    // signs before digits before letters
  EXPECT_LT(lstrcmpiA("Z", "\xC4"), 0);
  // Telling strings apart by their first characters gives what comparing them
  // whole gives, of every pair.
  const char* const words[] = {"", "a", "B", "_x", "9", "-a", "'b", "\xADz", "\xE9", "Local Port",
                               "LPT1:", "lpt1:", "Halden", "co-op", "coop", "\x01", "~"};
  for (const char* a : words) {
    for (const char* b : words) {
      for (bool ignoreCase : {false, true}) {
        const int whole = qzhost::CompareWordSort(a, b, ignoreCase, 1252);
        const int quick = qzhost::CompareWordSortZ(a, b, ignoreCase, 1252);
        EXPECT_EQ((whole > 0) - (whole < 0), (quick > 0) - (quick < 0)) << a << " " << b;
      }
    }
  }
}

TEST_F(KernelTest, LoadStringFromTheProgramsTable) {
  char acText[16];
  EXPECT_EQ(LoadStringA(nullptr, 25013, acText, sizeof acText), 5);
  EXPECT_STREQ(acText, "FILE:");
  EXPECT_EQ(LoadStringA(nullptr, 25015, acText, 8), 7);  // cut to the buffer less one
  EXPECT_STREQ(acText, "Halden ");
  EXPECT_EQ(LoadStringA(nullptr, 1, acText, sizeof acText), 0);
  EXPECT_EQ(LoadStringA(nullptr, 25900, acText, 1), 0);
  EXPECT_STREQ(acText, "");
}

TEST_F(KernelTest, GlobalAllocZeroFillsAndCanBeMadeToFail) {
  BYTE* p = static_cast<BYTE*>(GlobalAlloc(GPTR, 64));
  ASSERT_NE(p, nullptr);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(p[i], 0);
  GlobalFree(p);
  qzhost::FailAllocation(1);
  void* first = GlobalAlloc(GPTR, 1);
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(GlobalAlloc(GPTR, 1), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
  GlobalFree(first);
}

TEST(CodePageTest, ShiftJisStepsOverTrailBytes) {
  const char text[] = "\x41\x95\x5C\x42";
  const char* p = text;
  p = qzhost::NextCharOf(932, p);
  EXPECT_EQ(p - text, 1);
  p = qzhost::NextCharOf(932, p);
  EXPECT_EQ(p - text, 3);
  EXPECT_EQ(qzhost::PrevCharOf(932, text, text + 3) - text, 1);
  EXPECT_EQ(qzhost::PrevCharOf(932, text, text), text);
  EXPECT_EQ(qzhost::NextCharOf(1252, text + 1) - text, 2);
  const char lone[] = "\x95";
  EXPECT_EQ(qzhost::NextCharOf(932, lone) - lone, 1) << "a lead byte before the end counts alone";
  EXPECT_FALSE(qzhost::IsLeadByteOf(932, 0x5C));
  EXPECT_TRUE(qzhost::IsLeadByteOf(932, 0xE0));
  EXPECT_FALSE(qzhost::IsLeadByteOf(1252, 0x81));
}

TEST(ExitStatusTest, DistinctCodesGiveDistinctStatuses) {
  const unsigned codes[] = {0x100, 0x301, 0x400, 0x402, 0x403, 0x404, 0x406,
                            0x410, 0x411, 0x412, 0x413, 0x414, 0x415, 0x416};
  EXPECT_EQ(qzhost::ExitStatusForResult(0), 0);
  for (unsigned a : codes) {
    int status = qzhost::ExitStatusForResult(a);
    EXPECT_GT(status, 0);
    EXPECT_LT(status, 126);
    for (unsigned b : codes) {
      if (a != b) {
        EXPECT_NE(status, qzhost::ExitStatusForResult(b)) << a << " " << b;
      }
    }
  }
  EXPECT_EQ(qzhost::ExitStatusForResult(0x0403), 11);
}

}  // namespace
