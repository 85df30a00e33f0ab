// Commands 257 and 258: the shared-DLL marks and the setup source path.
#include "w32/oemcmd32.h"

#include <string>

#include "tests/support/machine_test.h"

namespace {

const char kFormerSource[] = "C:\\WINDOWS\\OPTIONS\\CABS";

class OemCommandTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    for (const char* key : {QZ_KNOWN16DLLS_KEY, QZ_INSTALLEDFILES_KEY, QZ_SETUP_KEY}) {
      HKEY hKey = nullptr;
      ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, key, &hKey), ERROR_SUCCESS);
      RegCloseKey(hKey);
    }
    SetSetupString("SourcePath", kFormerSource);
  }

  static void SetSetupString(const char* name, const std::string& value) {
    HKEY hKey = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, QZ_SETUP_KEY, 0, KEY_SET_VALUE, &hKey),
              ERROR_SUCCESS);
    RegSetValueExA(hKey, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>(value.size() + 1));
    RegCloseKey(hKey);
  }

  static void DeleteSetupValue(const char* name) {
    HKEY hKey = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, QZ_SETUP_KEY, 0, KEY_SET_VALUE, &hKey),
              ERROR_SUCCESS);
    RegDeleteValueA(hKey, name);
    RegCloseKey(hKey);
  }

  // The value's raw data and type, or "<absent>".
  static std::string Value(const char* key, const char* name, DWORD* pType = nullptr) {
    HKEY hKey = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_QUERY_VALUE, &hKey) != ERROR_SUCCESS) {
      return "<no key>";
    }
    DWORD cbData = 0;
    DWORD dwType = 0;
    std::string data = "<absent>";
    if (RegQueryValueExA(hKey, name, nullptr, &dwType, nullptr, &cbData) == ERROR_SUCCESS) {
      data.assign(cbData, '\0');
      RegQueryValueExA(hKey, name, nullptr, &dwType, reinterpret_cast<LPBYTE>(&data[0]), &cbData);
    }
    RegCloseKey(hKey);
    if (pType != nullptr) *pType = dwType;
    return data;
  }

  // A REG_SZ value without its terminator, or "<absent>".
  static std::string SetupString(const char* name) {
    std::string data = Value(QZ_SETUP_KEY, name);
    if (!data.empty() && data.back() == '\0') data.pop_back();
    return data;
  }
};

