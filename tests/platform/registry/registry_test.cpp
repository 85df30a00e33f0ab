// Contract tests of the emulated Reg* calls, in the manner of Wine's
// conformance tests: every output starts from a sentinel.
#include "platform/host/registry/registry.h"

#include <sqlite3.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/host/machine/machine.h"
#include "platform/host/registry/sqlitevfs.h"
#include "tests/support/machine_test.h"

namespace {

const HKEY kSentinelKey = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0xDEAD0));
const char kTestKey[] = "Software\\QzTest";

class RegistryTest : public MachineTest {
 protected:
  HKEY Create(const char* path, HKEY parent = HKEY_LOCAL_MACHINE) {
    HKEY hKey = kSentinelKey;
    EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyA(parent, path, &hKey)) << path;
    return hKey;
  }
  LONG Open(const char* path, HKEY* hKey, REGSAM sam = KEY_ALL_ACCESS) {
    *hKey = kSentinelKey;
    return RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, sam, hKey);
  }
  void SetString(HKEY hKey, const char* name, const char* text) {
    ASSERT_EQ(ERROR_SUCCESS,
              RegSetValueExA(hKey, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                             static_cast<DWORD>(strlen(text) + 1)));
  }
  std::vector<std::string> SubkeyNames(HKEY hKey) {
    std::vector<std::string> names;
    char acName[260];
    for (DWORD i = 0;; ++i) {
      DWORD cch = sizeof acName;
      LONG lResult = RegEnumKeyExA(hKey, i, acName, &cch, nullptr, nullptr, nullptr, nullptr);
      if (lResult == ERROR_NO_MORE_ITEMS) break;
      EXPECT_EQ(ERROR_SUCCESS, lResult);
      if (lResult != ERROR_SUCCESS) break;
      EXPECT_EQ(strlen(acName), cch);
      names.push_back(acName);
    }
    return names;
  }
  std::vector<std::string> ValueNames(HKEY hKey) {
    std::vector<std::string> names;
    char acName[260];
    for (DWORD i = 0;; ++i) {
      DWORD cch = sizeof acName;
      LONG lResult = RegEnumValueA(hKey, i, acName, &cch, nullptr, nullptr, nullptr, nullptr);
      if (lResult != ERROR_SUCCESS) break;
      names.push_back(acName);
    }
    return names;
  }
};

class RegistryNTTest : public RegistryTest {
 protected:
  qzhost::TestMachineOptions Options() const override {
    qzhost::TestMachineOptions options;
    options.os = qzhost::Personality::kWinNT;
    return options;
  }
};

TEST_F(RegistryTest, DefaultMachineHoldsTheSeededKeys) {
  HKEY hKey;
  ASSERT_EQ(ERROR_SUCCESS,
            Open("System\\CurrentControlSet\\Services\\Class\\NetTrans\\0001", &hKey, KEY_READ));
  char acValue[64] = "sentinel";
  DWORD cb = sizeof acValue, dwType = 0xFFFF;
  EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(hKey, "IPAddress", nullptr, &dwType,
                                            reinterpret_cast<BYTE*>(acValue), &cb));
  EXPECT_STREQ("192.168.1.20", acValue);
  EXPECT_EQ(13u, cb);
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), dwType);
  RegCloseKey(hKey);
  EXPECT_EQ(ERROR_SUCCESS, Open("Enum\\BIOS\\*PNP0400\\0D", &hKey));
  RegCloseKey(hKey);
}

TEST_F(RegistryTest, OpenWithNullOrEmptyPath) {
  HKEY hKey = Create(kTestKey);
  HKEY hSame = kSentinelKey;
  EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyA(hKey, "", &hSame));
  EXPECT_EQ(hKey, hSame);  // the same handle, not a new one
  EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyA(hKey, nullptr, &hSame));
  EXPECT_EQ(hKey, hSame);
  HKEY hNew = kSentinelKey;
  EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(hKey, "", 0, KEY_READ, &hNew));
  EXPECT_EQ(hKey, hNew);  // Windows 98 opens a key's one handle again
  EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(hNew));
  EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, nullptr, 0, KEY_READ, &hNew));
  EXPECT_EQ(HKEY_LOCAL_MACHINE, hNew);
  hNew = kSentinelKey;
  EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyA(nullptr, nullptr, &hNew));
  EXPECT_EQ(nullptr, hNew);
  EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(hKey));
  EXPECT_EQ(ERROR_BADKEY, RegCloseKey(hKey));  // Windows 98 answer for a closed handle
}

