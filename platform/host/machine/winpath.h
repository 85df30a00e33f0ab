// Windows path rules as plain functions of the code page: what a Win32 file
// call makes of a path before it reaches a file system.
//
// Facts followed (Microsoft, "Naming Files, Paths, and Namespaces"; Wine's
// path tests): `< > : " / \ | ? *` and the characters 1-31 are not allowed in
// a name (ERROR_INVALID_NAME, 123); each name loses its trailing dots and
// spaces; `.` and `..` are resolved, `..` at the root staying there; CON,
// PRN, AUX, NUL, COM1-COM9 and LPT1-LPT9 name devices in any folder, with or
// without an extension; `\\server\share` is a network path. A double-byte
// character is one character: its second byte is never a separator.
#ifndef QZINST32_PLATFORM_HOST_WINPATH_H_
#define QZINST32_PLATFORM_HOST_WINPATH_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qzhost {

struct WinPath {
  char drive = 0;         // upper-case drive letter; 0 when relative to the current folder
  bool bareName = false;  // one name without drive or folder (profile calls look in C:\WINDOWS)
  std::vector<std::string> names;  // resolved, without dots and spaces at their ends
  std::string device;              // "NUL", "COM1" ... when the path names a device; else empty
};

// 0 with *out filled, else the Win32 error a file call gives for the path:
// ERROR_INVALID_NAME (123) for a character not allowed in a name or an empty
// path, ERROR_BAD_NETPATH (53) for a UNC path (the emulated machine is on no
// network). `..` of a relative path is kept in out->names for the caller
// to resolve against the current folder.
uint32_t ParseWindowsPath(std::string_view path, unsigned codePage, WinPath* out);

// "NUL", "COM3" ... when the name (its extension and trailing spaces left
// out) is a device name, compared without regard to case; else empty.
std::string DeviceNameOf(std::string_view name);

}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_WINPATH_H_
