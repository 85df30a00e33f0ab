// IniFile: Windows' profile reading rules and line-exact edits, without a machine.
#include "platform/host/inifile.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using qzhost::IniFile;

std::string Value(const IniFile& ini, const char* section, const char* key) {
  std::string_view value;
  if (!ini.FindValue(section, key, &value)) return "<absent>";
  return std::string(value);
}

std::string Joined(const std::vector<std::string_view>& names) {
  std::string out;
  for (std::string_view name : names) out.append(name).append("|");
  return out;
}

TEST(IniFileTest, NamesMatchWithoutCaseAndBlanksAroundNamesAndValuesGo) {
  IniFile ini("[ Printer ]\r\n  Device =  HP Thing  \r\n\tDataFile\t=\tx.dat\t\r\n");
  EXPECT_EQ(Value(ini, "printer", "DEVICE"), "HP Thing");
  EXPECT_EQ(Value(ini, "PRINTER", "datafile"), "x.dat");
  EXPECT_EQ(Value(ini, "Printer", "Missing"), "<absent>");
  EXPECT_EQ(Value(ini, "Other", "Device"), "<absent>");
}

TEST(IniFileTest, LinesWithoutEqualsAndCommentsAreNotKeys) {
  IniFile ini("[s]\nname1=val1\nname2=\nname3\n;name5=hidden\n  ; name6=hidden\nname4=val4\n");
  EXPECT_EQ(Joined(ini.KeyNames("s")), "name1|name2|name4|");
  EXPECT_EQ(Value(ini, "s", "name3"), "<absent>");
  EXPECT_EQ(Value(ini, "s", ";name5"), "<absent>");
  EXPECT_EQ(Value(ini, "s", "name2"), "");
}

TEST(IniFileTest, MatchingQuotesAroundTheValueAreRemoved) {
  IniFile ini(
      "[q]\nd=\"val2\"\ns='  kept blanks  '\nmixed=\"x'\none=\"\nempty=\"\"\ninner=a \"b\" c\n");
  EXPECT_EQ(Value(ini, "q", "d"), "val2");
  EXPECT_EQ(Value(ini, "q", "s"), "  kept blanks  ");
  EXPECT_EQ(Value(ini, "q", "mixed"), "\"x'");
  EXPECT_EQ(Value(ini, "q", "one"), "\"");
  EXPECT_EQ(Value(ini, "q", "empty"), "");
  EXPECT_EQ(Value(ini, "q", "inner"), "a \"b\" c");
}

TEST(IniFileTest, FirstOfDuplicateKeysAndSectionsWins) {
  IniFile ini("[A]\nk=1\nK=2\nj=3\n[b]\nk=other\n[a]\nk=4\nlate=5\n");
  EXPECT_EQ(Value(ini, "a", "k"), "1");
  EXPECT_EQ(Value(ini, "a", "late"), "<absent>");
  EXPECT_EQ(Joined(ini.KeyNames("a")), "k|j|");
  EXPECT_EQ(Joined(ini.SectionNames()), "A|b|");
}

// The first lookup in a section reads its lines; later ones use an index.
// Both must answer alike, on a section large enough for many collisions.
TEST(IniFileTest, FirstAndLaterLookupsAgreeOnBigSections) {
  std::string text = "  \t[Ports]\r\n";
  for (int i = 0; i < 3000; ++i)
    text += "P" + std::to_string(i) + ":=" + std::to_string(i) + "\r\n";
  text += "p7:=late duplicate\r\n; [not a section]\r\n  [Other]\r\nk=v";
  for (int pass = 0; pass < 2; ++pass) {
    IniFile ini(text);
    // Pass 0 asks first for a key that is there, pass 1 for one that is not.
    EXPECT_EQ(Value(ini, "ports", pass == 0 ? "P7:" : "nothing"), pass == 0 ? "7" : "<absent>");
    EXPECT_EQ(Value(ini, "PORTS", "p7:"), "7");
    EXPECT_EQ(Value(ini, "Ports", "P2999:"), "2999");
    EXPECT_EQ(Value(ini, "Ports", "P3000:"), "<absent>");
    EXPECT_EQ(Value(ini, "other", "K"), "v");
    EXPECT_EQ(ini.KeyNames("Ports").size(), 3000u);
    EXPECT_EQ(Joined(ini.SectionNames()), "Ports|Other|");
    // Edits read the section the same way with or without its index.
    const IniFile fresh(text);
    for (const char* key : {"P5:", "p7:", "NEW:"}) {
      std::string edited, expected;
      ASSERT_TRUE(ini.SetValue("Ports", key, "x", &edited)) << key;
      ASSERT_TRUE(fresh.SetValue("Ports", key, "x", &expected)) << key;
      EXPECT_EQ(expected, edited) << key;
    }
  }
}

TEST(IniFileTest, HeaderNameRunsToTheLastBracketAndKeysBeforeAnySectionBelongToNone) {
  IniFile ini("orphan=1\n[ section1 ] ; note\n[a]b]\n[]\n=no key\n[open\nk=v\n");
  EXPECT_EQ(Joined(ini.SectionNames()), "section1|a]b||open|");
  EXPECT_EQ(Value(ini, "", "orphan"), "<absent>");
  EXPECT_EQ(Value(ini, "", ""), "no key");
  EXPECT_EQ(Joined(ini.KeyNames("")), "");  // an empty name is not listed
  EXPECT_EQ(Value(ini, "open", "k"), "v");
}

