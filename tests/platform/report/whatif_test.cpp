// What-if runs and change lists: registry and profile comparison, the spooler
// objects behind them, the shadow a what-if run works on, and INF pre-flight.
#include "platform/host/report/whatif.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/host/registry/regfile.h"
#include "platform/host/report/changes.h"
#include "platform/host/report/changes_format.h"
#include "platform/host/report/checkinf.h"
#include "platform/host/report/jsontext.h"
#include "platform/host/report/win32errors.h"
#include "tests/support/machine_test.h"

namespace {

using qzhost::ChangeAction;

// A registry in memory holding `text` (a .reg file body without the header).
class MemoryRegistry {
 public:
  explicit MemoryRegistry(const std::string& body) {
    std::string why;
    qzhost::RegFileError error;
    std::string text = "REGEDIT4\n\n" + body;
    EXPECT_EQ(
        store.Open(
            ":memory:", 1252,
            [this, &text, &error] { return qzhost::ApplyRegText(&store, text, &error); }, &why),
        ERROR_SUCCESS)
        << why << error.message;
  }
  qzhost::RegStore store;
};

TEST(RegistryDiffTest, KeysAndValuesMatchWithoutRegardToCase) {
  MemoryRegistry before(
      "[HKEY_LOCAL_MACHINE\\Soft\\Keep]\n\"Same\"=\"1\"\n\"Count\"=dword:00000001\n"
      "\"Gone\"=\"x\"\n[HKEY_LOCAL_MACHINE\\Soft\\Old\\Deep]\n\"V\"=\"1\"\n");
  MemoryRegistry after(
      "[HKEY_LOCAL_MACHINE\\Soft\\keep]\n\"SAME\"=\"1\"\n\"count\"=dword:00000002\n"
      "\"New\"=hex:01,02\n[HKEY_LOCAL_MACHINE\\Soft\\Fresh\\Child]\n\"C\"=\"c\"\n");
  std::vector<qzhost::RegKeyChange> changes;
  ASSERT_EQ(qzhost::DiffRegistry(&before.store, &after.store, 1252, &changes), ERROR_SUCCESS);

  ASSERT_EQ(changes.size(), 4u);
  EXPECT_EQ(changes[0].action, ChangeAction::kAdded);
  EXPECT_EQ(changes[0].path, "HKEY_LOCAL_MACHINE\\Soft\\Fresh");
  EXPECT_EQ(changes[1].path, "HKEY_LOCAL_MACHINE\\Soft\\Fresh\\Child");
  ASSERT_EQ(changes[1].values.size(), 1u);
  EXPECT_EQ(changes[1].values[0].after.name, "C");

  const qzhost::RegKeyChange& keep = changes[2];
  EXPECT_EQ(keep.action, ChangeAction::kChanged);
  ASSERT_EQ(keep.values.size(), 3u);
  EXPECT_EQ(keep.values[0].action, ChangeAction::kChanged);  // Count 1 -> 2; Same untouched
  EXPECT_EQ(keep.values[0].before.name, "Count");
  EXPECT_EQ(keep.values[1].action, ChangeAction::kAdded);
  EXPECT_EQ(keep.values[2].action, ChangeAction::kRemoved);
  EXPECT_EQ(keep.values[2].before.name, "Gone");

  // A removed key stands for its tree: nothing is listed below it.
  EXPECT_EQ(changes[3].action, ChangeAction::kRemoved);
  EXPECT_EQ(changes[3].path, "HKEY_LOCAL_MACHINE\\Soft\\Old");

  std::string reg = qzhost::ChangesAsRegText({changes, {}, {}});
  EXPECT_NE(reg.find("; was: \"Count\"=dword:00000001\n\"count\"=dword:00000002\n"),
            std::string::npos)
      << reg;
  EXPECT_NE(reg.find("\"Gone\"=-\n"), std::string::npos);
  EXPECT_NE(reg.find("[-HKEY_LOCAL_MACHINE\\Soft\\Old]\n"), std::string::npos);
}

TEST(RegistryDiffTest, ThePatchTurnsTheOldRegistryIntoTheNew) {
  const char* old = "[HKEY_LOCAL_MACHINE\\A]\n\"X\"=\"1\"\n\"Y\"=\"2\"\n[HKEY_LOCAL_MACHINE\\B]\n";
  const char* now =
      "[HKEY_LOCAL_MACHINE\\A]\n\"X\"=\"3\"\n\"Z\"=dword:00000007\n[HKEY_LOCAL_MACHINE\\C\\D]\n";
  MemoryRegistry before(old), after(now);
  qzhost::MachineChanges changes;
  ASSERT_EQ(qzhost::DiffRegistry(&before.store, &after.store, 1252, &changes.registry),
            ERROR_SUCCESS);
  qzhost::RegFileError error;
  ASSERT_EQ(qzhost::ImportRegText(&before.store, qzhost::ChangesAsRegText(changes), &error),
            ERROR_SUCCESS)
      << error.message;
  std::string a, b, why;
  qzhost::ExportRegText(&before.store, "HKEY_LOCAL_MACHINE", qzhost::RegFileVersion::kRegedit4, &a,
                        &why);
  qzhost::ExportRegText(&after.store, "HKEY_LOCAL_MACHINE", qzhost::RegFileVersion::kRegedit4, &b,
                        &why);
  EXPECT_EQ(a, b);
}

TEST(ProfileDiffTest, KeysAsWindowsReadsThem) {
  std::vector<qzhost::ProfileChange> changes;
  qzhost::DiffProfile("F.INI", "[S]\nA=1\nB=2\nA=9\n[T]\nK=v\n", "[s]\nA=1\nB=\"3\"\nC=4\n", 1252,
                      &changes);
  ASSERT_EQ(changes.size(), 3u);
  EXPECT_EQ(changes[0].action, ChangeAction::kChanged);
  EXPECT_EQ(changes[0].key, "B");
  EXPECT_EQ(changes[0].before, "2");
  EXPECT_EQ(changes[0].after, "3");  // the quotes are not part of the value read
  EXPECT_EQ(changes[1].action, ChangeAction::kAdded);
  EXPECT_EQ(changes[1].key, "C");
  EXPECT_EQ(changes[2].action, ChangeAction::kRemoved);
  EXPECT_EQ(changes[2].section, "T");

  changes.clear();
  qzhost::DiffProfile("F.INI", "[S]\r\nA=1\r\n", "; note\n[S]\nA=1\n", 1252, &changes);
  EXPECT_TRUE(changes.empty()) << "comments and line ends are no entries";

  // A header met again is no section of its own: its keys are not read.
  changes.clear();
  qzhost::DiffProfile("F.INI", "[S]\nA=1\n[s]\nA=2\n", "[S]\nA=3\n[s]\nA=2\n[S]\nB=1\n", 1252,
                      &changes);
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(changes[0].key, "A");
  EXPECT_EQ(changes[0].after, "3");
}

// Added, removed and changed as the lists show them; names matched as the
// registry matches them, environments told where they qualify the name.
TEST(SpoolerChangesTest, TheDifferenceOfTwoListings) {
  using Listed = qzhost::SpoolerListed;
  std::vector<Listed> before = {
      {"port", "KP1:", "", {}},
      {"monitor", "Mon", "Windows NT x86", {{"dll", "mon.dll"}}},
      {"driver", "Drv", "Windows 4.0", {{"version", "0"}}},
      {"printer", "P", "", {{"default", "false"}}},
      {"port", "GONE:", "", {}},
  };
  std::vector<Listed> after = {
      {"port", "kp1:", "", {}},  // the same port, spelt otherwise by another program
      {"monitor", "Mon", "Windows NT x86", {{"dll", "mon.dll"}}},
      {"driver", "Drv", "Windows 4.0", {{"version", "0"}}},
      {"driver", "Drv", "Windows NT x86", {{"version", "3"}}},
      {"printer", "P", "", {{"default", "true"}}},
      {"print processor", "Proc", "Windows NT x86", {{"dll", "p.dll"}}},
  };
  std::vector<qzhost::SpoolerChange> changes = qzhost::DiffSpoolerLists(before, after, 1252);
  ASSERT_EQ(changes.size(), 5u);
  EXPECT_EQ(changes[0].object, "port");  // kp1: is KP1: with another spelling
  EXPECT_EQ(changes[0].action, ChangeAction::kChanged);
  EXPECT_EQ(changes[1].object, "driver");
  EXPECT_EQ(changes[1].environment, "Windows NT x86");
  EXPECT_EQ(changes[1].action, ChangeAction::kAdded);
  EXPECT_EQ(changes[2].object, "printer");
  EXPECT_EQ(changes[2].action, ChangeAction::kChanged);
  EXPECT_EQ(changes[3].object, "print processor");
  EXPECT_EQ(changes[3].action, ChangeAction::kAdded);
  EXPECT_EQ(changes[4].name, "GONE:");
  EXPECT_EQ(changes[4].action, ChangeAction::kRemoved);
  EXPECT_TRUE(qzhost::DiffSpoolerLists(after, after, 1252).empty());
}

TEST(JsonTextTest, EscapesQuotesAndControls) {
  EXPECT_EQ(qzhost::JsonString("a\"b\\c\n\x01\x7F", 1252), "\"a\\\"b\\\\c\\n\\u0001\\u007f\"");
  EXPECT_EQ(qzhost::JsonObject().Add("k", "v").AddNumber("n", 7).AddBool("b", false).Text(),
            "{\"k\": \"v\", \"n\": 7, \"b\": false}");
}

// Code-page bytes come out as the characters Windows decodes them to, in UTF-8.
TEST(JsonTextTest, DecodesTheAnsiCodePage) {
  EXPECT_EQ(qzhost::JsonString("\xE9\x80\x9F", 1252), "\"\u00e9\u20ac\u0178\"");
  EXPECT_EQ(qzhost::JsonString("\x81\x9D", 1252), "\"\u0081\u009d\"") << "unassigned bytes";
  // Hiragana A is one double-byte character; a trail byte of 0x5C is no
  // backslash; half-width katakana are single bytes.
  EXPECT_EQ(qzhost::JsonString("\x82\xA0", 932), "\"\u3042\"");
  EXPECT_EQ(qzhost::JsonString("\x95\x5C", 932), "\"\u8868\"");
  EXPECT_EQ(qzhost::JsonString("\xB1", 932), "\"\uff71\"");
  EXPECT_EQ(qzhost::JsonString("a\x82", 932), "\"a\ufffd\"") << "a lead byte at the end";
  EXPECT_EQ(qzhost::JsonString("\x85\x40", 932), "\"\ufffd\"") << "an unassigned pair";
}

TEST(Win32ErrorsTest, TableIsSortedAndNamesObjects) {
  unsigned long last = 0;
  for (unsigned long code = 0; code < 4000; ++code) {
    const qzhost::Win32ErrorText* row = qzhost::FindWin32Error(code);
    if (row == nullptr) continue;
    EXPECT_EQ(row->code, code);
    EXPECT_GT(code, last);
    last = code;
  }
  for (unsigned long code :
       {2ul, 3ul, 5ul, 87ul, 123ul, 183ul, 1796ul, 1797ul, 1798ul, 1802ul, 1805ul, 3005ul, 3006ul})
    EXPECT_NE(qzhost::FindWin32Error(code), nullptr) << code;
  EXPECT_EQ(qzhost::Win32ErrorName(1796), "ERROR_UNKNOWN_PORT");
  EXPECT_EQ(qzhost::Win32ErrorName(4711), "error 4711");
  EXPECT_EQ(qzhost::Win32ErrorMeaning(1796, "port", "KPORT9:"),
            "the port \"KPORT9:\" does not exist");
  EXPECT_EQ(qzhost::Win32ErrorMeaning(1796, "", ""), "the port does not exist");
}

class WhatIfRunTest : public MachineTest {};

TEST_F(WhatIfRunTest, AWhatIfRunLeavesTheMachineAsItWas) {
  std::string winIni = ReadRootFile("drive_c/WINDOWS/WIN.INI");
  qzhost::MachineChanges changes;
  {
    qzhost::ChangeWatch watch(qzhost::ChangeWatch::Mode::kWhatIf);
    std::string why;
    ASSERT_TRUE(watch.Begin(&why)) << why;
    EXPECT_EQ(Run("1 HRT1:"), 0);
    ASSERT_TRUE(watch.Finish(&changes, &why)) << why;
  }
  EXPECT_EQ(ReadRootFile("drive_c/WINDOWS/WIN.INI"), winIni);
  HKEY hKey = nullptr;
  EXPECT_EQ(
      RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                    "System\\CurrentControlSet\\Control\\Print\\Ports\\HRT1:", 0, KEY_READ, &hKey),
      ERROR_FILE_NOT_FOUND);

