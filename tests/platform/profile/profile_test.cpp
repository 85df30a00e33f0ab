// The profile calls of the emulated machine, checked against Windows' answers.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/host/profile/profilecache.h"
#include "tests/support/machine_test.h"

namespace {

const char kSample[] =
    "[section1]\r\nname1=val1\r\nname2=\"val2\"\r\nname3\r\nname4=a\r\n"
    "[section2]\r\n; comment=not a key\r\nlong=1.2.3.4\r\nempty=\r\n";

class ProfileTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    ini_ = WriteRootFile("test.ini", kSample);
  }
  // Reads with the default "default" into a buffer of nSize.
  std::string Get(const char* section, const char* key, DWORD nSize = 200,
                  const char* def = "default") {
    char buffer[512];
    memset(buffer, 0x0c, sizeof buffer);
    last_ = GetPrivateProfileStringA(section, key, def, buffer, nSize, ini_.c_str());
    return std::string(buffer, last_);
  }
  // Names in the machine root other than the profile and the machine's own.
  std::vector<std::string> StrayFiles() const {
    std::vector<std::string> strays;
    DIR* dir = opendir(root_.c_str());
    while (struct dirent* entry = dir != nullptr ? readdir(dir) : nullptr) {
      const std::string name = entry->d_name;
      if (name != "." && name != ".." && name != "test.ini" && name != "drive_c" &&
          name != "machine.ini" && name != "instance.lock" && name.compare(0, 8, "registry") != 0) {
        strays.push_back(name);
      }
    }
    if (dir != nullptr) closedir(dir);
    return strays;
  }
  std::string ini_;
  DWORD last_ = 0;
};

TEST_F(ProfileTest, ValuesAsWindowsReturnsThem) {
  EXPECT_EQ(Get("SECTION1", "NaMe1"), "val1");
  EXPECT_EQ(last_, 4u);
  EXPECT_EQ(Get("section1", "name2"), "val2");     // quotes removed
  EXPECT_EQ(Get("section1", "name3"), "default");  // no '=', no key
  EXPECT_EQ(Get("section2", "; comment"), "default");
  EXPECT_EQ(Get("section2", "empty"), "");
  EXPECT_EQ(last_, 0u);
  EXPECT_EQ(Get("nosection", "name1"), "default");
  EXPECT_EQ(Get("section1", "nokey", 200, "one two  "), "one two");  // default's blanks go
  EXPECT_EQ(Get("section1", "nokey", 200, nullptr), "");
}

TEST_F(ProfileTest, ValuesAreCutToTheBufferLessOne) {
  EXPECT_EQ(Get("section2", "long", 4), "1.2");
  EXPECT_EQ(last_, 3u);
  EXPECT_EQ(Get("section1", "name1", 5), "val1");
  EXPECT_EQ(Get("section1", "name4", 1), "");
  EXPECT_EQ(Get("section1", "nokey", 4), "def");
  char buffer[8] = "kumquat";
  EXPECT_EQ(GetPrivateProfileStringA("section1", "name1", "d", buffer, 0, ini_.c_str()), 0u);
  EXPECT_STREQ(buffer, "kumquat");  // nSize 0 writes nothing
}

TEST_F(ProfileTest, NullKeyListsKeysAndNullSectionListsSections) {
  char buffer[64];
  memset(buffer, 0x0c, sizeof buffer);
  DWORD n = GetPrivateProfileStringA("section1", nullptr, "", buffer, sizeof buffer, ini_.c_str());
  EXPECT_EQ(n, 18u);
  EXPECT_EQ(std::string(buffer, n + 1), std::string("name1\0name2\0name4\0\0", 19));
  memset(buffer, 0x0c, sizeof buffer);
  n = GetPrivateProfileStringA("section1", nullptr, "", buffer, 16, ini_.c_str());
  EXPECT_EQ(n, 14u);  // cut lists return nSize-2 and end in two NULs
  EXPECT_EQ(std::string(buffer, 16), std::string("name1\0name2\0na\0\0", 16));
  n = GetPrivateProfileStringA(nullptr, "ignored", "", buffer, sizeof buffer, ini_.c_str());
  EXPECT_EQ(std::string(buffer, n + 1), std::string("section1\0section2\0\0", 19));
}

