// .reg import and export against a registry store in memory.
#include "platform/host/registry/regfile.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using qzhost::RegFileError;
using qzhost::RegFileVersion;

// UTF-16LE text after its byte-order mark, as 8-bit text (for searching in
// it); code units above 0xFF come out as '?'.
std::string Narrow(const std::string& utf16) {
  EXPECT_EQ(0u, utf16.find("\xFF\xFE"));
  std::string out;
  for (size_t i = 2; i + 1 < utf16.size(); i += 2)
    out.push_back(utf16[i + 1] == 0 ? utf16[i] : '?');
  return out;
}

// 8-bit text as UTF-16LE with a byte-order mark, as the registry editor writes it.
std::string Wide(const std::string& text) {
  std::string out = "\xFF\xFE";
  for (char c : text) out += std::string{c, '\0'};
  return out;
}

class RegFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    ASSERT_EQ(ERROR_SUCCESS, store_.Open(
                                 ":memory:", 1252, [] { return DWORD(0); }, &why))
        << why;
  }
  std::string Export(const std::string& key = "HKEY_LOCAL_MACHINE",
                     RegFileVersion version = RegFileVersion::kRegedit4) {
    std::string text, why;
    EXPECT_EQ(ERROR_SUCCESS, qzhost::ExportRegText(&store_, key, version, &text, &why)) << why;
    return text;
  }
  DWORD Import(const std::string& text) {
    error_ = RegFileError();
    return qzhost::ImportRegText(&store_, text, &error_);
  }
  qzhost::RegStore store_;
  RegFileError error_;
};

const char kSample[] =
    "REGEDIT4\r\n"
    "\r\n"
    "; a comment\r\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Qz]\r\n"
    "@=\"default\"\r\n"
    "\"Path\"=\"C:\\\\WINDOWS \\\"quoted\\\"\"\r\n"
    "\"Count\"=dword:0000002a\r\n"
    "\"Bin\"=hex:0b,00\r\n"
    "\"Multi\"=hex(7):61,00,\\\r\n"
    "   62,00,00\r\n"
    "\r\n"
    "[HKLM\\Software\\Qz\\Sub]\r\n";

TEST_F(RegFileTest, ImportsEveryValueForm) {
  ASSERT_EQ(ERROR_SUCCESS, Import(kSample)) << error_.line << ": " << error_.message;
  qzhost::RegKeyId id = qzhost::RootKeyIdByName("HKLM");
  for (const char* name : {"Software", "Qz"})
    ASSERT_EQ(ERROR_SUCCESS, store_.FindChild(id, name, &id));
  qzhost::RegValue value;
  ASSERT_EQ(ERROR_SUCCESS, store_.GetValue(id, "path", &value));
  EXPECT_EQ(std::string("C:\\WINDOWS \"quoted\"\0", 20), value.data);
  ASSERT_EQ(ERROR_SUCCESS, store_.GetValue(id, "Count", &value));
  EXPECT_EQ(static_cast<DWORD>(REG_DWORD), value.type);
  EXPECT_EQ(std::string("\x2a\0\0\0", 4), value.data);
  ASSERT_EQ(ERROR_SUCCESS, store_.GetValue(id, "Multi", &value));
  EXPECT_EQ(7u, value.type);
  EXPECT_EQ(std::string("a\0b\0\0", 5), value.data);
  ASSERT_EQ(ERROR_SUCCESS, store_.GetValue(id, "", &value));
  EXPECT_EQ(std::string("default\0", 8), value.data);
}

