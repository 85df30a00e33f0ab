// Windows path rules, checked without a machine.
#include "platform/host/machine/winpath.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using qzhost::ParseWindowsPath;
using qzhost::WinPath;

// The resolved names joined with '\', or "error N".
std::string Parsed(const std::string& path, unsigned codePage = 1252) {
  WinPath win;
  if (uint32_t error = ParseWindowsPath(path, codePage, &win))
    return "error " + std::to_string(error);
  std::string out = win.drive ? std::string(1, win.drive) + ":" : std::string();
  for (const std::string& name : win.names) out += "\\" + name;
  return win.device.empty() ? out : out + " device " + win.device;
}

TEST(WinPathTest, CharactersNotAllowedInANameGiveInvalidName) {
  for (const char* bad : {"?", "*", "<", ">", "|", "\"", ":"})
    EXPECT_EQ(Parsed(std::string("C:\\SETUP\\A") + bad + "B.INI"), "error 123") << bad;
  for (char control = 1; control < 0x20; ++control)
    EXPECT_EQ(Parsed(std::string("C:\\A") + control + ".INI"), "error 123") << int{control};
  EXPECT_EQ(Parsed(""), "error 123");
  // Allowed: blanks inside, '+', ',', ';', '=', '[', ']', bytes from 0x80 on.
  EXPECT_EQ(Parsed("C:\\My Setup\\a+b,c;d=e[f].ini"), "C:\\My Setup\\a+b,c;d=e[f].ini");
  EXPECT_EQ(Parsed("C:\\\xC4\xA0\xFF.INI"), "C:\\\xC4\xA0\xFF.INI");
}

TEST(WinPathTest, TrailingDotsAndSpacesOfEachNameAreDropped) {
  EXPECT_EQ(Parsed("C:\\SETUP\\RT2210.INI."), "C:\\SETUP\\RT2210.INI");
  EXPECT_EQ(Parsed("C:\\SETUP. .\\RT2210.INI . "), "C:\\SETUP\\RT2210.INI");
  EXPECT_EQ(Parsed("C:\\ SETUP\\.RT"), "C:\\ SETUP\\.RT");  // leading ones stay
  EXPECT_EQ(Parsed("C:\\SETUP\\...\\X"), "C:\\SETUP\\X");   // nothing left: no name
}

TEST(WinPathTest, DotsResolveAndNeverLeaveTheDrivesRoot) {
  EXPECT_EQ(Parsed("C:\\SETUP\\..\\SETUP\\.\\RT2210.INI"), "C:\\SETUP\\RT2210.INI");
  EXPECT_EQ(Parsed("C:\\..\\..\\SETUP\\RT2210.INI"), "C:\\SETUP\\RT2210.INI");
  EXPECT_EQ(Parsed("C:/SETUP//X.INI"), "C:\\SETUP\\X.INI");
  EXPECT_EQ(Parsed("SETUP\\..\\..\\X.INI"), "\\..\\X.INI");  // relative: the caller goes up
}

TEST(WinPathTest, DeviceNamesAreDevicesInAnyFolderWithAnyExtension) {
  for (const char* name : {"CON", "prn", "Aux", "NUL", "COM1", "com9", "LPT1", "lpt9"}) {
    std::string upper = Parsed(std::string("C:\\SETUP\\") + name + ".INI");
    EXPECT_NE(upper.find(" device "), std::string::npos) << name;
  }
  EXPECT_EQ(Parsed("NUL"), "\\NUL device NUL");
  EXPECT_EQ(Parsed("C:\\X\\nul .txt"), "C:\\X\\nul .txt device NUL");
  EXPECT_EQ(Parsed("COM1:"), "\\COM1: device COM1");
  for (const char* name : {"COM0", "LPT10", "CONSOLE", "NULL.INI", "AUXX", "COM"})
    EXPECT_EQ(Parsed(std::string("C:\\") + name).find(" device "), std::string::npos) << name;
  EXPECT_EQ(Parsed("C:\\NUL\\X.INI"), "C:\\NUL\\X.INI");  // only the last name counts
}

TEST(WinPathTest, NetworkPathsAreUnreachable) {
  EXPECT_EQ(Parsed("\\\\server\\share\\X.INI"), "error 53");
  EXPECT_EQ(Parsed("//server/share/X.INI"), "error 53");
}

TEST(WinPathTest, ADoubleByteCharacterIsOneCharacterOnCodePage932) {
  // 0x95 0x5C and 0x83 0x7C are characters whose second byte is '\' or '|'.
  EXPECT_EQ(Parsed("C:\\\x95\x5C\\X.INI", 932), "C:\\\x95\x5C\\X.INI");
  EXPECT_EQ(Parsed("C:\\\x83\x7C.INI", 932), "C:\\\x83\x7C.INI");
  EXPECT_EQ(Parsed("C:\\\x95\x5C.\\X.INI", 932), "C:\\\x95\x5C\\X.INI");
  // The same bytes on 1252 are two characters.
  EXPECT_EQ(Parsed("C:\\\x95\x5C\\X.INI", 1252), "C:\\\x95\\X.INI");
  EXPECT_EQ(Parsed("C:\\\x83\x7C.INI", 1252), "error 123");
}

}  // namespace
