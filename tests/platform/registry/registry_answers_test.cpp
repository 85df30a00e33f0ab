// The Reg* calls where Windows 98 and Windows NT answer differently, as
// Windows' own conformance tests record it (Wine's advapi32 registry tests,
// their ok() and broken() lines and their Windows 9x branches). Grouped per
// call; every output starts from a sentinel.
#include <string.h>

#include <string>

#include "platform/host/registry/registry.h"
#include "tests/support/machine_test.h"

namespace {

const char kKey[] = "Software\\QzAnswers";
const char kFull[] = "FullString";  // 10 characters; its terminator is the 11th byte

class Registry98 : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_CURRENT_USER, kKey, &key_));
  }
  void TearDown() override {
    RegCloseKey(key_);
    MachineTest::TearDown();
  }
  LONG SetString(const char* name, const char* data, DWORD size) {
    return RegSetValueExA(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data), size);
  }
  // The stored size of a value, asked without a buffer.
  DWORD StoredSize(const char* name) {
    DWORD cb = 0xDEADBEEF;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key_, name, nullptr, nullptr, nullptr, &cb));
    return cb;
  }
  HKEY key_ = nullptr;
};

class RegistryNT : public Registry98 {
 protected:
  qzhost::TestMachineOptions Options() const override {
    qzhost::TestMachineOptions options;
    options.os = qzhost::Personality::kWinNT;
    return options;
  }
};

// --- RegSetValueExA(REG_SZ) --------------------------------------------------

// NT stores the bytes given; a terminator is added only where the byte just
// after them is one ("FullString" with size 10 reads back 11 bytes).
TEST_F(RegistryNT, SetValueStoresTheBytesGivenForAString) {
  ASSERT_EQ(ERROR_SUCCESS, SetString("s", kFull, 9));
  EXPECT_EQ(9u, StoredSize("s"));
  ASSERT_EQ(ERROR_SUCCESS, SetString("s", kFull, 10));
  EXPECT_EQ(11u, StoredSize("s"));
  ASSERT_EQ(ERROR_SUCCESS, SetString("z", "This\0Breaks\0", 13));
  EXPECT_EQ(13u, StoredSize("z"));
}

// Windows 98 ignores the size of a REG_SZ and stores the text to its first
// NUL with a terminator.
TEST_F(Registry98, SetValueStoresTheTextToItsFirstNul) {
  ASSERT_EQ(ERROR_SUCCESS, SetString("s", kFull, 9));
  EXPECT_EQ(11u, StoredSize("s"));
  char acValue[16];
  memset(acValue, 'x', sizeof acValue);
  DWORD cb = sizeof acValue;
  ASSERT_EQ(ERROR_SUCCESS,
            RegQueryValueExA(key_, "s", nullptr, nullptr, reinterpret_cast<BYTE*>(acValue), &cb));
  EXPECT_STREQ(kFull, acValue);
  ASSERT_EQ(ERROR_SUCCESS, SetString("z", "This\0Breaks\0", 13));
  EXPECT_EQ(5u, StoredSize("z"));
  ASSERT_EQ(ERROR_SUCCESS, SetString("e", kFull, 0));
  EXPECT_EQ(11u, StoredSize("e"));
  // Binary data stays byte for byte.
  ASSERT_EQ(ERROR_SUCCESS,
            RegSetValueExA(key_, "b", 0, REG_BINARY, reinterpret_cast<const BYTE*>(kFull), 9));
  EXPECT_EQ(9u, StoredSize("b"));
}

// --- RegQueryValueExA ----------------------------------------------------------

// The size is read before the type is written: one variable for both works.
TEST_F(Registry98, QueryValueReadsTheSizeBeforeItWritesTheType) {
  const BYTE abData[4] = {0x78, 0x56, 0x34, 0x12};
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key_, "BIN32", 0, REG_BINARY, abData, 4));
  BYTE abOut[10] = {0};
  DWORD both = 4;
  EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key_, "BIN32", nullptr, &both, abOut, &both));
  EXPECT_EQ(0, memcmp(abOut, abData, 4));
}

TEST_F(RegistryNT, QueryValueReadsTheSizeBeforeItWritesTheType) {
  const BYTE abData[4] = {0x78, 0x56, 0x34, 0x12};
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key_, "BIN32", 0, REG_BINARY, abData, 4));
  BYTE abOut[10] = {0};
  DWORD both = 4;
  EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key_, "BIN32", nullptr, &both, abOut, &both));
  EXPECT_EQ(0, memcmp(abOut, abData, 4));
}