TEST_F(RegFileTest, ExportIsDeterministicAndRoundTrips) {
  ASSERT_EQ(ERROR_SUCCESS, Import(kSample));
  std::string expected =
      "REGEDIT4\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\Software\\Qz]\r\n"
      "@=\"default\"\r\n"
      "\"Path\"=\"C:\\\\WINDOWS \\\"quoted\\\"\"\r\n"
      "\"Count\"=dword:0000002a\r\n"
      "\"Bin\"=hex:0b,00\r\n"
      "\"Multi\"=hex(7):61,00,62,00,00\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\Software\\Qz\\Sub]\r\n\r\n";
  EXPECT_EQ(expected, Export("HKLM\\software\\QZ\\"));
  std::string whole = Export();
  qzhost::RegStore other;
  std::string why;
  ASSERT_EQ(ERROR_SUCCESS, other.Open(
                               ":memory:", 1252, [] { return DWORD(0); }, &why));
  ASSERT_EQ(ERROR_SUCCESS, qzhost::ImportRegText(&other, whole, &error_));
  std::string again;
  ASSERT_EQ(ERROR_SUCCESS, qzhost::ExportRegText(&other, "HKEY_LOCAL_MACHINE",
                                                 RegFileVersion::kRegedit4, &again, &why));
  EXPECT_EQ(whole, again);
}

TEST_F(RegFileTest, SeedsOfBothPersonalitiesApplyAndRoundTrip) {
  for (bool isNT : {false, true}) {
    qzhost::RegStore seeded;
    std::string why;
    ASSERT_EQ(
        ERROR_SUCCESS,
        seeded.Open(
            ":memory:", 1252, [&] { return qzhost::ImportSeedFiles(&seeded, isNT, &why); }, &why))
        << why;
    std::string text, again;
    ASSERT_EQ(ERROR_SUCCESS,
              qzhost::ExportRegText(&seeded, "HKLM", RegFileVersion::kVersion5, &text, &why));
    EXPECT_NE(std::string::npos, Narrow(text).find("\"IPAddress\"=\"192.168.1.20\"\r\n"));
    qzhost::RegStore copy;
    ASSERT_EQ(ERROR_SUCCESS, copy.Open(
                                 ":memory:", 1252, [] { return DWORD(0); }, &why));
    ASSERT_EQ(ERROR_SUCCESS, qzhost::ImportRegText(&copy, text, &error_)) << error_.message;
    ASSERT_EQ(ERROR_SUCCESS,
              qzhost::ExportRegText(&copy, "HKLM", RegFileVersion::kVersion5, &again, &why));
    EXPECT_EQ(text, again);
  }
}

TEST_F(RegFileTest, LongHexWrapsAndVersion5StringsAreUtf16) {
  std::string text = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Qz]\n\"Big\"=hex:";
  for (int i = 0; i < 60; ++i) text += (i ? "," : "") + std::string("ab");
  text += "\n\"Exp\"=hex(2):25,57,49,4e,44,49,52,25,00\n";
  ASSERT_EQ(ERROR_SUCCESS, Import(text)) << error_.message;
  std::string v4 = Export("HKLM\\Qz");
  EXPECT_NE(std::string::npos, v4.find("ab,\\\r\n  ab,"));
  for (size_t start = 0, end; (end = v4.find('\n', start)) != std::string::npos; start = end + 1)
    EXPECT_LE(end - start, 80u);
  std::string v5 = Export("HKLM\\Qz", RegFileVersion::kVersion5);
  EXPECT_EQ(0u, Narrow(v5).find("Windows Registry Editor Version 5.00\r\n"));
  EXPECT_NE(std::string::npos, Narrow(v5).find("\"Exp\"=hex(2):25,00,57,00,49,00,4e,00"));
  // Reading the 5.00 text back gives the same 8-bit value.
  ASSERT_EQ(ERROR_SUCCESS, Import(v5)) << error_.message;
  EXPECT_EQ(v4, Export("HKLM\\Qz"));
}