TEST_F(RegistryTest, MissingKeyAndBadArguments) {
  HKEY hKey;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, Open("Software\\NoSuchKey", &hKey));
  EXPECT_EQ(nullptr, hKey);
  hKey = kSentinelKey;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyA(HKEY_LOCAL_MACHINE, "NoSuch\\Deeper", &hKey));
  EXPECT_EQ(nullptr, hKey);
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, Open("NoSuch", &hKey));  // nothing was created
  EXPECT_EQ(ERROR_INVALID_PARAMETER, RegOpenKeyA(HKEY_LOCAL_MACHINE, "Enum", nullptr));
  EXPECT_EQ(ERROR_INVALID_PARAMETER, RegCreateKeyA(HKEY_LOCAL_MACHINE, "Enum", nullptr));
  hKey = kSentinelKey;
  HKEY hGarbage = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x1234));
  EXPECT_EQ(ERROR_BADKEY, RegOpenKeyExA(hGarbage, "Enum", 0, KEY_READ, &hKey));
  EXPECT_EQ(kSentinelKey, hKey);  // left unchanged
}

TEST_F(RegistryNTTest, BadHandleIsInvalidHandleOnNT) {
  HKEY hKey = kSentinelKey;
  EXPECT_EQ(ERROR_INVALID_HANDLE, RegOpenKeyA(nullptr, "Enum", &hKey));
  EXPECT_EQ(kSentinelKey, hKey);
  EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(reinterpret_cast<HKEY>(0x4444)));
}

TEST_F(RegistryTest, PathSpellings) {
  RegCloseKey(Create("Software\\QzTest\\A\\B"));
  HKEY hKey;
  EXPECT_EQ(ERROR_SUCCESS, Open("Software\\QzTest\\A\\", &hKey));
  RegCloseKey(hKey);
  EXPECT_EQ(ERROR_SUCCESS, Open("Software\\QzTest\\A\\\\", &hKey));
  RegCloseKey(hKey);
  EXPECT_EQ(ERROR_SUCCESS, Open("Software\\QzTest\\\\A\\B", &hKey));
  RegCloseKey(hKey);
  // Windows 98 skips a leading backslash.
  EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_LOCAL_MACHINE, "\\Software\\QzTest\\C", &hKey));
  RegCloseKey(hKey);
  EXPECT_EQ(ERROR_SUCCESS, Open("Software\\QzTest\\C", &hKey));
  RegCloseKey(hKey);
}

TEST_F(RegistryNTTest, LeadingBackslashIsRefusedOnNT) {
  HKEY hKey = kSentinelKey;
  EXPECT_EQ(ERROR_BAD_PATHNAME, RegCreateKeyA(HKEY_LOCAL_MACHINE, "\\Software\\X", &hKey));
  EXPECT_EQ(ERROR_BAD_PATHNAME, Open("\\Software", &hKey));
}

TEST_F(RegistryTest, KeyNameLimitIs255Characters) {
  std::string name255(255, 'k'), name256(256, 'k');
  HKEY hKey = kSentinelKey;
  EXPECT_EQ(ERROR_SUCCESS,
            RegCreateKeyA(HKEY_LOCAL_MACHINE, ("Software\\" + name255).c_str(), &hKey));
  RegCloseKey(hKey);
  hKey = kSentinelKey;
  EXPECT_EQ(ERROR_INVALID_PARAMETER,
            RegCreateKeyA(HKEY_LOCAL_MACHINE, ("Software\\" + name256).c_str(), &hKey));
  EXPECT_EQ(kSentinelKey, hKey);
  EXPECT_EQ(ERROR_INVALID_PARAMETER, Open(("Software\\" + name256).c_str(), &hKey));
}

TEST_F(RegistryTest, ValueNameLimitIs255On98) {
  HKEY hKey = Create(kTestKey);
  std::string name255(255, 'v'), name256(256, 'v');
  const BYTE abData[] = {1};
  EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(hKey, name255.c_str(), 0, REG_BINARY, abData, 1));
  EXPECT_EQ(ERROR_INVALID_PARAMETER,
            RegSetValueExA(hKey, name256.c_str(), 0, REG_BINARY, abData, 1));
  RegCloseKey(hKey);
}

TEST_F(RegistryNTTest, ValueNameLimitIs16383OnNT) {
  HKEY hKey = Create(kTestKey);
  const BYTE abData[] = {1};
  EXPECT_EQ(ERROR_SUCCESS,
            RegSetValueExA(hKey, std::string(16383, 'v').c_str(), 0, REG_BINARY, abData, 1));
  EXPECT_EQ(ERROR_INVALID_PARAMETER,
            RegSetValueExA(hKey, std::string(16384, 'v').c_str(), 0, REG_BINARY, abData, 1));
  RegCloseKey(hKey);
}

TEST_F(RegistryTest, NamesAreCaseInsensitiveAndCasePreserving) {
  HKEY hKey = Create("Software\\QzTest\\MixedCase");
  RegCloseKey(hKey);
  hKey = Create("SOFTWARE\\qztest\\mixedcase");
  SetString(hKey, "ValueName", "one");
  SetString(hKey, "VALUENAME", "two");
  EXPECT_EQ(std::vector<std::string>{"ValueName"}, ValueNames(hKey));
  char acValue[16];
  DWORD cb = sizeof acValue;
  EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(hKey, "valuename", nullptr, nullptr,
                                            reinterpret_cast<BYTE*>(acValue), &cb));
  EXPECT_STREQ("two", acValue);
  RegCloseKey(hKey);
  HKEY hParent;
  ASSERT_EQ(ERROR_SUCCESS, Open(kTestKey, &hParent));
  EXPECT_EQ(std::vector<std::string>{"MixedCase"}, SubkeyNames(hParent));
  RegCloseKey(hParent);
}

