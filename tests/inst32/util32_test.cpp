// INF strings: placeholders, "name, file" values, path separators, hex values.
#include "inst32/util32.h"

#include "inst32/context.h"
#include "tests/support/machine_test.h"

namespace {

class InfStringsTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    inf_ = WriteRootFile("test.inf",
                         "[Strings]\r\nPMON=Port Monitor X\r\nHLM=HLM Mon\r\nEMPTY=\r\n"
                         "[Prn]\r\n"
                         "LanguageMonitor=HLM Mon , hlm.dll ; x\r\n"
                         "PortMonitor=%PMON%,hport.dll\r\n"
                         "NoName=hport.dll\r\n"
                         "NoFile=HPort,\r\n"
                         "Missing=%NOPE%,x.dll\r\n"
                         "Long=ABCDEFGHIJKLMNOPQRSTUVWXYZ,abcdefghijklmn.dll\r\n"
                         "Lead=\"  Lead Blank  ,  f.dll  \"\r\n");
  }
  BOOL Split(LPCSTR key, COrlString* name, COrlString* file, LPCSTR def = "") {
    COrlString inf(inf_.c_str()), section("Prn");
    return GetDelimitedPrinterObject(&inf, &section, key, def, name, file);
  }
  std::string inf_;
};

TEST_F(InfStringsTest, SplitsNameAndFileAndDropsTheComment) {
  COrlString name, file;
  EXPECT_TRUE(Split("LanguageMonitor", &name, &file));
  EXPECT_STREQ(name, "HLM Mon");
  EXPECT_STREQ(file, "hlm.dll");
  EXPECT_NE(Trace().find(":[Prn]LanguageMonitor=HLM Mon , hlm.dll ; x\n"), std::string::npos);
}

TEST_F(InfStringsTest, TranslatesANamePlaceholder) {
  COrlString name, file;
  EXPECT_TRUE(Split("PortMonitor", &name, &file));
  EXPECT_STREQ(name, "Port Monitor X");
  EXPECT_STREQ(file, "hport.dll");
  EXPECT_NE(Trace().find("PMON == Port Monitor X\n"), std::string::npos);
}

TEST_F(InfStringsTest, AnUnknownPlaceholderIsAnInvalidString) {
  COrlString name, file("unchanged");
  EXPECT_FALSE(Split("Missing", &name, &file));
  EXPECT_STREQ(name, "");
  EXPECT_STREQ(file, "unchanged");
  EXPECT_NE(Trace().find("Invalid string ''\n"), std::string::npos);
}

TEST_F(InfStringsTest, ValuesWithoutNameOrFileAreRefused) {
  COrlString name, file;
  EXPECT_FALSE(Split("NoName", &name, &file));
  EXPECT_STREQ(name, "");
  EXPECT_STREQ(file, "hport.dll");
  EXPECT_FALSE(Split("NoFile", &name, &file));
  EXPECT_STREQ(name, "HPort");
  EXPECT_STREQ(file, "");
}

TEST_F(InfStringsTest, AMissingKeyGivesEmptyPartsAndTrue) {
  COrlString name("x"), file("y");
  EXPECT_TRUE(Split("Absent", &name, &file));
  EXPECT_TRUE(name.IsEmpty());
  EXPECT_TRUE(file.IsEmpty());
  // The default goes through the same split as a value from the file.
  EXPECT_TRUE(Split("Absent", &name, &file, "Def,d.dll"));
  EXPECT_STREQ(name, "Def");
  EXPECT_STREQ(file, "d.dll");
}

TEST_F(InfStringsTest, OnlyTheFirst31CharactersCount) {
  COrlString name, file;
  EXPECT_TRUE(Split("Long", &name, &file));
  EXPECT_STREQ(name, "ABCDEFGHIJKLMNOPQRSTUVWXYZ");
  EXPECT_STREQ(file, "abcd");  // 26 + comma + 4 = 31
}

// Quotes keep the blanks that the profile reader would otherwise trim.
TEST_F(InfStringsTest, LeadingBlanksOfTheNameAreKept) {
  COrlString name, file;
  EXPECT_TRUE(Split("Lead", &name, &file));
  EXPECT_STREQ(name, "  Lead Blank");
  EXPECT_STREQ(file, "f.dll");
}