TEST_F(ProfileTest, IntegersReadAsWindows98Does) {
  WriteRootFile("int.ini", "[s]\nn=42A9\nb=B42\nplus=+1\nneg=-5\nempty=\n");
  std::string path = root_ + "/int.ini";
  EXPECT_EQ(GetPrivateProfileIntA("s", "n", 7, path.c_str()), 42u);
  EXPECT_EQ(GetPrivateProfileIntA("s", "b", 7, path.c_str()), 0u);
  EXPECT_EQ(GetPrivateProfileIntA("s", "plus", 7, path.c_str()), 0u);
  EXPECT_EQ(GetPrivateProfileIntA("s", "neg", 7, path.c_str()), static_cast<UINT>(-5));
  EXPECT_EQ(GetPrivateProfileIntA("s", "empty", 7, path.c_str()), 7u);
  EXPECT_EQ(GetPrivateProfileIntA("s", "missing", -1, path.c_str()), 4294967295u);
}

TEST_F(ProfileTest, BareNamesLiveInTheWindowsDirectoryAndMatchWithoutCase) {
  EXPECT_TRUE(WritePrivateProfileStringA("App", "key", "string", "Setup.Ini"));
  EXPECT_EQ(ReadRootFile("drive_c/WINDOWS/Setup.Ini"), "[App]\r\nkey=string\r\n");
  char buffer[32];
  EXPECT_EQ(
      GetPrivateProfileStringA("app", "KEY", "", buffer, sizeof buffer, "c:\\windows\\SETUP.INI"),
      6u);
  EXPECT_EQ(GetProfileStringA("ports", "com1:", "", buffer, sizeof buffer), 12u);
  EXPECT_STREQ(buffer, "9600,n,8,1,x");
}

TEST_F(ProfileTest, RelativeNamesWithAFolderUseTheCurrentDirectory) {
  ASSERT_EQ(mkdir((root_ + "/sub").c_str(), 0700), 0);
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(chdir(root_.c_str()), 0);
  BOOL ok = WritePrivateProfileStringA("s", "k", "v", "sub\\rel.ini");
  ASSERT_EQ(chdir(cwd), 0);
  EXPECT_TRUE(ok);
  EXPECT_EQ(ReadRootFile("sub/rel.ini"), "[s]\r\nk=v\r\n");
}

TEST_F(ProfileTest, WritesFollowWindowsRules) {
  std::string path = root_ + "/w.ini";
  const char* file = path.c_str();
  EXPECT_TRUE(WritePrivateProfileStringA("App1", "key1", "string1", file));
  EXPECT_TRUE(WritePrivateProfileStringA("App1", "key2", "string2", file));
  EXPECT_TRUE(WritePrivateProfileStringA("App2", "key3", "", file));
  EXPECT_EQ(ReadRootFile("w.ini"), "[App1]\r\nkey1=string1\r\nkey2=string2\r\n[App2]\r\nkey3=\r\n");
  EXPECT_TRUE(WritePrivateProfileStringA("app1", "KEY1", nullptr, file));     // deletes the key
  EXPECT_TRUE(WritePrivateProfileStringA("app1", "gone", nullptr, file));     // nothing to delete
  EXPECT_TRUE(WritePrivateProfileStringA("App2", nullptr, "ignored", file));  // the section
  EXPECT_EQ(ReadRootFile("w.ini"), "[App1]\r\nkey2=string2\r\n");

  SetLastError(0xdeadbeef);
  EXPECT_FALSE(WritePrivateProfileStringA(nullptr, "key", "string", file));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(WritePrivateProfileStringA("App", "key", "string", ""));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(WritePrivateProfileStringA(nullptr, nullptr, nullptr, file));  // the flush: 0
  EXPECT_FALSE(WriteProfileStringA(nullptr, nullptr, nullptr));
}