TEST_F(OemCommandTest, MarkDLLsMarksBacksUpAndSwitchesTheSource) {
  EXPECT_EQ(Run("257 D:\\RT2210\\WIN98"), 0);
  DWORD dwType = 0;
  EXPECT_EQ(Value(QZ_KNOWN16DLLS_KEY, "vxqprn32.drv", &dwType), std::string("vxqprn32.drv", 13));
  EXPECT_EQ(dwType, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(Value(QZ_INSTALLEDFILES_KEY, "VXQPRN32.DRV", &dwType), std::string("\x0B\x00", 2));
  EXPECT_EQ(dwType, static_cast<DWORD>(REG_BINARY));
  EXPECT_EQ(SetupString("SourcePathBak"), kFormerSource);
  EXPECT_EQ(SetupString("SourcePath"), "D:\\RT2210\\WIN98");
  std::string trace = Trace();
  EXPECT_NE(trace.find("Cmd=`257' Param=`D:\\RT2210\\WIN98'\n"
                       "enter: MarkDLLs()\n"
                       "   Marking: vxqprn32.drv\n"
                       "SetPrevSrcDir() to C:\\WINDOWS\\OPTIONS\\CABS\n"
                       "enter: SetWIN95SourceDir(D:\\RT2210\\WIN98)\n"
                       "finished: MarkDLLs()\n"),
            std::string::npos)
      << trace;
}

TEST_F(OemCommandTest, RestoreAfterMarkPutsTheFormerSourceBack) {
  EXPECT_EQ(Run("257 D:\\RT2210"), 0);
  EXPECT_EQ(Run("258"), 0);
  EXPECT_EQ(SetupString("SourcePath"), kFormerSource);
  EXPECT_EQ(SetupString("SourcePathBak"), "<absent>");
}

TEST_F(OemCommandTest, MarkingTwiceBacksUpTheFirstRunsDirectory) {
  EXPECT_EQ(Run("257 D:\\FIRST"), 0);
  EXPECT_EQ(Run("257 E:\\SECOND"), 0);
  EXPECT_EQ(SetupString("SourcePathBak"), "D:\\FIRST");
  EXPECT_EQ(Run("258 ignored"), 0);
  EXPECT_EQ(SetupString("SourcePath"), "D:\\FIRST");
}

TEST_F(OemCommandTest, RestoreAloneChangesNothing) {
  EXPECT_EQ(Run("258"), 0);
  EXPECT_EQ(SetupString("SourcePath"), kFormerSource);
  EXPECT_EQ(SetupString("SourcePathBak"), "<absent>");
  EXPECT_NE(Trace().find("enter: SetWIN95SourceDir()\n"), std::string::npos);
}

TEST_F(OemCommandTest, AbsentSourcePathIsBackedUpEmptyAndRestoreKeepsTheNewOne) {
  DeleteSetupValue("SourcePath");
  EXPECT_EQ(Run("257 D:\\NEW"), 0);
  EXPECT_EQ(Value(QZ_SETUP_KEY, "SourcePathBak"), std::string(1, '\0'));
  EXPECT_EQ(Run("258"), 0);
  EXPECT_EQ(SetupString("SourcePathBak"), "<absent>");
  EXPECT_EQ(SetupString("SourcePath"), "D:\\NEW");
}

TEST_F(OemCommandTest, SourcePathOfAnyLengthIsBackedUpAndRestoredWhole) {
  // Filling a 260-byte buffer, one byte past it, and far past it.
  for (size_t length : {259u, 260u, 5000u}) {
    std::string path = "C:\\" + std::string(length - 3, 'L');
    SetSetupString("SourcePath", path);
    Trace();
    EXPECT_EQ(Run("257 D:\\RT2210"), 0) << length;
    EXPECT_EQ(SetupString("SourcePathBak"), path) << length;
    EXPECT_EQ(SetupString("SourcePath"), "D:\\RT2210") << length;
    std::string trace = Trace();
    EXPECT_NE(trace.find("   Marking: vxqprn32.drv\nSetPrevSrcDir() to " + path +
                         "\nenter: SetWIN95SourceDir(D:\\RT2210)\nfinished: MarkDLLs()\n"),
              std::string::npos)
        << length;
    EXPECT_EQ(Run("258"), 0) << length;
    EXPECT_EQ(SetupString("SourcePath"), path) << length;
    EXPECT_EQ(SetupString("SourcePathBak"), "<absent>") << length;
    EXPECT_NE(Trace().find("enter: SetWIN95SourceDir(" + path + ")\n"), std::string::npos);
  }
}

TEST_F(OemCommandTest, LongBackupLeftByAnotherRunIsRestoredWhole) {
  std::string path = "E:\\" + std::string(400, 'B');
  SetSetupString("SourcePathBak", path);
  EXPECT_EQ(Run("258"), 0);
  EXPECT_EQ(SetupString("SourcePath"), path);
  EXPECT_EQ(SetupString("SourcePathBak"), "<absent>");
}

TEST_F(OemCommandTest, OneMarkingKeyMissingStillMarksTheOther) {
  qzhost::FailCall("RegOpenKeyExA", ERROR_FILE_NOT_FOUND);  // Known16DLLs
  EXPECT_EQ(Run("257 D:\\A"), 0);
  EXPECT_EQ(Value(QZ_KNOWN16DLLS_KEY, "vxqprn32.drv"), "<absent>");
  EXPECT_EQ(Value(QZ_INSTALLEDFILES_KEY, "vxqprn32.drv"), std::string("\x0B\x00", 2));

  ASSERT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, QZ_INSTALLEDFILES_KEY), ERROR_SUCCESS);
  EXPECT_EQ(Run("257 D:\\B"), 0);
  EXPECT_EQ(Value(QZ_KNOWN16DLLS_KEY, "vxqprn32.drv"), std::string("vxqprn32.drv", 13));
  EXPECT_EQ(Value(QZ_INSTALLEDFILES_KEY, "vxqprn32.drv"), "<no key>");
  EXPECT_EQ(SetupString("SourcePath"), "D:\\B");
}

TEST_F(OemCommandTest, NeitherMarkingKeyFailsBeforeTouchingTheSource) {
  ASSERT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, QZ_INSTALLEDFILES_KEY), ERROR_SUCCESS);
  qzhost::FailCall("RegOpenKeyExA", ERROR_ACCESS_DENIED);  // Known16DLLs
  EXPECT_EQ(Run("257 D:\\RT2210"), 1024);
  std::string trace = Trace();
  EXPECT_NE(trace.find("enter: MarkDLLs()\nDeInitInstance()\n"), std::string::npos) << trace;
  EXPECT_EQ(SetupString("SourcePath"), kFormerSource);
  EXPECT_EQ(SetupString("SourcePathBak"), "<absent>");
}