// A missing value: Windows 98 leaves the size alone and clears the type; NT
// sets the size to 0 when no buffer was given.
TEST_F(Registry98, QueryOfAMissingValueLeavesTheSizeAlone) {
  DWORD cb = 0xDEADBEEF, dwType = 0xDEADBEEF;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(key_, "Nope", nullptr, &dwType, nullptr, &cb));
  EXPECT_EQ(0xDEADBEEFu, cb);
  EXPECT_EQ(0u, dwType);
  BYTE abOut[10];
  cb = sizeof abOut;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(key_, "Nope", nullptr, nullptr, abOut, &cb));
  EXPECT_EQ(static_cast<DWORD>(sizeof abOut), cb);
}

TEST_F(RegistryNT, QueryOfAMissingValueSetsTheSizeToZero) {
  DWORD cb = 0xDEADBEEF;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(key_, "Nope", nullptr, nullptr, nullptr, &cb));
  EXPECT_EQ(0u, cb);
  BYTE abOut[10];
  cb = sizeof abOut;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(key_, "Nope", nullptr, nullptr, abOut, &cb));
  EXPECT_EQ(static_cast<DWORD>(sizeof abOut), cb);
}

// A string stored without its terminator reads back without one; where the
// buffer has room NT writes a NUL after it and reports the stored size.
TEST_F(RegistryNT, QueryAndEnumTerminateAnUnterminatedStringWhereThereIsRoom) {
  ASSERT_EQ(ERROR_SUCCESS, SetString("stringtest", kFull, 9));
  BYTE abOut[11];
  memset(abOut, 0xBD, sizeof abOut);
  DWORD cb = 9;
  ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key_, "stringtest", nullptr, nullptr, abOut, &cb));
  EXPECT_EQ(9u, cb);
  EXPECT_EQ(0, memcmp(abOut, kFull, 9));
  EXPECT_EQ(0xBD, abOut[9]);
  cb = 10;
  ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key_, "stringtest", nullptr, nullptr, abOut, &cb));
  EXPECT_EQ(9u, cb);
  EXPECT_EQ(0, abOut[9]);
  char acName[11];
  DWORD cch = sizeof acName;
  memset(abOut, 0xBD, sizeof abOut);
  cb = 9;
  ASSERT_EQ(ERROR_SUCCESS, RegEnumValueA(key_, 0, acName, &cch, nullptr, nullptr, abOut, &cb));
  EXPECT_EQ(0xBD, abOut[9]);
  cch = sizeof acName;
  cb = 10;
  ASSERT_EQ(ERROR_SUCCESS, RegEnumValueA(key_, 0, acName, &cch, nullptr, nullptr, abOut, &cb));
  EXPECT_STREQ("stringtest", acName);
  EXPECT_EQ(9u, cb);
  EXPECT_EQ(0, abOut[9]);
}

// --- RegEnumValueA with a name buffer too small ----------------------------------

struct EnumResult {
  LONG rc;
  DWORD cchName, cbData, dwType;
  std::string name, data;
};

EnumResult EnumTest(HKEY hKey, DWORD cchName) {
  EnumResult r;
  char acName[20], acData[30];
  strcpy(acName, "xxxxxxxxxx");
  memset(acData, 'x', sizeof acData);
  acData[sizeof acData - 1] = '\0';
  r.cchName = cchName;
  r.cbData = 16;
  r.dwType = 1234;
  r.rc = RegEnumValueA(hKey, 0, acName, &r.cchName, nullptr, &r.dwType,
                       reinterpret_cast<BYTE*>(acData), &r.cbData);
  r.name = acName;
  r.data = acData;
  return r;
}

// XP leaves the name and its count alone and writes a NUL at the data's
// length; the type and the data size come back.
TEST_F(RegistryNT, EnumValueWithASmallNameBuffer) {
  ASSERT_EQ(ERROR_SUCCESS, SetString("Test", "foobar", 7));
  EnumResult r = EnumTest(key_, 3);
  EXPECT_EQ(ERROR_MORE_DATA, r.rc);
  EXPECT_EQ(3u, r.cchName);
  EXPECT_EQ("xxxxxxxxxx", r.name);
  EXPECT_EQ(7u, r.cbData);
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), r.dwType);
  EXPECT_EQ("xxxxxxx", r.data);
  r = EnumTest(key_, 0);
  EXPECT_EQ(ERROR_MORE_DATA, r.rc);
  EXPECT_EQ(0u, r.cchName);
  EXPECT_EQ("xxxxxxxxxx", r.name);
  EXPECT_EQ(7u, r.cbData);
}

// Windows 98 writes as much of the name as fits and returns its length.
TEST_F(Registry98, EnumValueWithASmallNameBuffer) {
  ASSERT_EQ(ERROR_SUCCESS, SetString("Test", "foobar", 7));
  EnumResult r = EnumTest(key_, 3);
  EXPECT_EQ(ERROR_MORE_DATA, r.rc);
  EXPECT_EQ(2u, r.cchName);
  EXPECT_EQ("Te", r.name);
  EXPECT_EQ(7u, r.cbData);
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), r.dwType);
  EXPECT_EQ("xxxxxxx", r.data);
  r = EnumTest(key_, 0);
  EXPECT_EQ(ERROR_MORE_DATA, r.rc);
  EXPECT_EQ(0u, r.cchName);
  EXPECT_EQ("xxxxxxxxxx", r.name);
}

