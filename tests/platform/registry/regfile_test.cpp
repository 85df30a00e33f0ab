// .reg import and export against a registry store in memory.
#include "platform/host/registry/regfile.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using qzhost::RegFileError;
using qzhost::RegFileVersion;

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
      "REGEDIT4\n\n"
      "[HKEY_LOCAL_MACHINE\\Software\\Qz]\n"
      "@=\"default\"\n"
      "\"Path\"=\"C:\\\\WINDOWS \\\"quoted\\\"\"\n"
      "\"Count\"=dword:0000002a\n"
      "\"Bin\"=hex:0b,00\n"
      "\"Multi\"=hex(7):61,00,62,00,00\n\n"
      "[HKEY_LOCAL_MACHINE\\Software\\Qz\\Sub]\n\n";
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
    EXPECT_NE(std::string::npos, text.find("\"IPAddress\"=\"192.168.1.20\""));
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
  EXPECT_NE(std::string::npos, v4.find("ab,\\\n  ab,"));
  for (size_t start = 0, end; (end = v4.find('\n', start)) != std::string::npos; start = end + 1)
    EXPECT_LE(end - start, 80u);
  std::string v5 = Export("HKLM\\Qz", RegFileVersion::kVersion5);
  EXPECT_EQ(0u, v5.find("Windows Registry Editor Version 5.00\n"));
  EXPECT_NE(std::string::npos, v5.find("\"Exp\"=hex(2):25,00,57,00,49,00,4e,00"));
  // Reading the 5.00 text back gives the same 8-bit value.
  ASSERT_EQ(ERROR_SUCCESS, Import(v5)) << error_.message;
  EXPECT_EQ(v4, Export("HKLM\\Qz"));
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

}  // namespace