TEST_F(OemCommandTest, SetupKeyNotWritableFailsAfterItsTraceAndKeepsTheMarks) {
  // Call 4 opens the setup key for the backup: without a backup the path is
  // not switched.
  qzhost::FailCall("RegOpenKeyExA", ERROR_ACCESS_DENIED, 1, 3);
  EXPECT_EQ(Run("257 D:\\RT2210"), 1024);
  std::string trace = Trace();
  EXPECT_NE(trace.find("   Marking: vxqprn32.drv\n"
                       "SetPrevSrcDir() failed: hkPath not opened\n"
                       "finished: MarkDLLs()\n"),
            std::string::npos)
      << trace;
  EXPECT_EQ(trace.find("SetWIN95SourceDir"), std::string::npos) << trace;
  EXPECT_EQ(Value(QZ_KNOWN16DLLS_KEY, "vxqprn32.drv"), std::string("vxqprn32.drv", 13));
  EXPECT_EQ(Value(QZ_INSTALLEDFILES_KEY, "vxqprn32.drv"), std::string("\x0B\x00", 2));
  EXPECT_EQ(SetupString("SourcePath"), kFormerSource);
  EXPECT_EQ(SetupString("SourcePathBak"), "<absent>");

  // Call 5 opens it to set the new directory: the backup is made, the result
  // says the source was not switched.
  qzhost::FailCall("RegOpenKeyExA", ERROR_ACCESS_DENIED, 1, 4);
  EXPECT_EQ(Run("257 D:\\RT2210"), 1024);
  EXPECT_NE(Trace().find("enter: SetWIN95SourceDir(D:\\RT2210)\n"
                         "SetWIN95SourceDir() failed: hkPath not opened\n"),
            std::string::npos);
  EXPECT_EQ(SetupString("SourcePathBak"), kFormerSource);
  EXPECT_EQ(SetupString("SourcePath"), kFormerSource);

  // Only the new directory refused (the fourth value written): the same.
  DeleteSetupValue("SourcePathBak");
  qzhost::FailCall("RegSetValueExA", ERROR_ACCESS_DENIED, 1, 3);
  EXPECT_EQ(Run("257 D:\\RT2210"), 1024);
  EXPECT_EQ(SetupString("SourcePathBak"), kFormerSource);
  EXPECT_EQ(SetupString("SourcePath"), kFormerSource);
}

TEST_F(OemCommandTest, OldPathThatCannotBeReadOrSavedSwitchesNothing) {
  struct Case {
    const char* api;
    DWORD error;
    int skip;
    bool backupTried;
    const char* what;
  };
  const Case cases[] = {
      {"RegQueryValueExA", ERROR_CANTREAD, 0, false, "SourcePath unreadable"},
      {"RegOpenKeyExA", ERROR_ACCESS_DENIED, 2, false, "setup key not opened to be read"},
      {"RegSetValueExA", ERROR_CANTWRITE, 2, true, "backup not written"},
  };
  for (const Case& c : cases) {
    SetSetupString("SourcePath", kFormerSource);
    SetSetupString("SourcePathBak", "D:\\EARLIER");
    Trace();
    qzhost::FailCall(c.api, c.error, 1, c.skip);
    EXPECT_EQ(Run("257 D:\\RT2210"), 1024) << c.what;
    std::string trace = Trace();
    EXPECT_EQ(trace.find("SetPrevSrcDir() to") != std::string::npos, c.backupTried) << c.what;
    EXPECT_EQ(trace.find("SetWIN95SourceDir"), std::string::npos) << c.what << trace;
    EXPECT_EQ(SetupString("SourcePath"), kFormerSource) << c.what;
    EXPECT_EQ(SetupString("SourcePathBak"), "D:\\EARLIER") << c.what;
  }
}