TEST_F(RegistryTest, SubkeysComeInNTOrderAndValuesInCreationOrder) {
  HKEY hKey = Create(kTestKey);
  const char* names[] = {"b", "C", "a", "_x", "Z1", "z0", "10", "9", "~t", "Ab", "aa", "-m", "B2"};
  for (const char* name : names) {
    RegCloseKey(Create(name, hKey));
    SetString(hKey, name, name);
  }
  std::vector<std::string> expected = {"-m", "10", "9",  "a",  "aa", "Ab", "b",
                                       "B2", "C",  "z0", "Z1", "_x", "~t"};
  EXPECT_EQ(expected, SubkeyNames(hKey));
  EXPECT_EQ(std::vector<std::string>(std::begin(names), std::end(names)), ValueNames(hKey));
  // A value set again keeps its place; deleted and set again, it goes last.
  SetString(hKey, "b", "again");
  EXPECT_EQ("b", ValueNames(hKey).front());
  EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueA(hKey, "b"));
  SetString(hKey, "b", "again");
  EXPECT_EQ("b", ValueNames(hKey).back());
  RegCloseKey(hKey);
}

// A listing of thousands of names of every length from 1 to 255 bytes, made
// in an order of their own: read in one step, it holds every name once, in
// the same order as the listing with ids (the one a .reg export reads).
TEST_F(RegistryTest, LongListingsHoldEveryNameInOrder) {
  HKEY hKey = Create(kTestKey);
  std::vector<std::string> made;
  for (int i = 0; i < 1500; ++i) {
    const size_t length = 1 + (i * 37) % 255;
    std::string name = std::to_string((i * 7919) % 1500) + "_";
    name.resize(length, static_cast<char>('a' + i % 26));
    made.push_back(name);
    RegCloseKey(Create(name.c_str(), hKey));
  }
  const std::vector<std::string> listed = SubkeyNames(hKey);
  std::vector<std::string> sorted = listed;
  std::sort(sorted.begin(), sorted.end());
  std::sort(made.begin(), made.end());
  made.erase(std::unique(made.begin(), made.end()), made.end());
  EXPECT_EQ(made, sorted);
  DWORD error = ERROR_SUCCESS;
  qzhost::RegStore* store = qzhost::MachineRegistry(&error);
  ASSERT_NE(nullptr, store);
  std::vector<std::string> withIds;
  std::vector<qzhost::RegKeyId> ids;
  ASSERT_EQ(ERROR_SUCCESS, store->ListChildren(qzhost::KeyIdOf(hKey), &withIds, &ids));
  EXPECT_EQ(withIds, listed);
  RegCloseKey(hKey);
}

TEST_F(RegistryTest, AccentedNamesFoldOnCodePage1252) {
  HKEY hKey = Create("Software\\QzTest\\\xE9t\xE9");  // été
  RegCloseKey(hKey);
  HKEY hUpper;
  EXPECT_EQ(ERROR_SUCCESS, Open("Software\\QzTest\\\xC9T\xC9", &hUpper));  // ÉTÉ
  RegCloseKey(hUpper);
}

// NT lists subkeys by their upper-cased names' Unicode characters: the code
// page 1252 letters at 0x80-0x9F and y diaeresis (upper case U+0178) come
// after every Latin-1 letter. The 98 personality lists them the same way.
TEST_F(RegistryTest, SubkeysWithLettersOf1252ComeInUnicodeOrder) {
  HKEY hKey = Create(kTestKey);
  for (const char* name : {"\xFF", "\x80", "\xC4", "\x8A", "z", "\xE4x",
                           "\x9A"
                           "a",
                           "\xDE", "~"})
    RegCloseKey(Create(name, hKey));
  // Ä (U+00C4), äx, Þ (U+00DE), then Š and š (U+0160), Ÿ (U+0178), € (U+20AC).
  std::vector<std::string> expected = {"z",
                                       "~",
                                       "\xC4",
                                       "\xE4x",
                                       "\xDE",
                                       "\x8A",
                                       "\x9A"
                                       "a",
                                       "\xFF",
                                       "\x80"};
  EXPECT_EQ(expected, SubkeyNames(hKey));
  RegCloseKey(hKey);
  // The three: ÿ, €, Ä list as Ä, ÿ, €.
  HKEY hThree = Create("Software\\QzThree");
  for (const char* name : {"\xFF", "\x80", "\xC4"}) RegCloseKey(Create(name, hThree));
  EXPECT_EQ((std::vector<std::string>{"\xC4", "\xFF", "\x80"}), SubkeyNames(hThree));
  RegCloseKey(hThree);
}