// --- RegFlushKey -------------------------------------------------------------------

TEST_F(RegistryNT, FlushOfADeletedKeyIsKeyDeleted) {
  HKEY hSub = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(key_, "Gone", &hSub));
  EXPECT_EQ(ERROR_SUCCESS, RegFlushKey(hSub));
  ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(key_, "Gone"));
  EXPECT_EQ(ERROR_KEY_DELETED, RegFlushKey(hSub));
  EXPECT_EQ(ERROR_SUCCESS, RegFlushKey(key_));
  RegCloseKey(hSub);
}

TEST_F(Registry98, FlushOfADeletedKeyIsKeyDeleted) {
  HKEY hSub = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(key_, "Gone", &hSub));
  ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(key_, "Gone"));
  EXPECT_EQ(ERROR_KEY_DELETED, RegFlushKey(hSub));
  RegCloseKey(hSub);
}

// --- a subkey path with one leading backslash --------------------------------------

// 2000 and XP open it below HKEY_CLASSES_ROOT; below the other roots NT
// refuses it with 161.
TEST_F(RegistryNT, LeadingBackslashOpensBelowClassesRootOnly) {
  HKEY hKey = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_CLASSES_ROOT, "clsid", &hKey));
  RegCloseKey(hKey);
  hKey = nullptr;
  EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CLASSES_ROOT, "\\clsid", 0, KEY_QUERY_VALUE, &hKey));
  EXPECT_NE(nullptr, hKey);
  RegCloseKey(hKey);
  hKey = nullptr;
  EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CLASSES_ROOT, "\\", 0, KEY_QUERY_VALUE, &hKey));
  EXPECT_NE(HKEY_CLASSES_ROOT, hKey);  // a new handle
  EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(hKey));
  EXPECT_EQ(ERROR_BAD_PATHNAME, RegOpenKeyA(HKEY_CURRENT_USER, "\\Software\\QzAnswers", &hKey));
}

// Windows 98 does not find a key named with a leading backslash (2), though
// RegCreateKeyA takes such a name.
TEST_F(Registry98, LeadingBackslashFindsNoKey) {
  HKEY hKey = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0xDEAD0));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyA(HKEY_CURRENT_USER, "\\Software\\QzAnswers", &hKey));
  EXPECT_EQ(nullptr, hKey);
  EXPECT_EQ(ERROR_FILE_NOT_FOUND,
            RegOpenKeyExA(HKEY_CURRENT_USER, "\\Software\\QzAnswers", 0, KEY_READ, &hKey));
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(key_, "\\Sub", &hKey));
  RegCloseKey(hKey);
}

// --- RegCloseKey twice; the same key opened twice -----------------------------------

TEST_F(RegistryNT, ClosingTwiceIsInvalidHandleAndEachOpenIsANewHandle) {
  HKEY hFirst = nullptr, hSecond = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyA(HKEY_CURRENT_USER, kKey, &hFirst));
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyA(HKEY_CURRENT_USER, kKey, &hSecond));
  EXPECT_NE(hFirst, hSecond);
  EXPECT_NE(key_, hFirst);
  EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(hFirst));
  EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(hFirst));
  EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(hSecond));
  EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(nullptr));
}

// Windows 98 gives the key's one handle to every open of it; the handle
// stays open until each open has been closed.
TEST_F(Registry98, OpeningAKeyAgainGivesItsHandle) {
  HKEY hFirst = nullptr, hSecond = nullptr, hCreated = nullptr, hEx = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyA(HKEY_CURRENT_USER, kKey, &hFirst));
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyA(HKEY_CURRENT_USER, "SOFTWARE\\qzanswers\\", &hSecond));
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_CURRENT_USER, kKey, &hCreated));
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &hEx));
  EXPECT_EQ(key_, hFirst);
  EXPECT_EQ(key_, hSecond);
  EXPECT_EQ(key_, hCreated);
  EXPECT_EQ(key_, hEx);
  for (HKEY h : {hFirst, hSecond, hCreated, hEx}) EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(h));
  // The fixture's own open still holds the handle.
  EXPECT_EQ(ERROR_SUCCESS, SetString("still", "open", 5));
  EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key_));
  EXPECT_EQ(ERROR_BADKEY, RegCloseKey(key_));
  EXPECT_EQ(ERROR_BADKEY, SetString("closed", "now", 4));
  // Another key has a handle of its own.
  HKEY hOther = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_CURRENT_USER, "Software\\QzOther", &hOther));
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyA(HKEY_CURRENT_USER, kKey, &key_));
  EXPECT_NE(hOther, key_);
  RegCloseKey(hOther);
}

}  // namespace