TEST_F(InfStringsTest, MissingArgumentsOrEmptyNamesReadNothing) {
  COrlString inf(inf_.c_str()), empty, section("Prn"), name("n"), file("f");
  EXPECT_FALSE(GetDelimitedPrinterObject(nullptr, &section, "X", "", &name, &file));
  EXPECT_FALSE(GetDelimitedPrinterObject(&inf, &empty, "X", "", &name, &file));
  EXPECT_FALSE(GetDelimitedPrinterObject(&empty, &section, "X", "", &name, &file));
  EXPECT_STREQ(name, "n");
  EXPECT_STREQ(file, "f");
  EXPECT_EQ(Trace(), "");
}

TEST_F(InfStringsTest, PlaceholderRules) {
  COrlString inf(inf_.c_str());
  COrlString partial("%X"), other("X%"), inner("Driver %HLM%"), unknown("%X%"), empty("%EMPTY%");
  EXPECT_FALSE(orlTranslateStringPlaceholder(partial, inf));
  EXPECT_STREQ(partial, "%X");
  EXPECT_FALSE(orlTranslateStringPlaceholder(other, inf));
  EXPECT_FALSE(orlTranslateStringPlaceholder(inner, inf));
  EXPECT_STREQ(inner, "Driver %HLM%");
  EXPECT_FALSE(orlTranslateStringPlaceholder(unknown, inf));
  EXPECT_STREQ(unknown, "");
  EXPECT_FALSE(orlTranslateStringPlaceholder(empty, inf));
  COrlString known("%HLM%");
  EXPECT_TRUE(orlTranslateStringPlaceholder(known, inf));
  EXPECT_STREQ(known, "HLM Mon");
}

TEST(HexToDwordTest, ReadsAsThe32BitStrtoul) {
  EXPECT_EQ(HexToDword("0x400"), 0x400u);
  EXPECT_EQ(HexToDword("240"), 0x240u);
  EXPECT_EQ(HexToDword("zz"), 0u);
  EXPECT_EQ(HexToDword("0x"), 0u);
  EXPECT_EQ(HexToDword("  1fG"), 0x1Fu);
  EXPECT_EQ(HexToDword("123456789"), 0xFFFFFFFFu);  // saturates where a 64-bit one would not
  EXPECT_EQ(HexToDword("-1"), 0xFFFFFFFFu);
  EXPECT_EQ(HexToDword("FFFFFFFF"), 0xFFFFFFFFu);
}

class PathSeparatorTest : public MachineTest {};

TEST_F(PathSeparatorTest, AppendsOnceAndNeverPastTheBuffer) {
  char acDir[QZ_PATH_CHARS] = "C:\\WINDOWS";
  AppendPathSeparator(acDir);
  EXPECT_STREQ(acDir, "C:\\WINDOWS\\");
  AppendPathSeparator(acDir);
  EXPECT_STREQ(acDir, "C:\\WINDOWS\\");
  char acEmpty[QZ_PATH_CHARS] = "";
  AppendPathSeparator(acEmpty);
  EXPECT_STREQ(acEmpty, "\\");
  char acFull[QZ_PATH_CHARS];
  memset(acFull, 'a', sizeof acFull);
  acFull[QZ_PATH_CHARS - 1] = '\0';
  AppendPathSeparator(acFull);
  EXPECT_EQ(strlen(acFull), static_cast<size_t>(QZ_PATH_CHARS - 1));
}

using DoubleBytePathTest = OnCodePage932<MachineTest>;

TEST_F(DoubleBytePathTest, ATrailByte5CIsNoSeparator) {
  char acDir[QZ_PATH_CHARS] = "C:\\\x95\x5C";  // a Shift-JIS character ending in 0x5C
  AppendPathSeparator(acDir);
  EXPECT_STREQ(acDir, "C:\\\x95\x5C\\");
  COrlString text(
      "A\x95\x5C"
      "B\\C");
  EXPECT_EQ(text.Find('\\'), 4);
  EXPECT_EQ(text.ReverseFind('\\'), 4);
}

TEST(BoundedCopyTest, CutsAndTerminates) {
  char acBuffer[4];
  BoundedCopy(acBuffer, "abcdef", sizeof acBuffer);
  EXPECT_STREQ(acBuffer, "abc");
}

}  // namespace