TEST_F(RegistryNTTest, SubkeysWithLettersOf1252ComeInUnicodeOrderOnNT) {
  HKEY hThree = Create("Software\\QzThree");
  for (const char* name : {"\xFF", "\x80", "\xC4",
                           "\xFF"
                           "b"})
    RegCloseKey(Create(name, hThree));
  EXPECT_EQ((std::vector<std::string>{"\xC4", "\xFF",
                                      "\xFF"
                                      "b",
                                      "\x80"}),
            SubkeyNames(hThree));
  RegCloseKey(hThree);
}

using Registry932Test = OnCodePage932<RegistryTest>;

// NT's order is the Unicode one on 932 too: kanji by their code points
// (0x88 0x9F U+4E9C, 0xE0 0x40 U+6F3E, 0x95 0x5C U+8868), then half-width
// katakana (0xB1 U+FF71), where the bytes would put 0xB1 before 0xE0 0x40.
TEST_F(Registry932Test, SubkeysComeInUnicodeOrder) {
  HKEY hKey = Create("Software\\QzOrder");
  for (const char* name : {"\xB1", "\xE0\x40", "\x95\x5C", "\x88\x9F", "a"})
    RegCloseKey(Create(name, hKey));
  EXPECT_EQ((std::vector<std::string>{"a", "\x88\x9F", "\xE0\x40", "\x95\x5C", "\xB1"}),
            SubkeyNames(hKey));
  RegCloseKey(hKey);
}

// 0x95 0x5C is one character; its second byte is no separator in a path.
TEST_F(Registry932Test, ADoubleByteCharacterEndingIn5CIsOneKeyName) {
  HKEY hKey = Create(
      "Software\\QzTest\\\x95\x5C"
      "1:");
  RegCloseKey(hKey);
  HKEY hParent;
  ASSERT_EQ(ERROR_SUCCESS, Open(kTestKey, &hParent));
  EXPECT_EQ(std::vector<std::string>{"\x95\x5C"
                                     "1:"},
            SubkeyNames(hParent));
  RegCloseKey(hParent);
  HKEY hOpen;
  EXPECT_EQ(ERROR_SUCCESS, Open("Software\\QzTest\\\x95\x5C"
                                "1:\\",
                                &hOpen));
  RegCloseKey(hOpen);
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, Open("Software\\QzTest\\\x95", &hOpen));
}

TEST_F(RegistryTest, QueryValueSizes) {
  HKEY hKey = Create(kTestKey);
  SetString(hKey, "Str", "hello");
  DWORD cb = 0xDEAD, dwType = 0xDEAD;
  EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(hKey, "Str", nullptr, &dwType, nullptr, &cb));
  EXPECT_EQ(6u, cb);
  char acBuf[8];
  memset(acBuf, 'x', sizeof acBuf);
  cb = 3;
  EXPECT_EQ(ERROR_MORE_DATA,
            RegQueryValueExA(hKey, "Str", nullptr, nullptr, reinterpret_cast<BYTE*>(acBuf), &cb));
  EXPECT_EQ(6u, cb);
  EXPECT_EQ('x', acBuf[0]);  // untouched
  cb = 6;
  EXPECT_EQ(ERROR_SUCCESS,
            RegQueryValueExA(hKey, "Str", nullptr, nullptr, reinterpret_cast<BYTE*>(acBuf), &cb));
  EXPECT_STREQ("hello", acBuf);
  // Missing value: Windows 98 keeps the size, with a buffer or without.
  cb = 0xDEAD;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(hKey, "Nope", nullptr, nullptr, nullptr, &cb));
  EXPECT_EQ(0xDEADu, cb);
  cb = 0xDEAD;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND,
            RegQueryValueExA(hKey, "Nope", nullptr, nullptr, reinterpret_cast<BYTE*>(acBuf), &cb));
  EXPECT_EQ(0xDEADu, cb);
  EXPECT_EQ(ERROR_INVALID_PARAMETER, RegQueryValueExA(hKey, "Str", nullptr, nullptr,
                                                      reinterpret_cast<BYTE*>(acBuf), nullptr));
  RegCloseKey(hKey);
}

struct TerminatorCase {
  DWORD given;
  DWORD stored;
};

// NT stores the bytes given (a terminator added where the next byte is one).
TEST_F(RegistryNTTest, SetValueTerminatorRulesOfNT) {
  HKEY hKey = Create(kTestKey);
  const BYTE* hello = reinterpret_cast<const BYTE*>("hello\0\0\0");
  for (TerminatorCase c : {TerminatorCase{5, 6}, {6, 6}, {8, 8}, {0, 0}}) {
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(hKey, "S", 0, REG_SZ, hello, c.given));
    DWORD cb = 0xDEAD;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(hKey, "S", nullptr, nullptr, nullptr, &cb));
    EXPECT_EQ(c.stored, cb) << "given " << c.given;
  }
  RegCloseKey(hKey);
}