TEST(IniFileTest, DoubleByteNamesCompareTheirSecondByteExactly) {
  // In code page 932 0x82 0x61 and 0x82 0x41 are two different characters.
  IniFile ini("[\x82\x61]\nk=lower\n[\x81]]\nk=bracket\n", 932);
  EXPECT_EQ(Value(ini, "\x82\x61", "K"), "lower");
  EXPECT_EQ(Value(ini, "\x82\x41", "k"), "<absent>");
  // The ']' that is a second byte does not end the name.
  EXPECT_EQ(Value(ini, "\x81]", "k"), "bracket");
  EXPECT_TRUE(qzhost::SameProfileName("ab\x82\x61", "AB\x82\x61", 932));
  EXPECT_FALSE(qzhost::SameProfileName("\x82\x61", "\x82\x41", 932));
  EXPECT_TRUE(qzhost::SameProfileName("\x82\x61", "\x82\x41", 1252));
}

TEST(IniFileTest, BinaryTextAndEndlessLinesAreReadWithoutHarm) {
  const std::string longKey(1 << 20, 'x'), longValue(1 << 20, 'y');
  std::string text("\0\xff\xfe[garbage\0=\0\n", 15);
  text += "[Long]\n" + longKey + "=" + longValue + "\n";
  for (int i = 0; i < 256; ++i) text.push_back(static_cast<char>(i));
  text += "\n[Real]\nkey=value";  // no final line end
  IniFile ini(text);
  EXPECT_EQ(Value(ini, "Real", "key"), "value");
  EXPECT_EQ(Value(ini, "Long", longKey.c_str()), longValue);
  EXPECT_EQ(Joined(ini.SectionNames()), "Long|Real|");
}

TEST(IniFileTest, ReplacingAValueChangesOnlyItsLine) {
  const std::string text =
      "; header comment\r\n[Config]\r\n; about the address\r\nServerAddress = 1.2.3.4 \r\n\r\n"
      "Other=keep\r\n[Next]\r\nServerAddress=untouched\r\n";
  IniFile ini(text);
  std::string out;
  ASSERT_TRUE(ini.SetValue("config", "serveraddress", "10.0.0.7", &out));
  EXPECT_EQ(out,
            "; header comment\r\n[Config]\r\n; about the address\r\nServerAddress=10.0.0.7\r\n\r\n"
            "Other=keep\r\n[Next]\r\nServerAddress=untouched\r\n");
  EXPECT_FALSE(IniFile(out).SetValue("Config", "ServerAddress", "10.0.0.7", &out));
}

TEST(IniFileTest, NewKeyFollowsTheSectionsLastKeyAndKeepsTheFilesLineEnds) {
  IniFile ini("[Ports]\nLPT1:=\nCOM1:=9600\n\n; ports end\n[devices]\n");
  EXPECT_STREQ(ini.LineEnd(), "\n");
  std::string out;
  ASSERT_TRUE(ini.SetValue("ports", "NETPRN1:", "", &out));
  EXPECT_EQ(out, "[Ports]\nLPT1:=\nCOM1:=9600\nNETPRN1:=\n\n; ports end\n[devices]\n");
  ASSERT_TRUE(ini.SetValue("devices", "HP", "x", &out));
  EXPECT_EQ(out, "[Ports]\nLPT1:=\nCOM1:=9600\n\n; ports end\n[devices]\nHP=x\n");
}

TEST(IniFileTest, NewSectionIsAppendedAndAnUnfinishedLastLineEnded) {
  std::string out;
  ASSERT_TRUE(IniFile("[App1]\r\nkey1=string1").SetValue("App3", "key5", "string5", &out));
  EXPECT_EQ(out, "[App1]\r\nkey1=string1\r\n[App3]\r\nkey5=string5\r\n");
  ASSERT_TRUE(IniFile("").SetValue("App", "key", "", &out));
  EXPECT_EQ(out, "[App]\r\nkey=\r\n");  // new files get Windows' CRLF
  ASSERT_TRUE(IniFile("[s]").SetValue("s", "k", "v", &out));
  EXPECT_EQ(out, "[s]\r\nk=v\r\n");
}

TEST(IniFileTest, DeletingKeysAndSectionsKeepsEverythingElse) {
  IniFile ini(
      "; top\n[App1]\nkey1=string1\nkey2=string2\nKEY2=again\n[App2]\nkey4=s4\n[app1]\nx=1\n");
  std::string out;
  ASSERT_TRUE(ini.DeleteKey("app1", "key2", &out));
  EXPECT_EQ(out, "; top\n[App1]\nkey1=string1\n[App2]\nkey4=s4\n[app1]\nx=1\n");
  ASSERT_TRUE(ini.DeleteSection("APP1", &out));
  EXPECT_EQ(out, "; top\n[App2]\nkey4=s4\n");
  EXPECT_FALSE(ini.DeleteKey("App2", "missing", &out));
  EXPECT_FALSE(ini.DeleteSection("missing", &out));
}

TEST(IniFileTest, IntegerReadingFollowsWindows) {
  EXPECT_EQ(qzhost::ProfileIntOf("42A94967297", true), 42u);
  EXPECT_EQ(qzhost::ProfileIntOf("B4294967297", true), 0u);
  EXPECT_EQ(qzhost::ProfileIntOf("-1", false), 4294967295u);
  EXPECT_EQ(qzhost::ProfileIntOf("-5", true), static_cast<uint32_t>(-5));
  EXPECT_EQ(qzhost::ProfileIntOf("4294967297", true), 1u);  // wraps modulo 2^32
  EXPECT_EQ(qzhost::ProfileIntOf("-4294967297", true), 4294967295u);
  EXPECT_EQ(qzhost::ProfileIntOf("+1", true), 1u);   // NT
  EXPECT_EQ(qzhost::ProfileIntOf("+1", false), 0u);  // Windows 9x
}

}  // namespace