TEST_F(ProfileTest, WritesKeepCommentsOtherKeysAndTheFilesLineEnds) {
  std::string path = WriteRootFile("keep.ini", "; setup\n[Config]\nA=1\n\n; b\nServerAddress=x\n");
  EXPECT_TRUE(WritePrivateProfileStringA("Config", "ServerAddress", "10.1.2.3", path.c_str()));
  EXPECT_TRUE(WritePrivateProfileStringA("Config", "New", "n", path.c_str()));
  EXPECT_EQ(ReadRootFile("keep.ini"),
            "; setup\n[Config]\nA=1\n\n; b\nServerAddress=10.1.2.3\nNew=n\n");
  EXPECT_TRUE(WritePrivateProfileStringA("section2", "long", "5", ini_.c_str()));
  EXPECT_EQ(ReadRootFile("test.ini"),
            "[section1]\r\nname1=val1\r\nname2=\"val2\"\r\nname3\r\nname4=a\r\n"
            "[section2]\r\n; comment=not a key\r\nlong=5\r\nempty=\r\n");
}

TEST_F(ProfileTest, ALineBreakInAWrittenValueCannotAddLines) {
  EXPECT_TRUE(WritePrivateProfileStringA("s", "k", "v\r\n[evil]\r\nx=1", ini_.c_str()));
  EXPECT_EQ(Get("s", "k"), "v");
  EXPECT_EQ(Get("evil", "x"), "default");
}

TEST_F(ProfileTest, MissingFolderFailsWithPathNotFound) {
  SetLastError(0);
  EXPECT_FALSE(WritePrivateProfileStringA("s", "k", "v", "C:\\NOFOLDER\\x.ini"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_FALSE(WritePrivateProfileStringA("s", "k", "v", "Q:\\x.ini"));  // no such drive
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  ASSERT_EQ(mkdir((root_ + "/drive_c/NOFOLDER").c_str(), 0700), 0);
  EXPECT_TRUE(WritePrivateProfileStringA("s", "k", "v", "C:\\NOFOLDER\\x.ini"));
}

TEST_F(ProfileTest, AFailedWriteLeavesTheOldFile) {
  // The file may not grow past 4 KiB: the new text cannot be written.
  struct rlimit old;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  struct rlimit small = old;
  small.rlim_cur = 4096;
  void (*oldHandler)(int) = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  std::string big(8192, 'v');
  BOOL ok = WritePrivateProfileStringA("section1", "name1", big.c_str(), ini_.c_str());
  DWORD error = GetLastError();
  setrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, oldHandler);
  EXPECT_FALSE(ok);
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_DISK_FULL));
  EXPECT_EQ(ReadRootFile("test.ini"), kSample);
  EXPECT_EQ(Get("section1", "name1"), "val1");
  EXPECT_EQ(StrayFiles(), std::vector<std::string>()) << "the temporary file stays behind";
}