// Windows 98 stores a REG_SZ to its first NUL, whatever the size given.
TEST_F(RegistryTest, SetValueTerminatorRules) {
  HKEY hKey = Create(kTestKey);
  const BYTE* hello = reinterpret_cast<const BYTE*>("hello\0\0\0");
  DWORD cb;
  TerminatorCase cases[] = {{5, 6}, {6, 6}, {8, 6}, {0, 6}};
  for (auto c : cases) {
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(hKey, "S", 0, REG_SZ, hello, c.given));
    cb = 0xDEAD;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(hKey, "S", nullptr, nullptr, nullptr, &cb));
    EXPECT_EQ(c.stored, cb) << "given " << c.given;
  }
  const BYTE abBin[] = {0x0B, 0x00, 0xFF, 0x00, 0x01};
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(hKey, "B", 0, REG_BINARY, abBin, 5));
  BYTE abOut[2];
  cb = sizeof abOut;
  EXPECT_EQ(ERROR_MORE_DATA, RegQueryValueExA(hKey, "B", nullptr, nullptr, abOut, &cb));
  EXPECT_EQ(5u, cb);
  // Null data with size 0 is refused by Windows 98.
  EXPECT_EQ(ERROR_INVALID_PARAMETER, RegSetValueExA(hKey, "N", 0, REG_SZ, nullptr, 0));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteValueA(hKey, "N"));
  RegCloseKey(hKey);
}

TEST_F(RegistryNTTest, AccessIsCheckedOnNT) {
  RegCloseKey(Create(kTestKey));
  HKEY hKey;
  ASSERT_EQ(ERROR_SUCCESS, Open(kTestKey, &hKey, KEY_QUERY_VALUE));
  const BYTE abData[] = {1};
  EXPECT_EQ(ERROR_ACCESS_DENIED, RegSetValueExA(hKey, "x", 0, REG_BINARY, abData, 1));
  char acName[8];
  DWORD cch = sizeof acName;
  EXPECT_EQ(ERROR_ACCESS_DENIED,
            RegEnumKeyExA(hKey, 0, acName, &cch, nullptr, nullptr, nullptr, nullptr));
  RegCloseKey(hKey);
  ASSERT_EQ(ERROR_SUCCESS, Open(kTestKey, &hKey, KEY_SET_VALUE));
  EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(hKey, "x", 0, REG_BINARY, abData, 1));
  RegCloseKey(hKey);
  // NULL data with size 0 stores an empty value on NT.
  hKey = Create(kTestKey);
  EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(hKey, "N", 0, REG_SZ, nullptr, 0));
  RegCloseKey(hKey);
}

TEST_F(RegistryTest, EnumKeyBufferRules) {
  HKEY hKey = Create(kTestKey);
  RegCloseKey(Create("k", hKey));
  char acName[4] = "zz";
  DWORD cch = 1;
  EXPECT_EQ(ERROR_MORE_DATA,
            RegEnumKeyExA(hKey, 0, acName, &cch, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(1u, cch);  // not updated
  cch = 2;
  EXPECT_EQ(ERROR_SUCCESS,
            RegEnumKeyExA(hKey, 0, acName, &cch, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(1u, cch);
  EXPECT_STREQ("k", acName);
  cch = 4;
  EXPECT_EQ(ERROR_NO_MORE_ITEMS,
            RegEnumKeyExA(hKey, 1, acName, &cch, nullptr, nullptr, nullptr, nullptr));
  RegCloseKey(hKey);
}

TEST_F(RegistryTest, EnumValueBufferRules) {
  HKEY hKey = Create(kTestKey);
  SetString(hKey, "Name", "data");
  char acName[8] = "sent";
  BYTE abData[8];
  DWORD cch = 2, cb = sizeof abData, dwType = 0xDEAD;
  EXPECT_EQ(ERROR_MORE_DATA, RegEnumValueA(hKey, 0, acName, &cch, nullptr, &dwType, abData, &cb));
  EXPECT_EQ(1u, cch);  // Windows 98 writes what fits of the name
  EXPECT_STREQ("N", acName);
  EXPECT_EQ(5u, cb);
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), dwType);
  cch = sizeof acName;
  cb = 2;
  EXPECT_EQ(ERROR_MORE_DATA, RegEnumValueA(hKey, 0, acName, &cch, nullptr, &dwType, abData, &cb));
  EXPECT_EQ(static_cast<DWORD>(sizeof acName), cch);
  EXPECT_EQ(5u, cb);
  cb = sizeof abData;
  EXPECT_EQ(ERROR_SUCCESS, RegEnumValueA(hKey, 0, acName, &cch, nullptr, &dwType, abData, &cb));
  EXPECT_STREQ("Name", acName);
  EXPECT_EQ(4u, cch);
  EXPECT_EQ(ERROR_NO_MORE_ITEMS,
            RegEnumValueA(hKey, 1, acName, &cch, nullptr, nullptr, nullptr, nullptr));
  RegCloseKey(hKey);
}

TEST_F(RegistryTest, EnumerationReadsTheListOnce) {
  HKEY hKey = Create(kTestKey);
  const int n = 300;
  for (int i = 0; i < n; ++i) RegCloseKey(Create(("k" + std::to_string(i)).c_str(), hKey));
  DWORD error = 0;
  qzhost::RegStore* store = qzhost::MachineRegistry(&error);
  ASSERT_NE(nullptr, store);
  store->Stats().rowsRead = 0;
  EXPECT_EQ(static_cast<size_t>(n), SubkeyNames(hKey).size());
  EXPECT_LE(store->Stats().rowsRead, static_cast<uint64_t>(n + 1));
  // A change in between makes the next call read the list again, and see it.
  RegCloseKey(Create("a-new-one", hKey));
  EXPECT_EQ(static_cast<size_t>(n + 1), SubkeyNames(hKey).size());
  RegCloseKey(hKey);
}

TEST_F(RegistryTest, DeleteKeyOn98RemovesTheTree) {
  RegCloseKey(Create("Software\\QzTest\\A\\B"));
  HKEY hA;
  ASSERT_EQ(ERROR_SUCCESS, Open("Software\\QzTest\\A", &hA));
  EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\QzTest\\A"));
  HKEY hKey;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, Open("Software\\QzTest\\A\\B", &hKey));
  const BYTE abData[] = {1};
  EXPECT_EQ(ERROR_KEY_DELETED, RegSetValueExA(hA, "x", 0, REG_BINARY, abData, 1));
  RegCloseKey(hA);
  EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyA(HKEY_LOCAL_MACHINE, ""));
}

