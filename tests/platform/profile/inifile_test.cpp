// IniFile: Windows' profile reading rules and line-exact edits, without a machine.
#include "platform/host/profile/inifile.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

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
  EXPECT_EQ(Joined(ini.SectionNames()), "A|b|a|");  // every header, as Windows lists them
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

// Long names are hashed eight bytes at a time where they are ASCII, double-byte
// characters a byte at a time: the first lookup (a reading of the lines) and
// later ones (the index) must find the same lines either way.
TEST(IniFileTest, LongAndDoubleByteNamesFoundAlikeWithAndWithoutTheIndex) {
  // \202 is 0x82, a lead byte of code page 932.
  const std::string text =
      "[s]\nLongKeyName_0001=first\nlongkeyname_0001=duplicate\n"
      "abcdefgh\202Aij=upper second byte\nABCDEFGH\202aIJ=lower second byte\n"
      "\202Aabcdefghijk=lead first\nZa@[`{Az_key=letters at the ends\n; c=comment\na=b=c\n";
  const std::pair<const char*, const char*> cases[] = {
      {"LONGKEYNAME_0001", "first"},
      {"ABCDEFGH\202AIJ", "upper second byte"},
      {"abcdefgh\202aij", "lower second byte"},
      {"\202AABCDEFGHIJK", "lead first"},
      {"\202aabcdefghijk", "<absent>"},
      {"zA@[`{aZ_KEY", "letters at the ends"},
      {"zA`{@[aZ_KEY", "<absent>"},
      {"a", "b=c"},
      {"a=b", "<absent>"},  // a name ends at the first '='
      {"; c", "<absent>"},
  };
  IniFile indexed(text, 932);
  EXPECT_EQ(Value(indexed, "s", "absent"), "<absent>");  // the one lookup without the index
  for (const auto& [key, expected] : cases) {
    EXPECT_EQ(Value(IniFile(text, 932), "s", key), expected) << key;
    EXPECT_EQ(Value(indexed, "s", key), expected) << key;
  }
  EXPECT_EQ(Joined(indexed.KeyNames("s")),
            "LongKeyName_0001|abcdefgh\202Aij|ABCDEFGH\202aIJ|\202Aabcdefghijk|Za@[`{Az_key|a|");
}

// Headers are found by their '[': it must be the line's first non-blank
// byte, not a second byte of a double-byte character or later text.
TEST(IniFileTest, OnlyABracketFirstOnItsLineStartsASection) {
  IniFile ini(
      "k=[no]\r\n\x81[no]\r\n \t\v\x1a[a]\r\nx=1 [no]\r\n\x81=second byte\r\n"
      "[b]x\r\ny=2\r\n\r[c]",
      932);
  EXPECT_EQ(Joined(ini.SectionNames()), "a|b|c|");
  EXPECT_EQ(Joined(ini.KeyNames("a")), "x|\x81|");
  EXPECT_EQ(Value(ini, "a", "x"), "1 [no]");
  EXPECT_EQ(Value(ini, "a", "\x81"), "second byte");
  EXPECT_EQ(Value(ini, "b", "y"), "2");
  EXPECT_TRUE(ini.HasSection("c"));
  EXPECT_EQ(ini.SectionBody("c"), "");
  EXPECT_EQ(ini.SectionLine("c"), 9u);  // the lone CR before it ends line 8
}

// A new key's place is found from the section's end; it must be the same
// with and without the section's index.
TEST(IniFileTest, NewKeyGoesAfterTheLastKeyWhateverLinesFollowIt) {
  const std::pair<const char*, const char*> cases[] = {
      {"[s]\n; c=1\n\n[t]\n", "[s]\nk=v\n; c=1\n\n[t]\n"},
      {"[s]\r\na=1\r\nno equals\r\n  \r\n; x=y\r\n[t]",
       "[s]\r\na=1\r\nk=v\r\nno equals\r\n  \r\n; x=y\r\n[t]"},
      {"[s]\na=1\n\n", "[s]\na=1\nk=v\n\n"},
      {"[s]\na=1\n;end", "[s]\na=1\nk=v\n;end"},
      {"[s]\n=1", "[s]\n=1\nk=v\n"},
      {"[s]", "[s]\r\nk=v\r\n"},
  };
  for (const auto& [text, expected] : cases) {
    std::string fresh, indexed;
    ASSERT_TRUE(IniFile(text).SetValue("s", "k", "v", &fresh)) << text;
    EXPECT_EQ(fresh, expected) << text;
    IniFile looked(text);
    EXPECT_EQ(Value(looked, "s", "other"), "<absent>");
    EXPECT_EQ(Value(looked, "s", "other"), "<absent>");  // the index is built
    ASSERT_TRUE(looked.SetValue("s", "k", "v", &indexed)) << text;
    EXPECT_EQ(indexed, expected) << text;
  }
}