  ASSERT_EQ(changes.profiles.size(), 1u);
  EXPECT_EQ(changes.profiles[0].file, "C:\\WINDOWS\\WIN.INI");
  EXPECT_EQ(changes.profiles[0].key, "HRT1:");
  ASSERT_EQ(changes.spooler.size(), 1u);
  EXPECT_EQ(changes.spooler[0].name, "HRT1:");

  // The same command for real makes exactly these changes.
  qzhost::MachineChanges made;
  {
    qzhost::ChangeWatch watch(qzhost::ChangeWatch::Mode::kReport);
    std::string why;
    ASSERT_TRUE(watch.Begin(&why)) << why;
    EXPECT_EQ(Run("1 HRT1:"), 0);
    ASSERT_TRUE(watch.Finish(&made, &why)) << why;
  }
  EXPECT_EQ(qzhost::ChangesAsJson(made), qzhost::ChangesAsJson(changes));
  EXPECT_NE(ReadRootFile("drive_c/WINDOWS/WIN.INI"), winIni);
}

TEST_F(WhatIfRunTest, AProfileThatCannotBeWrittenFailsAsInARealRun) {
  std::string missing = root_ + "/no-such-folder/setup.ini";
  qzhost::MachineChanges changes;
  qzhost::ChangeWatch watch(qzhost::ChangeWatch::Mode::kWhatIf);
  std::string why;
  ASSERT_TRUE(watch.Begin(&why)) << why;
  EXPECT_FALSE(WritePrivateProfileStringA("Config", "ServerAddress", "1.2.3.4", missing.c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

  std::string present = WriteRootFile("setup.ini", "[Config]\nServerAddress=0.0.0.0\n");
  EXPECT_TRUE(WritePrivateProfileStringA("Config", "ServerAddress", "1.2.3.4", present.c_str()));
  char value[32];
  GetPrivateProfileStringA("Config", "ServerAddress", "", value, sizeof value, present.c_str());
  EXPECT_STREQ(value, "1.2.3.4") << "the run reads back what it wrote";
  ASSERT_TRUE(watch.Finish(&changes, &why)) << why;
  EXPECT_EQ(ReadRootFile("setup.ini"), "[Config]\nServerAddress=0.0.0.0\n");
  ASSERT_EQ(changes.profiles.size(), 1u);
  EXPECT_EQ(changes.profiles[0].before, "0.0.0.0");
  EXPECT_EQ(changes.profiles[0].after, "1.2.3.4");
}

class CheckInfTest : public MachineTest {
 protected:
  std::vector<std::string> Problems(const std::string& section) {
    std::string inf = WriteRootFile("t.inf",
                                    "[P]\n"
                                    "device=Printer\n"
                                    "Driver=P.DRV\n" +
                                        section + "[Strings]\nX=Text\nE=\n");
    qzhost::InfCheck check = qzhost::CheckPrinterInf(inf, "P", 1252, true);
    std::vector<std::string> found;
    for (const qzhost::InfProblem& p : check.problems) {
      if (p.key == "Win95DeviceID") continue;
      found.push_back(std::string(p.severity == qzhost::InfProblem::kError ? "E " : "W ") +
                      std::to_string(p.line) + " " + p.key);
    }
    return found;
  }
};

TEST_F(CheckInfTest, DelimitedValuesAsTheProgramSplitsThem) {
  using V = std::vector<std::string>;
  EXPECT_EQ(Problems("LanguageMonitor=HLM Mon , hlm.dll ; x\n"), V{});
  EXPECT_EQ(Problems("PortMonitor=%X%,hport.dll\n"), V{});
  EXPECT_EQ(Problems("PortMonitor=%E%,hport.dll\n"), V{"E 4 PortMonitor"}) << "empty text fails";
  EXPECT_EQ(Problems("PortMonitor=%X,hport.dll\n"), V{"E 4 PortMonitor"});
  EXPECT_EQ(Problems("PortMonitor=HPort,\n"), V{"E 4 PortMonitor"});
  EXPECT_EQ(Problems("PortMonitor=,hport.dll\n"), V{"E 4 PortMonitor"});
  EXPECT_EQ(Problems("PortMonitor=\n"), V{});
  EXPECT_EQ(Problems("PrintProcessor=WinPrint,winprint.dll\nPrintProcessorParam=" +
                     std::string(40, 'p') + "\n"),
            V{})
      << "WinPrint's parameters are never read";
  EXPECT_EQ(
      Problems("PrintProcessor=winprint,x.dll\nPrintProcessorParam=" + std::string(40, 'p') + "\n"),
      V{"W 5 PrintProcessorParam"});
}

TEST_F(CheckInfTest, NumbersAndLengths) {
  using V = std::vector<std::string>;
  EXPECT_EQ(Problems("Attributes=0x840\nDrvVersion=400\n"), V{});
  EXPECT_EQ(Problems("Attributes=zz\n"), V{"W 4 Attributes"});
  EXPECT_EQ(Problems("MakeDefault=0\nAttributes=zz\n"), V{}) << "not read without MakeDefault";
  EXPECT_EQ(Problems("DrvVersion=\n"), V{"W 4 DrvVersion"}) << "an empty value is 0, not 0x400";
  EXPECT_EQ(Problems("DataFile=" + std::string(16, 'd') + "\n"), V{"E 4 DataFile"})
      << "a cut file name names a file that does not exist";
  EXPECT_EQ(Problems("DataFile=" + std::string(15, 'd') + "\n"), V{});
}

TEST_F(CheckInfTest, KeysNoCommandReadsNameTheNearestKnownKey) {
  using V = std::vector<std::string>;
  EXPECT_EQ(Problems("PortMontor=%X%,hport.dll\n"), V{"W 4 PortMontor"});
  EXPECT_EQ(Problems("CopyFiles=A.Files\nAddReg=A.Reg\n"), V{}) << "Windows setup reads these";
  std::string inf = WriteRootFile("k.inf", "[P]\ndevice=P\nDriver=P.DRV\nlanguagemontor=a,b\n");
  qzhost::InfCheck check = qzhost::CheckPrinterInf(inf, "P", 1252, false);
  bool named = false;
  for (const qzhost::InfProblem& p : check.problems)
    named |= p.key == "languagemontor" && p.message.find("LanguageMonitor?") != std::string::npos;
  EXPECT_TRUE(named);
}

TEST_F(CheckInfTest, CutsThatShortenAFileNameAndNulBytesAreErrors) {
  using V = std::vector<std::string>;
  // 24 characters of name: the 31 kept end the file part at "KESTLM".
  EXPECT_EQ(Problems("PortMonitor=Halden Port Monitor XYZW,KESTLM.DLL\n"), V{"E 4 PortMonitor"});
  EXPECT_EQ(Problems("PortMonitor=Halden Port Mon,KESTLM.DLL ; a long comment\n"),
            V{"W 4 PortMonitor"})
      << "only the comment is cut";
  EXPECT_EQ(Problems("PortMonitor=HPM,KESTLM.DLL" + std::string(20, ' ') + ";x\n"),
            V{"W 4 PortMonitor"})
      << "only blanks and the comment are cut";
  EXPECT_EQ(Problems(std::string("Mfg=Hal\0den\n", 12)), V{"E 4 Mfg"});
}

}  // namespace