TEST_F(RegistryNTTest, DeleteKeyOnNTNeedsALeaf) {
  RegCloseKey(Create("Software\\QzTest\\A\\B"));
  EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\QzTest\\A"));
  EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\QzTest\\A\\B"));
  EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\QzTest\\A"));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\QzTest\\A"));
}

TEST_F(RegistryTest, PlannedFailuresComeFirst) {
  qzhost::FailCall("RegCreateKeyA", ERROR_ACCESS_DENIED);
  HKEY hKey = kSentinelKey;
  EXPECT_EQ(ERROR_ACCESS_DENIED, RegCreateKeyA(HKEY_LOCAL_MACHINE, kTestKey, &hKey));
  EXPECT_EQ(kSentinelKey, hKey);
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, Open(kTestKey, &hKey));
  qzhost::FailCall("RegQueryValueExA", ERROR_MORE_DATA);
  DWORD cb = 0;
  EXPECT_EQ(ERROR_MORE_DATA,
            RegQueryValueExA(HKEY_LOCAL_MACHINE, "x", nullptr, nullptr, nullptr, &cb));
}

TEST_F(RegistryTest, ChangesSurviveReopeningAndFlush) {
  HKEY hKey = Create(kTestKey);
  SetString(hKey, "Kept", "yes");
  RegCloseKey(hKey);
  EXPECT_EQ(ERROR_SUCCESS, RegFlushKey(HKEY_LOCAL_MACHINE));
  struct stat st;
  ASSERT_EQ(0, stat((root_ + "/registry.db").c_str(), &st));
  EXPECT_EQ(0600u, st.st_mode & 0777);
  qzhost::MachineConfig config;
  qzhost::SetMachineForTest(root_, config, false);  // the same root, a new process view
  ASSERT_EQ(ERROR_SUCCESS, Open(kTestKey, &hKey));
  char acValue[8];
  DWORD cb = sizeof acValue;
  EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(hKey, "Kept", nullptr, nullptr,
                                            reinterpret_cast<BYTE*>(acValue), &cb));
  RegCloseKey(hKey);
}

// Keys below kTestKey as another process sees them (its own connection).
int KeysSeenByAnotherProcess(const std::string& dbPath) {
  sqlite3* db = nullptr;
  int count = -1;
  if (sqlite3_open_v2(dbPath.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* st = nullptr;
    const char* sql =
        "SELECT count(*) FROM keys WHERE CAST(upper AS TEXT) IN ('QZTEST', 'INNER', 'OUTER')";
    if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW)
      count = sqlite3_column_int(st, 0);
    sqlite3_finalize(st);
  }
  sqlite3_close(db);
  return count;
}