TEST(IniFileTest, HeaderNameRunsToTheFirstBracketAndKeysBeforeAnySectionBelongToNone) {
  IniFile ini("orphan=1\n[ section1 ] ; note\n[a]b]\n[]\n=no key\n[open\nk=v\n");
  EXPECT_EQ(Joined(ini.SectionNames()), "section1|a||open|");
  EXPECT_EQ(Value(ini, "", "orphan"), "<absent>");
  EXPECT_EQ(Value(ini, "", ""), "no key");
  EXPECT_EQ(Joined(ini.KeyNames("")), "");  // an empty name is not listed
  EXPECT_EQ(Value(ini, "open", "k"), "v");
}

TEST(IniFileTest, ALoneCrEndsALineAndCountsInLineNumbers) {
  IniFile ini("[a]\rk=1\r  [b]\r\nx=2\nk]=3\ry=\"4\"");
  EXPECT_EQ(Joined(ini.SectionNames()), "a|b|");
  EXPECT_EQ(Value(ini, "a", "k"), "1");
  EXPECT_EQ(Value(ini, "b", "y"), "4");
  EXPECT_EQ(Joined(ini.KeyNames("b")), "x|k]|y|");
  EXPECT_EQ(ini.SectionLine("b"), 3u);
  EXPECT_EQ(ini.KeyLine("a", "k"), 2u);
  EXPECT_EQ(ini.KeyLine("b", "y"), 6u);
  // Without a lone CR a CR before "\n" belongs to the line end only.
  IniFile crlf("[a]\r\nk=1\r\n");
  EXPECT_EQ(crlf.KeyLine("a", "k"), 2u);
  EXPECT_EQ(Value(crlf, "a", "k"), "1");
}

// The lone CR is looked for many bytes at a time: one at any place, the
// text's last byte included, must be found.
TEST(IniFileTest, ALoneCrIsFoundWhereverItStands) {
  for (size_t pad = 0; pad < 150; ++pad) {
    std::string text = "[s]\r\n" + std::string(pad, ';') + "\r\n";
    IniFile crlf(text + "k=1\r\n");
    EXPECT_EQ(crlf.KeyLine("s", "k"), 3u) << pad;
    IniFile lone(text + "x=0\rk=1");
    EXPECT_EQ(Value(lone, "s", "k"), "1") << pad;
    IniFile last(text + "k=1\r");
    EXPECT_EQ(Value(last, "s", "k"), "1") << pad;
    std::string out;
    ASSERT_TRUE(last.SetValue("s", "j", "2", &out));
    EXPECT_EQ(out, text + "k=1\rj=2\r\n") << pad;
  }
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

// A write after a lookup that found nothing adds the key without looking for
// it again; other keys and sections are still looked for.
TEST(IniFileTest, AWriteAfterAFruitlessLookupAddsTheKey) {
  const IniFile ini("[Ports]\r\nLPT1:=\r\nCOM1:=x\r\n[Other]\r\nNEW:=1\r\n");
  std::string_view value;
  EXPECT_FALSE(ini.FindValue("Ports", "NEW:", &value));
  std::string out;
  ASSERT_TRUE(ini.SetValue("Ports", "NEW:", "", &out));
  EXPECT_EQ(out, "[Ports]\r\nLPT1:=\r\nCOM1:=x\r\nNEW:=\r\n[Other]\r\nNEW:=1\r\n");
  ASSERT_TRUE(ini.SetValue("Ports", "com1:", "y", &out));
  EXPECT_EQ(out, "[Ports]\r\nLPT1:=\r\nCOM1:=y\r\n[Other]\r\nNEW:=1\r\n");
  ASSERT_TRUE(ini.SetValue("Other", "NEW:", "2", &out));
  EXPECT_EQ(out, "[Ports]\r\nLPT1:=\r\nCOM1:=x\r\n[Other]\r\nNEW:=2\r\n");
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