TEST_F(OemCommandTest, BackupThatCannotBePutBackFailsAndStays) {
  SetSetupString("SourcePathBak", "D:\\OLD");
  qzhost::FailCall("RegOpenKeyExA", ERROR_ACCESS_DENIED);  // the key, to read and delete
  EXPECT_EQ(Run("258"), 1024);
  EXPECT_NE(Trace().find("enter: SetWIN95SourceDir()\n"), std::string::npos);
  EXPECT_EQ(SetupString("SourcePath"), kFormerSource);
  EXPECT_EQ(SetupString("SourcePathBak"), "D:\\OLD");

  qzhost::FailCall("RegOpenKeyExA", ERROR_ACCESS_DENIED, 1, 1);  // the key, to set
  EXPECT_EQ(Run("258"), 1024);
  EXPECT_NE(Trace().find("enter: SetWIN95SourceDir(D:\\OLD)\n"
                         "SetWIN95SourceDir() failed: hkPath not opened\n"),
            std::string::npos);
  EXPECT_EQ(SetupString("SourcePath"), kFormerSource);
  EXPECT_EQ(SetupString("SourcePathBak"), "D:\\OLD");

  qzhost::FailCall("RegSetValueExA", ERROR_CANTWRITE);
  EXPECT_EQ(Run("258"), 1024);
  EXPECT_EQ(SetupString("SourcePathBak"), "D:\\OLD");

  qzhost::FailCall("RegQueryValueExA", ERROR_CANTREAD);
  EXPECT_EQ(Run("258"), 1024);
  EXPECT_EQ(SetupString("SourcePath"), kFormerSource);
  EXPECT_EQ(SetupString("SourcePathBak"), "D:\\OLD");

  EXPECT_EQ(Run("258"), 0);  // the next try puts it back
  EXPECT_EQ(SetupString("SourcePath"), "D:\\OLD");
  EXPECT_EQ(SetupString("SourcePathBak"), "<absent>");
}

TEST_F(OemCommandTest, RestoreWithoutABackupSucceedsEvenOnAClosedKey) {
  qzhost::FailCall("RegOpenKeyExA", ERROR_ACCESS_DENIED);
  EXPECT_EQ(Run("258"), 0);
  ASSERT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, QZ_SETUP_KEY), ERROR_SUCCESS);
  EXPECT_EQ(Run("258"), 0);
  EXPECT_EQ(SetupString("SourcePath"), "<no key>");
}

TEST_F(OemCommandTest, ShortDirectoryLeavesTheSourceButBacksUp) {
  for (const char* text : {"257", "257 D"}) {
    DeleteSetupValue("SourcePathBak");
    EXPECT_EQ(Run(text), 0) << text;
    EXPECT_EQ(SetupString("SourcePath"), kFormerSource) << text;
    EXPECT_EQ(SetupString("SourcePathBak"), kFormerSource) << text;
  }
  SetWIN95SourceDir(nullptr);
  EXPECT_NE(Trace().find("enter: SetWIN95SourceDir((null))\n"), std::string::npos);
  EXPECT_EQ(SetupString("SourcePath"), kFormerSource);
}

TEST_F(OemCommandTest, HugeDirectoryNeverCrashes) {
  // Past the 16,300 bytes a Windows 98 value may hold: not switched.
  std::string huge(100000, 'H');
  EXPECT_EQ(Run("257 " + huge), 1024);
  EXPECT_EQ(SetupString("SourcePathBak"), kFormerSource);
  EXPECT_EQ(SetupString("SourcePath"), kFormerSource);
  EXPECT_EQ(Run("258"), 0);
  EXPECT_EQ(SetupString("SourcePath"), kFormerSource);
}

}  // namespace

namespace {

// Only the setup key's opening to read "SourcePath" fails (the third
// RegOpenKeyExA, after the two marking keys): what the old path was is not
// known, so neither the backup nor the path may change, and the result says
// the source was not switched. The marks stay.
TEST_F(OemCommandTest, SetupKeyThatDoesNotOpenToBeReadSwitchesNothing) {
  for (bool earlierBackup : {true, false}) {
    if (earlierBackup)
      SetSetupString("SourcePathBak", "D:\\EARLIER");
    else
      DeleteSetupValue("SourcePathBak");
    qzhost::FailCall("RegOpenKeyExA", ERROR_ACCESS_DENIED, 1, 2);
    EXPECT_EQ(Run("257 D:\\RT2210"), 1024) << earlierBackup;
    EXPECT_EQ(SetupString("SourcePath"), kFormerSource) << earlierBackup;
    EXPECT_EQ(SetupString("SourcePathBak"), earlierBackup ? "D:\\EARLIER" : "<absent>");
    EXPECT_EQ(Value(QZ_KNOWN16DLLS_KEY, "vxqprn32.drv"), std::string("vxqprn32.drv", 13));
    EXPECT_EQ(Value(QZ_INSTALLEDFILES_KEY, "vxqprn32.drv"), std::string("\x0B\x00", 2));
    // 258 afterwards puts back only a backup that was there before.
    EXPECT_EQ(Run("258"), 0) << earlierBackup;
    EXPECT_EQ(SetupString("SourcePath"), earlierBackup ? "D:\\EARLIER" : kFormerSource);
    EXPECT_EQ(SetupString("SourcePathBak"), "<absent>");
    SetSetupString("SourcePath", kFormerSource);
  }
}

}  // namespace