TEST_F(RegistryTest, TransactionsNestAndStoreNothingBeforeTheOutermostCommits) {
  DWORD error = 0;
  qzhost::RegStore* store = qzhost::MachineRegistry(&error);
  ASSERT_NE(nullptr, store);
  const std::string dbPath = root_ + "/registry.db";
  HKEY hKey;
  {
    qzhost::RegTransaction outer(store);
    ASSERT_EQ(ERROR_SUCCESS, outer.Status());
    RegCloseKey(Create("Software\\QzTest\\Outer"));
    {
      qzhost::RegTransaction inner(store);
      ASSERT_EQ(ERROR_SUCCESS, inner.Status());
      RegCloseKey(Create("Software\\QzTest\\Inner"));
      EXPECT_EQ(ERROR_SUCCESS, Open("Software\\QzTest\\Inner", &hKey));
      RegCloseKey(hKey);
    }  // rolled back: only the inner key goes
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, Open("Software\\QzTest\\Inner", &hKey));
    EXPECT_EQ(ERROR_SUCCESS, Open("Software\\QzTest\\Outer", &hKey));
    RegCloseKey(hKey);
    EXPECT_EQ(0, KeysSeenByAnotherProcess(dbPath));
  }  // rolled back as a whole
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, Open(kTestKey, &hKey));

  qzhost::RegTransaction outer(store);
  RegCloseKey(Create("Software\\QzTest\\Outer"));
  {
    qzhost::RegTransaction inner(store);
    RegCloseKey(Create("Software\\QzTest\\Inner"));
    EXPECT_EQ(ERROR_SUCCESS, inner.Commit());
  }
  EXPECT_EQ(0, KeysSeenByAnotherProcess(dbPath));
  EXPECT_EQ(ERROR_SUCCESS, outer.Commit());
  EXPECT_EQ(3, KeysSeenByAnotherProcess(dbPath));
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST_F(RegistryTest, ARunThatHoldsItsChangesStoresThemAtCloseOrFlush) {
  DWORD error = 0;
  qzhost::RegStore* store = qzhost::MachineRegistry(&error);
  ASSERT_NE(nullptr, store);
  const std::string dbPath = root_ + "/registry.db";
  store->HoldChangesUntilClose();
  RegCloseKey(Create("Software\\QzTest\\Outer"));
  HKEY hKey;
  EXPECT_EQ(ERROR_SUCCESS, Open("Software\\QzTest\\Outer", &hKey)) << "the run sees its own";
  RegCloseKey(hKey);
  EXPECT_EQ(0, KeysSeenByAnotherProcess(dbPath));
  EXPECT_EQ(ERROR_SUCCESS, RegFlushKey(HKEY_LOCAL_MACHINE));
  EXPECT_EQ(2, KeysSeenByAnotherProcess(dbPath)) << "flushed";
  RegCloseKey(Create("Software\\QzTest\\Inner"));
  EXPECT_EQ(2, KeysSeenByAnotherProcess(dbPath));
  qzhost::CloseMachineRegistry();
  EXPECT_EQ(3, KeysSeenByAnotherProcess(dbPath));
  // Opened again, the store holds nothing unless asked again.
  RegCloseKey(Create("Software\\QzTest\\Inner\\Outer"));
  EXPECT_EQ(4, KeysSeenByAnotherProcess(dbPath));
}

// The log files stay in the root between runs; the database file alone must
// still be a whole registry that can be copied away and put back.
TEST_F(RegistryTest, ADatabaseFileRestoredAloneReadsAsItWasCopied) {
  RegCloseKey(Create("Software\\QzTest\\BeforeCopy"));
  qzhost::CloseMachineRegistry();
  const std::string path = root_ + "/registry.db";
  const std::string copy = ReadFile(path);
  HKEY hKey = Create("Software\\QzTest\\AfterCopy");
  for (int i = 0; i < 50; ++i)
    SetString(hKey, std::to_string(i).c_str(), std::string(4000, 'x').c_str());
  RegCloseKey(hKey);
  qzhost::CloseMachineRegistry();
  EXPECT_EQ(0, access((path + "-wal").c_str(), F_OK)) << "the log is kept";
  WriteRootFile("registry.db", copy);
  EXPECT_EQ(ERROR_SUCCESS, Open("Software\\QzTest\\BeforeCopy", &hKey));
  RegCloseKey(hKey);
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, Open("Software\\QzTest\\AfterCopy", &hKey));
  qzhost::CloseMachineRegistry();
  sqlite3* db = nullptr;
  ASSERT_EQ(SQLITE_OK, sqlite3_open(path.c_str(), &db));
  sqlite3_stmt* st = nullptr;
  ASSERT_EQ(SQLITE_OK, sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &st, nullptr));
  ASSERT_EQ(SQLITE_ROW, sqlite3_step(st));
  EXPECT_STREQ("ok", reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
  sqlite3_finalize(st);
  sqlite3_close(db);
}

off_t FileSize(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? st.st_size : -1;
}