TEST_F(RegFileTest, RegeditExportsImportWithoutTheRootsThisMachineLacks) {
  // A full export of Windows XP: UTF-16, CRLF, HKEY_CURRENT_CONFIG twice, and
  // text of code page 1252 beyond Latin-1 (U+20AC is 0x80 there).
  std::string text = Wide(
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[HKEY_CURRENT_CONFIG\\Software\\Fonts]\r\n\"LogPixels\"=dword:00000060\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\Software\\Qz]\r\n\"Price\"=\"@ 5\"\r\n"
      "\"Multi\"=hex(7):41,00,ac,20,00,00,00,00\r\n\r\n"
      "[HKEY_CURRENT_CONFIG\\System]\r\n\r\n[HKEY_DYN_DATA\\PerfStats]\r\n\r\n");
  size_t at = text.find("@\0");
  text[at] = '\xAC', text[at + 1] = '\x20';  // U+20AC
  qzhost::RegImportSummary summary;
  error_ = RegFileError();
  ASSERT_EQ(ERROR_SUCCESS, qzhost::ImportRegText(&store_, text, &error_, &summary))
      << error_.line << ": " << error_.message;
  ASSERT_EQ(2u, summary.warnings.size());
  EXPECT_NE(std::string::npos, summary.warnings[0].find("HKEY_CURRENT_CONFIG"));
  EXPECT_NE(std::string::npos, summary.warnings[1].find("HKEY_DYN_DATA"));
  EXPECT_EQ("2 keys added, 0 deleted; 2 values added, 0 changed, 0 deleted", summary.Text());
  std::string v4 = Export("HKLM\\Software\\Qz");
  EXPECT_NE(std::string::npos, v4.find("\"Price\"=\"\x80 5\"\r\n"));
  EXPECT_NE(std::string::npos, v4.find("\"Multi\"=hex(7):41,80,00,00\r\n"));
  // Exported as 5.00 the euro sign is U+20AC again, in the string and the list.
  std::string v5 = Export("HKLM\\Software\\Qz", RegFileVersion::kVersion5);
  EXPECT_NE(std::string::npos, v5.find(std::string("\"\0\xAC\x20 \0"
                                                   "5\0",
                                                   8)));
  EXPECT_NE(std::string::npos, Narrow(v5).find("hex(7):41,00,ac,20,00,00,00,00\r\n"));
  // Importing the same again changes nothing, and says so.
  ASSERT_EQ(ERROR_SUCCESS, qzhost::ImportRegText(&store_, v5, &error_, &summary));
  EXPECT_EQ("0 keys added, 0 deleted; 0 values added, 0 changed, 0 deleted", summary.Text());
  // A character the code page cannot carry refuses the file at its line.
  std::string greek =
      Wide("Windows Registry Editor Version 5.00\r\n\r\n[HKLM\\Qz]\r\n\"a\"=\"@\"\r\n");
  at = greek.find("@\0");
  greek[at] = '\xA9', greek[at + 1] = '\x03';  // U+03A9
  EXPECT_NE(ERROR_SUCCESS, Import(greek));
  EXPECT_EQ(4u, error_.line);
  EXPECT_NE(std::string::npos, error_.message.find("U+03A9"));
}

TEST_F(RegFileTest, Version5FilesCarryTheDoubleByteTextOfCodePage932) {
  qzhost::RegStore store;
  std::string why;
  ASSERT_EQ(ERROR_SUCCESS, store.Open(
                               ":memory:", 932, [] { return DWORD(0); }, &why));
  // "[HKLM\Qz]" with the value "Name"="日本" and a list of one item "表".
  std::string text = Wide(
      "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Qz]\r\n"
      "\"Name\"=\"@@\"\r\n\"List\"=hex(7):68,88,00,00,00,00\r\n\r\n");
  size_t at = text.find(std::string("@\0@\0", 4));
  text.replace(at, 4, std::string("\xE5\x65\x2C\x67", 4));
  ASSERT_EQ(ERROR_SUCCESS, qzhost::ImportRegText(&store, text, &error_)) << error_.message;
  std::string v4;
  ASSERT_EQ(ERROR_SUCCESS,
            qzhost::ExportRegText(&store, "HKLM\\Qz", RegFileVersion::kRegedit4, &v4, &why));
  EXPECT_NE(std::string::npos, v4.find("\"Name\"=\"\x93\xfa\x96\x7b\"\r\n"));
  EXPECT_NE(std::string::npos, v4.find("\"List\"=hex(7):95,5c,00,00\r\n"));
  std::string v5;
  ASSERT_EQ(ERROR_SUCCESS,
            qzhost::ExportRegText(&store, "HKLM\\Qz", RegFileVersion::kVersion5, &v5, &why));
  EXPECT_EQ(text, v5);
}