// Makes a folder read-only for this process, root included: root writes
// through modes, so it gets a read-only bind mount of the folder over itself;
// anyone else gets mode 0500. `how` is empty where neither holds.
class ReadOnlyFolder {
 public:
  explicit ReadOnlyFolder(const std::string& path) : path_(path) {
    if (geteuid() == 0) {
      mounted_ = mount(path.c_str(), path.c_str(), nullptr, MS_BIND, nullptr) == 0;
      if (mounted_ &&
          mount(nullptr, path.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0) {
        how_ = "a read-only bind mount";
      }
    } else if (chmod(path.c_str(), 0500) == 0) {
      how_ = "mode 0500";
    }
    if (!how_.empty() && WritesGoThrough()) how_.clear();
  }
  ~ReadOnlyFolder() {
    if (mounted_) umount2(path_.c_str(), MNT_DETACH);
    if (geteuid() != 0) chmod(path_.c_str(), 0700);
  }
  const std::string& How() const { return how_; }

 private:
  // A file created there after all means the condition does not hold.
  bool WritesGoThrough() const {
    const std::string probe = path_ + "/probe";
    int fd = open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    if (fd < 0) return false;
    close(fd);
    unlink(probe.c_str());
    return true;
  }
  std::string path_;
  std::string how_;
  bool mounted_ = false;
};

TEST_F(ProfileTest, AReadOnlyFolderRefusesTheWriteAndKeepsTheFile) {
  BOOL ok = TRUE;
  DWORD error = 0;
  {
    ReadOnlyFolder readOnly(root_);
    if (readOnly.How().empty()) GTEST_SKIP() << "this process cannot make a folder read-only";
    ok = WritePrivateProfileStringA("section1", "name1", "new", ini_.c_str());
    error = GetLastError();
  }
  EXPECT_FALSE(ok);
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(ReadRootFile("test.ini"), kSample);
  EXPECT_EQ(Get("section1", "name1"), "val1");
  EXPECT_TRUE(WritePrivateProfileStringA("section1", "name1", "new", ini_.c_str()))
      << "writable again";
  EXPECT_EQ(StrayFiles(), std::vector<std::string>());
}

TEST_F(ProfileTest, PipesAndFoldersAreNotReadAsProfiles) {
  std::string fifo = root_ + "/pipe.ini";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  char buffer[16];
  EXPECT_EQ(GetPrivateProfileStringA("s", "k", "dflt", buffer, sizeof buffer, fifo.c_str()), 4u);
  EXPECT_FALSE(WritePrivateProfileStringA("s", "k", "v", root_.c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST_F(ProfileTest, ManyLookupsCostOneParseAndAChangedFileIsReadAgain) {
  unsigned before = qzhost::ProfileParseCount();
  for (int i = 0; i < 20; ++i) EXPECT_EQ(Get("section1", "name1"), "val1");
  EXPECT_EQ(qzhost::ProfileParseCount(), before + 1);
  WriteRootFile("test.ini", "[section1]\nname1=changed by someone else\n");
  EXPECT_EQ(Get("section1", "name1"), "changed by someone else");
  EXPECT_TRUE(WritePrivateProfileStringA("section1", "name1", "ours", ini_.c_str()));
  unsigned afterWrite = qzhost::ProfileParseCount();
  EXPECT_EQ(Get("section1", "name1"), "ours");
  EXPECT_EQ(qzhost::ProfileParseCount(), afterWrite);  // our own write is not read back
  unlink(ini_.c_str());
  EXPECT_EQ(Get("section1", "name1"), "default");
}

TEST_F(ProfileTest, TestControlsMakeTheCallsFail) {
  qzhost::FailCall("GetPrivateProfileStringA", ERROR_ACCESS_DENIED);
  EXPECT_EQ(Get("section1", "name1"), "default");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  qzhost::FailCall("WritePrivateProfileStringA", ERROR_DISK_FULL);
  EXPECT_FALSE(WritePrivateProfileStringA("section1", "name1", "x", ini_.c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
  EXPECT_EQ(ReadRootFile("test.ini"), kSample);
  qzhost::FailCall("GetPrivateProfileIntA", ERROR_ACCESS_DENIED);
  EXPECT_EQ(GetPrivateProfileIntA("section1", "name4", 9, ini_.c_str()), 9u);
  qzhost::FailCall("WriteProfileStringA", ERROR_ACCESS_DENIED);
  EXPECT_FALSE(WriteProfileStringA("Ports", "X:", ""));
  qzhost::FailCall("GetProfileStringA", ERROR_ACCESS_DENIED);
  char buffer[8];
  EXPECT_EQ(GetProfileStringA("Ports", "COM1:", "", buffer, sizeof buffer), 0u);
}

// --- Windows NT: WIN.INI [Ports] is kept in the registry -------------------

// --- how Windows reads and writes the file (Wine's profile tests, run on
// Windows NT-family systems, record each of these) ---------------------------

TEST_F(ProfileTest, ALoneCrEndsALineAsCrLfAndLfDo) {
  std::string path = WriteRootFile("cr.ini", "[a]\rk1=1\rk2=2\r\n[b]\nk3=3\r[c]\rk4=\"4\"\r");
  char buffer[64];
  const char* file = path.c_str();
  EXPECT_EQ(GetPrivateProfileStringA("a", "k1", "", buffer, sizeof buffer, file), 1u);
  EXPECT_STREQ(buffer, "1");
  EXPECT_EQ(GetPrivateProfileStringA("a", "k2", "", buffer, sizeof buffer, file), 1u);
  EXPECT_EQ(GetPrivateProfileStringA("b", "k3", "", buffer, sizeof buffer, file), 1u);
  EXPECT_EQ(GetPrivateProfileStringA("c", "k4", "", buffer, sizeof buffer, file), 1u);
  EXPECT_STREQ(buffer, "4");
  DWORD n = GetPrivateProfileStringA(nullptr, nullptr, "", buffer, sizeof buffer, file);
  EXPECT_EQ(std::string(buffer, n), std::string("a\0b\0c\0", 6));
  // Edits keep the lone CRs and put the new key on a line of its own.
  EXPECT_TRUE(WritePrivateProfileStringA("a", "k1", "one", file));
  EXPECT_TRUE(WritePrivateProfileStringA("a", "k5", "5", file));
  EXPECT_TRUE(WritePrivateProfileStringA("c", "k4", nullptr, file));
  EXPECT_EQ(ReadRootFile("cr.ini"), "[a]\rk1=one\rk2=2\r\nk5=5\r\n[b]\nk3=3\r[c]\r");
}

TEST_F(ProfileTest, AHeaderEndsAtItsFirstBracket) {
  std::string path = WriteRootFile("hdr.ini", "[a]b]\nk=1\n[ c ] ]x\nk=2\n[d\nk=3\n");
  char buffer[64];
  const char* file = path.c_str();
  DWORD n = GetPrivateProfileStringA(nullptr, nullptr, "", buffer, sizeof buffer, file);
  EXPECT_EQ(std::string(buffer, n), std::string("a\0c\0d\0", 6));
  EXPECT_EQ(GetPrivateProfileStringA("a", "k", "", buffer, sizeof buffer, file), 1u);
  EXPECT_EQ(GetPrivateProfileStringA("a]b", "k", "none", buffer, sizeof buffer, file), 4u);
  EXPECT_EQ(GetPrivateProfileStringA("c", "k", "", buffer, sizeof buffer, file), 1u);
  EXPECT_STREQ(buffer, "2");
}

TEST_F(ProfileTest, CallersNamesLoseSpacesButKeepTabsAndTheDefaultKeepsATrailingTab) {
  // Spaces around the names a caller passes go; tabs stay, so a name with a
  // tab is another name than the one in the file.
  EXPECT_EQ(Get("  section1 ", " name1  "), "val1");
  EXPECT_EQ(Get("\tsection1", "name1"), "default");
  EXPECT_EQ(Get("section1", "name1\t"), "default");
  EXPECT_EQ(Get("section1", "nokey", 200, "d  "), "d");
  EXPECT_EQ(Get("section1", "nokey", 200, "d\t"), "d\t");
  EXPECT_EQ(Get("section1", "nokey", 200, "d\t "), "d\t");
  std::string path = root_ + "/tab.ini";
  EXPECT_TRUE(WritePrivateProfileStringA(" App ", " Key ", "v", path.c_str()));
  EXPECT_EQ(ReadRootFile("tab.ini"), "[App]\r\nKey=v\r\n");
  EXPECT_TRUE(WritePrivateProfileStringA("App", "Key\t", "w", path.c_str()));
  EXPECT_EQ(ReadRootFile("tab.ini"), "[App]\r\nKey=v\r\nKey\t=w\r\n");
}

TEST_F(ProfileTest, ListingSectionsNamesEveryHeaderAgain) {
  std::string path = WriteRootFile("dup.ini", "[One]\nk=1\n[two]\n[ONE]\nk=2\n[Two]\n[one]\n");
  char buffer[64];
  DWORD n = GetPrivateProfileStringA(nullptr, nullptr, "", buffer, sizeof buffer, path.c_str());
  EXPECT_EQ(std::string(buffer, n + 1), std::string("One\0two\0ONE\0Two\0one\0\0", 21));
  // The first section of a name still answers for it.
  EXPECT_EQ(GetPrivateProfileStringA("one", "k", "", buffer, sizeof buffer, path.c_str()), 1u);
  EXPECT_STREQ(buffer, "1");
}

TEST_F(ProfileTest, DeletingASectionKeepsItsCommentLines) {
  std::string path = WriteRootFile(
      "del.ini",
      "[keep]\r\na=1\r\n[gone]\r\n; about b\r\nb=2\r\n\r\n;c=3\r\nnoequals\r\n[keep2]\r\n");
  EXPECT_TRUE(WritePrivateProfileStringA("GONE", nullptr, nullptr, path.c_str()));
  EXPECT_EQ(ReadRootFile("del.ini"), "[keep]\r\na=1\r\n; about b\r\n;c=3\r\n[keep2]\r\n");
}

TEST_F(ProfileTest, DeletingAKeyOfAFileThatIsNotThereLeavesAnEmptyFile) {
  std::string path = root_ + "/new.ini";
  SetLastError(0xdeadbeef);
  EXPECT_TRUE(WritePrivateProfileStringA("s", "k", nullptr, path.c_str()));
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 0);
  // A key missing from a file that is there changes nothing.
  EXPECT_TRUE(WritePrivateProfileStringA("section1", "nokey", nullptr, ini_.c_str()));
  EXPECT_EQ(ReadRootFile("test.ini"), kSample);
}

class ProfileNtTest : public ProfileTest {
 protected:
  qzhost::TestMachineOptions Options() const override {
    qzhost::TestMachineOptions options;
    options.os = qzhost::Personality::kWinNT;
    return options;
  }
  std::string PortValue(const char* name) {
    HKEY hk = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows NT\\CurrentVersion\\Ports",
                      0, KEY_READ, &hk) != ERROR_SUCCESS)
      return "<no key>";
    char data[64];
    DWORD cb = sizeof data, type = 0;
    LONG rc = RegQueryValueExA(hk, name, nullptr, &type, reinterpret_cast<LPBYTE>(data), &cb);
    RegCloseKey(hk);
    if (rc != ERROR_SUCCESS) return "<absent>";
    return type == REG_SZ ? std::string(data) : "<not REG_SZ>";
  }
};

TEST_F(ProfileNtTest, PlusSignCountsOnNT) {
  WriteRootFile("int.ini", "[s]\nplus=+1\n");
  EXPECT_EQ(GetPrivateProfileIntA("s", "plus", 7, (root_ + "/int.ini").c_str()), 1u);
}

TEST_F(ProfileNtTest, PortsSectionOfWinIniIsTheRegistrysPortsKey) {
  std::string winIni = ReadRootFile("drive_c/WINDOWS/WIN.INI");
  ASSERT_TRUE(WriteProfileStringA("Ports", "NETPRN1:", ""));
  EXPECT_EQ(PortValue("NETPRN1:"), "");
  ASSERT_TRUE(WriteProfileStringA("ports", "NETPRN2:", "9600"));
  EXPECT_EQ(PortValue("NETPRN2:"), "9600");
  char buffer[512];
  EXPECT_EQ(GetProfileStringA("Ports", "netprn2:", "", buffer, sizeof buffer), 4u);
  EXPECT_STREQ(buffer, "9600");
  EXPECT_EQ(GetProfileStringA("Ports", "NETPRN1:", "", buffer, 4), 0u);
  // A private-profile read of WIN.INI goes the same way.
  EXPECT_EQ(GetPrivateProfileStringA("Ports", "NETPRN2:", "", buffer, sizeof buffer, "win.ini"),
            4u);
  DWORD n = GetProfileStringA("Ports", nullptr, "", buffer, sizeof buffer);
  std::string list(buffer, n);
  EXPECT_NE(list.find(std::string("NETPRN1:\0", 9)), std::string::npos);
  EXPECT_NE(list.find(std::string("NETPRN2:\0", 9)), std::string::npos);
  ASSERT_TRUE(WriteProfileStringA("Ports", "NETPRN1:", nullptr));
  EXPECT_EQ(PortValue("NETPRN1:"), "<absent>");
  EXPECT_EQ(ReadRootFile("drive_c/WINDOWS/WIN.INI"), winIni);  // the file is not touched
}

TEST_F(ProfileNtTest, OtherSectionsOfWinIniStayInTheFile) {
  ASSERT_TRUE(WriteProfileStringA("Desktop", "Wallpaper", "clouds.bmp"));
  char buffer[32];
  EXPECT_EQ(GetProfileStringA("desktop", "wallpaper", "", buffer, sizeof buffer), 10u);
  EXPECT_NE(ReadRootFile("drive_c/WINDOWS/WIN.INI").find("Wallpaper=clouds.bmp"),
            std::string::npos);
}

}  // namespace