// The last connection to close leaves the shared-memory file empty; one that
// closes while another is open leaves it to that one, which keeps reading.
TEST_F(RegistryTest, TheSharedMemoryFileIsEmptiedByTheLastConnectionOnly) {
  const std::string path = root_ + "/registry.db";
  RegCloseKey(Create("Software\\QzTest\\First"));
  qzhost::CloseMachineRegistry();
  EXPECT_EQ(0, FileSize(path + "-shm"));

  sqlite3* other = nullptr;
  ASSERT_EQ(SQLITE_OK, sqlite3_open_v2(path.c_str(), &other, SQLITE_OPEN_READWRITE,
                                       qzhost::RegistryVfsName()));
  int keepLog = 1;  // as the registry's own connections do
  sqlite3_file_control(other, "main", SQLITE_FCNTL_PERSIST_WAL, &keepLog);
  auto keysSeen = [other] {
    sqlite3_stmt* st = nullptr;
    int count = -1;
    if (sqlite3_prepare_v2(other, "SELECT count(*) FROM keys", -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW)
      count = sqlite3_column_int(st, 0);
    sqlite3_finalize(st);
    return count;
  };
  const int before = keysSeen();
  ASSERT_GT(before, 0);
  RegCloseKey(Create("Software\\QzTest\\Second"));
  qzhost::CloseMachineRegistry();
  EXPECT_GT(FileSize(path + "-shm"), 0) << "still in use";
  EXPECT_EQ(before + 1, keysSeen());
  sqlite3_close(other);
  EXPECT_EQ(0, FileSize(path + "-shm"));
}

// Frames of the log that a program opening the registry would replay, and
// its integrity check, seen through a connection of its own.
std::pair<int, std::string> LogFramesAndIntegrity(const std::string& dbPath) {
  sqlite3* db = nullptr;
  std::pair<int, std::string> seen(-1, "");
  if (sqlite3_open_v2(dbPath.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA wal_checkpoint(PASSIVE)", -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW)
      seen.first = sqlite3_column_int(st, 1);
    sqlite3_finalize(st);
    if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW)
      seen.second = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    sqlite3_finalize(st);
  }
  sqlite3_close(db);
  return seen;
}

// A small log is kept between runs with nothing in it to replay, whatever
// the runs before left in it; a large one is cut to nothing.
TEST_F(RegistryTest, AnEmptiedLogIsKeptWhenSmallAndHoldsNothingToReplay) {
  const std::string path = root_ + "/registry.db";
  HKEY hKey = Create(kTestKey);
  SetString(hKey, "Run", "first");
  RegCloseKey(hKey);
  qzhost::CloseMachineRegistry();
  const off_t kept = FileSize(path + "-wal");
  EXPECT_GT(kept, 0);
  EXPECT_LE(kept, qzhost::kKeptLogBytes);

  hKey = Create(kTestKey);
  const std::string large(4000, 'x');
  for (int i = 0; i * 4000 < 2 * qzhost::kKeptLogBytes; ++i)
    SetString(hKey, std::to_string(i).c_str(), large.c_str());
  RegCloseKey(hKey);
  qzhost::CloseMachineRegistry();
  EXPECT_EQ(0, FileSize(path + "-wal"));

  hKey = Create(kTestKey);
  for (const char* run : {"third", "fourth"}) {  // the second over the first's frames
    SetString(hKey, "Run", run);
    RegCloseKey(hKey);
    qzhost::CloseMachineRegistry();
    hKey = Create(kTestKey);
  }
  RegCloseKey(hKey);
  qzhost::CloseMachineRegistry();
  EXPECT_GT(FileSize(path + "-wal"), 0);
  EXPECT_EQ(std::make_pair(0, std::string("ok")), LogFramesAndIntegrity(path));
  ASSERT_EQ(ERROR_SUCCESS, Open(kTestKey, &hKey));
  char acRun[16] = "";
  DWORD cb = sizeof acRun;
  EXPECT_EQ(ERROR_SUCCESS,
            RegQueryValueExA(hKey, "Run", nullptr, nullptr, reinterpret_cast<BYTE*>(acRun), &cb));
  EXPECT_STREQ("fourth", acRun);
  RegCloseKey(hKey);
}

TEST_F(RegistryTest, DamagedDatabaseIsReportedAndLeftAlone) {
  for (std::string content : {std::string("this is not a database, just text\n"),
                              std::string("SQLite format 3\0garbage-garbage-garbage", 40)}) {
    std::string path = WriteRootFile("registry.db", content);
    qzhost::SetMachineForTest(root_, qzhost::MachineConfig(), false);
    HKEY hKey = kSentinelKey;
    EXPECT_EQ(ERROR_BADDB, Open("Enum", &hKey));
    EXPECT_EQ(kSentinelKey, hKey);
    EXPECT_NE(std::string::npos, qzhost::MachineFault().find("is damaged or not a QZINST32"));
    EXPECT_EQ(content, ReadFile(path));
  }
}

TEST_F(RegistryTest, ForeignSQLiteDatabaseIsNotTouched) {
  std::string path = root_ + "/registry.db";
  sqlite3* db = nullptr;
  ASSERT_EQ(SQLITE_OK, sqlite3_open(path.c_str(), &db));
  ASSERT_EQ(SQLITE_OK, sqlite3_exec(db, "CREATE TABLE other(x); INSERT INTO other VALUES(1);",
                                    nullptr, nullptr, nullptr));
  sqlite3_close(db);
  std::string before = ReadFile(path);
  qzhost::SetMachineForTest(root_, qzhost::MachineConfig(), false);
  HKEY hKey = kSentinelKey;
  EXPECT_EQ(ERROR_BADDB, Open("Enum", &hKey));
  EXPECT_NE(std::string::npos, qzhost::MachineFault().find("format marker"));
  DWORD cb = 0;
  EXPECT_EQ(ERROR_BADDB, RegQueryValueExA(HKEY_LOCAL_MACHINE, "x", nullptr, nullptr, nullptr, &cb));
  EXPECT_EQ(before, ReadFile(path));
}

}  // namespace