// Hex data goes on over as many continuation lines as it needs, each joined
// with its blanks trimmed.
TEST_F(RegFileTest, HexDataOverManyContinuationLines) {
  std::string text = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Qz]\r\n\"B\"=hex:00,\\\r\n";
  std::string want(1, '\0');
  for (int i = 0; i < 20000; ++i) {
    text += " \t 01,02,  \\ \r\n";
    want += "\x01\x02";
  }
  text += "  ff\r\n[HKEY_LOCAL_MACHINE\\Software\\Qz2]\r\n";
  want += "\xff";
  ASSERT_EQ(ERROR_SUCCESS, Import(text)) << error_.message;
  qzhost::RegKeyId key = qzhost::kNoKey, qz2 = qzhost::kNoKey;
  qzhost::RegKeyId software = qzhost::kNoKey;
  ASSERT_EQ(ERROR_SUCCESS,
            store_.FindChild(qzhost::RootKeyIdByName("HKLM"), "Software", &software));
  ASSERT_EQ(ERROR_SUCCESS, store_.FindChild(software, "Qz", &key));
  ASSERT_EQ(ERROR_SUCCESS, store_.FindChild(software, "Qz2", &qz2));
  EXPECT_NE(qzhost::kNoKey, qz2);
  qzhost::RegValue value;
  ASSERT_EQ(ERROR_SUCCESS, store_.GetValue(key, "B", &value));
  EXPECT_EQ(want, value.data);
}

TEST_F(RegFileTest, DeletionForms) {
  ASSERT_EQ(ERROR_SUCCESS, Import(kSample));
  ASSERT_EQ(ERROR_SUCCESS, Import("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Qz]\n"
                                  "\"Bin\"=-\n\"NotThere\"=-\n\n"
                                  "[-HKEY_LOCAL_MACHINE\\Software\\Qz\\Sub]\n"
                                  "[-HKEY_LOCAL_MACHINE\\Software\\Missing\\Too]\n"));
  std::string text = Export("HKLM\\Software\\Qz");
  EXPECT_EQ(std::string::npos, text.find("Bin"));
  EXPECT_EQ(std::string::npos, text.find("Sub]"));
  EXPECT_NE(std::string::npos, text.find("\"Count\""));
}

TEST_F(RegFileTest, BadFileIsRefusedWithItsLineAndChangesNothing) {
  ASSERT_EQ(ERROR_SUCCESS, Import(kSample));
  std::string before = Export();
  struct {
    const char* text;
    size_t line;
  } cases[] = {
      {"REGEDIT5\n", 1},
      {"REGEDIT4\n\n\"v\"=\"outside\"\n", 3},
      {"REGEDIT4\n\n[-HKEY_LOCAL_MACHINE\\Software\\Qz]\n[HKLM\\New]\n\"x\"=dword:123456789\n", 5},
      {"REGEDIT4\n[HKLM\\New]\n\"x\"=hex:0g\n", 3},
      {"REGEDIT4\n[HKLM\\New]\n\"x\"=\"unterminated\n", 3},
      {"REGEDIT4\n[HKLM\\New]\n\"x\"=\"C:\\WINDOWS\"\n", 3},
      {"REGEDIT4\n[HKEY_NOWHERE\\New]\n", 2},
      {"REGEDIT4\n[HKLM\\New\n", 2},
      {"REGEDIT4\n[HKLM\\New]\n\"x\"=hex:01,\\\n  02,zz\n\"y\"=dword:1\n", 3},
      {"REGEDIT4\n[-HKLM]\n", 2},
  };
  for (const auto& c : cases) {
    EXPECT_NE(ERROR_SUCCESS, Import(c.text)) << c.text;
    EXPECT_EQ(c.line, error_.line) << c.text << " -> " << error_.message;
    EXPECT_FALSE(error_.message.empty());
  }
  std::string longName = "REGEDIT4\n[HKLM\\New]\n[HKLM\\" + std::string(256, 'k') + "]\n";
  EXPECT_NE(ERROR_SUCCESS, Import(longName));
  EXPECT_EQ(3u, error_.line);
  EXPECT_EQ(before, Export());
}

TEST_F(RegFileTest, ExportOfAMissingKeyFails) {
  std::string text, why;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND,
            qzhost::ExportRegText(&store_, "HKLM\\Nope", RegFileVersion::kRegedit4, &text, &why));
  EXPECT_NE(std::string::npos, why.find("Nope"));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND,
            qzhost::ExportRegText(&store_, "HKEY_BOGUS", RegFileVersion::kRegedit4, &text, &why));
}

// A double-byte character whose second byte is 0x5C stays in its key name,
// at the end of a path too, both ways.
TEST(RegFile932Test, ADoubleByteCharacterEndingIn5CIsOneKeyName) {
  qzhost::RegStore store;
  std::string why;
  ASSERT_EQ(ERROR_SUCCESS, store.Open(
                               ":memory:", 932, [] { return DWORD(0); }, &why))
      << why;
  RegFileError error;
  ASSERT_EQ(ERROR_SUCCESS,
            qzhost::ImportRegText(&store,
                                  "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Ports\\\x95\x5C]\r\n"
                                  "[HKEY_LOCAL_MACHINE\\Ports\\\x95\x5C\\1:]\r\n",
                                  &error))
      << error.message;
  std::string text;
  ASSERT_EQ(ERROR_SUCCESS, qzhost::ExportRegText(&store, "HKEY_LOCAL_MACHINE\\Ports\\\x95\x5C",
                                                 RegFileVersion::kRegedit4, &text, &why))
      << why;
  EXPECT_EQ(text,
            "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Ports\\\x95\x5C]\r\n\r\n"
            "[HKEY_LOCAL_MACHINE\\Ports\\\x95\x5C\\1:]\r\n\r\n");
}

// Inside quoted strings too: 表 (0x95 0x5C) and ソ (0x83 0x5C) are characters,
// no escapes, in version 5.00 files (UTF-16) and REGEDIT4 files alike; the
// export writes them back as they came.
TEST(RegFile932Test, QuotedStringsKeepDoubleByteCharactersEndingIn5C) {
  qzhost::RegStore store;
  std::string why;
  ASSERT_EQ(ERROR_SUCCESS, store.Open(
                               ":memory:", 932, [] { return DWORD(0); }, &why))
      << why;
  // "\"表\"=\"ソ\\x\"" in UTF-16: 表 U+8868, ソ U+30BD, then an escaped backslash.
  std::string v5 = Wide(
      "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Qz]\r\n"
      "\"@\"=\"@\\\\x\"\r\n\r\n");
  v5.replace(v5.find(std::string("@\0", 2)), 2, std::string("\x68\x88", 2));
  v5.replace(v5.find(std::string("@\0", 2)), 2, std::string("\xBD\x30", 2));
  RegFileError error;
  ASSERT_EQ(ERROR_SUCCESS, qzhost::ImportRegText(&store, v5, &error)) << error.message;
  std::string text;
  ASSERT_EQ(ERROR_SUCCESS,
            qzhost::ExportRegText(&store, "HKLM\\Qz", RegFileVersion::kVersion5, &text, &why));
  EXPECT_EQ(v5, text);
  ASSERT_EQ(ERROR_SUCCESS,
            qzhost::ExportRegText(&store, "HKLM\\Qz", RegFileVersion::kRegedit4, &text, &why));
  const std::string line = "\"\x95\x5C\"=\"\x83\x5C\\\\x\"\r\n";
  EXPECT_NE(std::string::npos, text.find(line)) << text;
  ASSERT_EQ(
      ERROR_SUCCESS,
      qzhost::ImportRegText(&store, "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Qz4]\r\n" + line, &error))
      << error.message;
  qzhost::RegKeyId key = qzhost::kNoKey;
  ASSERT_EQ(ERROR_SUCCESS, store.FindChild(qzhost::RootKeyIdByName("HKLM"), "Qz4", &key));
  qzhost::RegValue value;
  ASSERT_EQ(ERROR_SUCCESS, store.GetValue(key, "\x95\x5C", &value));
  EXPECT_EQ(std::string("\x83\x5C\\x\0", 5), value.data);
}

}  // namespace
