// Profile calls: GetPrivateProfileStringA and friends over the machine's files.
//
// File names resolve as Windows resolves them (a bare name in the Windows
// directory, C:\ in the machine's drive, Unix paths as they are); reading
// follows IniFile's rules; every write replaces the file atomically. On the
// NT personality WIN.INI's [Ports] lives in the registry, as IniFileMapping
// puts it there on Windows NT.
#include "platform/host/profile/profile.h"

#include <errno.h>
#include <strings.h>

#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "platform/host/machine/failedcall.h"
#include "platform/host/machine/machine.h"
#include "platform/host/machine/testctl.h"
#include "platform/host/profile/inifile.h"
#include "platform/host/profile/profilecache.h"
#include "platform/host/profile/profilerecord.h"
#include "platform/win32.h"

namespace qzhost {
namespace {

const char kWinIni[] = "C:\\WINDOWS\\WIN.INI";
const char kPortsSection[] = "Ports";
const char kPortsKey[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Ports";
const DWORD kErrorFilenameExcedRange = 206;

// The Win32 error for an errno value met while reading or writing a file.
DWORD Win32ErrorOf(int error, DWORD fallback) {
  static const struct {
    int error;
    DWORD win32;
  } kTable[] = {
      {EPERM, ERROR_ACCESS_DENIED},
      {ENOENT, ERROR_PATH_NOT_FOUND},
      {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},
      {EACCES, ERROR_ACCESS_DENIED},
      {ENOTDIR, ERROR_PATH_NOT_FOUND},
      {EISDIR, ERROR_ACCESS_DENIED},
      {ETXTBSY, ERROR_ACCESS_DENIED},
      {EFBIG, ERROR_NOT_ENOUGH_MEMORY},
      {ENOSPC, ERROR_DISK_FULL},
      {EROFS, ERROR_ACCESS_DENIED},
      {ENAMETOOLONG, kErrorFilenameExcedRange},
      {EDQUOT, ERROR_DISK_FULL},
  };
  for (const auto& row : kTable)
    if (row.error == error) return row.win32;
  return fallback;
}

// Where a profile file name leads: a host file, a device, or the Win32
// error a file call gives for the name.
struct ProfileTarget {
  std::string path;
  std::string device;  // "NUL", "CON", "COM1" ...
  DWORD error = 0;
};

// NULL names WIN.INI; "" names no file.
ProfileTarget TargetOf(LPCSTR lpFileName) {
  ProfileTarget target;
  if (lpFileName == nullptr) lpFileName = kWinIni;
  if (*lpFileName == '\0') return target.error = ERROR_FILE_NOT_FOUND, target;
  target.error = ResolveWindowsPath(lpFileName, &target.path, &target.device);
  return target;
}

std::string ProfilePath(LPCSTR lpFileName) { return TargetOf(lpFileName).path; }

// Device names are devices, never files. NUL reads as an empty file and
// takes every write. The emulated machine has no console and no serial or
// parallel device behind CON, AUX, PRN, COMn and LPTn: opening one fails
// with ERROR_FILE_NOT_FOUND, as CreateFile does for a port a machine lacks,
// so reads give the default and writes fail.
bool IsNullDevice(const ProfileTarget& target) { return target.device == "NUL"; }

bool MapsToPortsKey(LPCSTR lpAppName, const std::string& path) {
  if (lpAppName == nullptr || path.empty() || !MachineIsNT()) return false;
  if (!SameProfileName(TrimCallerName(lpAppName), kPortsSection, Machine().codePage)) return false;
  return strcasecmp(path.c_str(), MapWindowsPath(kWinIni).c_str()) == 0;
}

// Names and values never reach the file with a line break in them: the rest
// of the line would become lines of its own.
std::string SingleLine(std::string_view s) {
  return std::string(s.substr(0, s.find_first_of("\r\n")));
}

// --- copying into the caller's buffer (nSize > 0) ---------------------------

DWORD CopyString(std::string_view s, LPSTR buf, DWORD nSize) {
  s = s.substr(0, s.find('\0'));
  size_t n = s.size() < nSize - 1 ? s.size() : nSize - 1;
  memcpy(buf, s.data(), n);
  buf[n] = '\0';
  return static_cast<DWORD>(n);
}

// Windows removes the default's trailing spaces before copying it; a
// trailing tab stays (Wine's profile tests, run on Windows).
DWORD CopyDefault(LPCSTR lpDefault, LPSTR buf, DWORD nSize) {
  std::string_view def(lpDefault ? lpDefault : "");
  while (!def.empty() && def.back() == ' ') def.remove_suffix(1);
  return CopyString(def, buf, nSize);
}

// Each name ends in a NUL and the list in another. A list that does not fit
// with both is cut to nSize-2 characters plus two NULs and nSize-2 returned.
DWORD CopyList(const std::vector<std::string_view>& names, LPSTR buf, DWORD nSize) {
  std::string list;
  for (std::string_view name : names) {
    name = name.substr(0, name.find('\0'));
    if (!name.empty()) list.append(name).push_back('\0');
  }
  if (list.size() + 2 <= nSize) {
    memcpy(buf, list.data(), list.size());
    buf[list.size()] = '\0';
    return static_cast<DWORD>(list.size());
  }
  if (nSize < 2) return buf[0] = '\0', 0;
  memcpy(buf, list.data(), nSize - 2);
  buf[nSize - 2] = buf[nSize - 1] = '\0';
  return nSize - 2;
}

// --- WIN.INI [Ports] in the registry (NT) -----------------------------------

std::vector<std::string> ValueNames(HKEY hk) {
  std::vector<std::string> names;
  std::vector<char> name(16384);
  for (DWORD i = 0;; ++i) {
    DWORD cch = static_cast<DWORD>(name.size());
    if (RegEnumValueA(hk, i, name.data(), &cch, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS)
      break;
    names.emplace_back(name.data(), cch);
  }
  return names;
}

bool QueryPortValue(HKEY hk, LPCSTR lpKeyName, std::string* value) {
  DWORD type = 0, size = 0;
  if (RegQueryValueExA(hk, lpKeyName, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      type != REG_SZ)
    return false;
  std::string data(size, '\0');
  if (size > 0 && RegQueryValueExA(hk, lpKeyName, nullptr, &type,
                                   reinterpret_cast<LPBYTE>(&data[0]), &size) != ERROR_SUCCESS)
    return false;
  *value = data.substr(0, data.find('\0'));
  return true;
}

DWORD ReadPortsKey(LPCSTR lpKeyName, LPCSTR lpDefault, LPSTR buf, DWORD nSize) {
  HKEY hk = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPortsKey, 0, KEY_READ, &hk) != ERROR_SUCCESS)
    return CopyDefault(lpDefault, buf, nSize);
  DWORD result;
  std::string value;
  if (lpKeyName == nullptr) {
    std::vector<std::string> names = ValueNames(hk);
    std::vector<std::string_view> views(names.begin(), names.end());
    result = views.empty() ? CopyDefault(lpDefault, buf, nSize) : CopyList(views, buf, nSize);
  } else if (QueryPortValue(hk, std::string(TrimCallerName(lpKeyName)).c_str(), &value)) {
    result = CopyString(value, buf, nSize);
  } else {
    result = CopyDefault(lpDefault, buf, nSize);
  }
  RegCloseKey(hk);
  return result;
}

LONG ChangePortsKey(HKEY hk, LPCSTR lpKeyName, LPCSTR lpString) {
  if (lpKeyName == nullptr) {  // the whole section: every port
    for (const std::string& name : ValueNames(hk)) {
      LONG rc = RegDeleteValueA(hk, name.c_str());
      if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) return rc;
    }
    return ERROR_SUCCESS;
  }
  std::string name(TrimCallerName(lpKeyName));
  if (lpString == nullptr) {
    LONG rc = RegDeleteValueA(hk, name.c_str());
    return rc == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : rc;
  }
  std::string value = SingleLine(lpString);
  return RegSetValueExA(hk, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>(value.size() + 1));
}

BOOL WritePortsKey(LPCSTR lpKeyName, LPCSTR lpString) {
  HKEY hk = nullptr;
  LONG rc = RegCreateKeyA(HKEY_LOCAL_MACHINE, kPortsKey, &hk);
  if (rc == ERROR_SUCCESS) {
    rc = ChangePortsKey(hk, lpKeyName, lpString);
    RegCloseKey(hk);
  }
  if (rc != ERROR_SUCCESS) SetLastError(static_cast<DWORD>(rc));
  return rc == ERROR_SUCCESS;
}

// --- the file --------------------------------------------------------------

DWORD ReadFromFile(const IniFile& ini, LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault,
                   LPSTR buf, DWORD nSize) {
  if (lpAppName == nullptr) return CopyList(ini.SectionNames(), buf, nSize);
  if (lpKeyName == nullptr) {
    std::vector<std::string_view> names = ini.KeyNames(lpAppName);
    return names.empty() ? CopyDefault(lpDefault, buf, nSize) : CopyList(names, buf, nSize);
  }
  std::string_view value;
  if (ini.FindValue(lpAppName, lpKeyName, &value)) return CopyString(value, buf, nSize);
  return CopyDefault(lpDefault, buf, nSize);
}

DWORD ReadProfileString(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault, LPSTR buf,
                        DWORD nSize, LPCSTR lpFileName) {
  if (nSize == 0 || buf == nullptr) return 0;
  const ProfileTarget target = TargetOf(lpFileName);
  if (IsNullDevice(target)) {
    static const IniFile kEmpty{std::string()};
    return ReadFromFile(kEmpty, lpAppName, lpKeyName, lpDefault, buf, nSize);
  }
  if (MapsToPortsKey(lpAppName, target.path)) return ReadPortsKey(lpKeyName, lpDefault, buf, nSize);
  std::string path = RecordedProfilePath(target.path, false);
  LoadedProfile loaded;
  int error = ENOENT;
  if (path.empty() || !LoadProfile(path, Machine().codePage, &loaded, &error)) {
    DWORD why = target.error != 0 ? target.error : ERROR_FILE_NOT_FOUND;
    SetLastError(path.empty() ? why : Win32ErrorOf(error, ERROR_READ_FAULT));
    if (lpAppName == nullptr) return buf[0] = '\0', 0;
    return CopyDefault(lpDefault, buf, nSize);
  }
  if (!loaded.exists) SetLastError(ERROR_FILE_NOT_FOUND);
  return ReadFromFile(*loaded.file, lpAppName, lpKeyName, lpDefault, buf, nSize);
}

BOOL WriteToFile(const std::string& path, LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpString) {
  unsigned codePage = Machine().codePage;
  LoadedProfile loaded;
  int error = 0;
  if (!LoadProfile(path, codePage, &loaded, &error)) {
    SetLastError(Win32ErrorOf(error, ERROR_READ_FAULT));
    return FALSE;
  }
  std::string section = SingleLine(TrimCallerName(lpAppName));
  std::string text;
  bool changed;
  if (lpKeyName == nullptr) {
    changed = loaded.file->DeleteSection(section, &text);
  } else {
    std::string key = SingleLine(TrimCallerName(lpKeyName));
    changed = lpString == nullptr
                  ? loaded.file->DeleteKey(section, key, &text)
                  : loaded.file->SetValue(section, key, SingleLine(lpString), &text);
  }
  // Windows opens the file for writing before it looks for what to delete,
  // so deleting a key or a section of a file that is not there leaves an
  // empty file (Wine's profile tests, run on Windows).
  if ((lpKeyName == nullptr || lpString == nullptr) && !loaded.exists) changed = true;
  if (!changed) return TRUE;
  if (!StoreProfile(path, codePage, std::move(text), &error)) {
    // A file that may not grow is a full disk to the writer.
    SetLastError(error == EFBIG ? ERROR_DISK_FULL : Win32ErrorOf(error, ERROR_WRITE_FAULT));
    return FALSE;
  }
  return TRUE;
}

BOOL WriteProfileString(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpString, LPCSTR lpFileName) {
  if (lpAppName == nullptr && lpKeyName == nullptr && lpString == nullptr) {
    // Windows flushes its cached copy and answers 0; ours is always written.
    std::string path = ProfilePath(lpFileName);
    if (!path.empty()) ForgetProfile(path);
    return FALSE;
  }
  if (lpAppName == nullptr) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  if (lpFileName != nullptr && *lpFileName == '\0') {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  const ProfileTarget target = TargetOf(lpFileName);
  if (IsNullDevice(target)) return TRUE;
  if (target.path.empty()) {
    DWORD why = target.error;
    if (why == 0) why = target.device.empty() ? ERROR_PATH_NOT_FOUND : ERROR_FILE_NOT_FOUND;
    SetLastError(why);
    return FALSE;
  }
  if (MapsToPortsKey(lpAppName, target.path)) return WritePortsKey(lpKeyName, lpString);
  return WriteToFile(RecordedProfilePath(target.path, true), lpAppName, lpKeyName, lpString);
}

}  // namespace

std::shared_ptr<const IniFile> CurrentWinIni() {
  std::string path = RecordedProfilePath(ProfilePath(nullptr), false);
  LoadedProfile loaded;
  int error = 0;
  if (path.empty() || !LoadProfile(path, Machine().codePage, &loaded, &error)) return nullptr;
  return loaded.file;
}

namespace {

// The calls below never let an exception out into the program. `api` names
// the call for the test controls; null for a read made on another's behalf.
DWORD GetString(const char* api, LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault, LPSTR buf,
                DWORD nSize, LPCSTR lpFileName) {
  DWORD err = 0;
  if (api != nullptr && ShouldFail(api, &err)) {
    SetLastError(err);
    return nSize == 0 || buf == nullptr ? 0 : CopyDefault(lpDefault, buf, nSize);
  }
  try {
    return ReadProfileString(lpAppName, lpKeyName, lpDefault, buf, nSize, lpFileName);
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return CopyDefault(lpDefault, buf, nSize);
  }
}

BOOL PutString(const char* api, LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpString,
               LPCSTR lpFileName) {
  DWORD err = 0;
  if (ShouldFail(api, &err)) {
    NoteFailedCall(api, err, "file", lpFileName ? lpFileName : "");
    SetLastError(err);
    return FALSE;
  }
  BOOL bDone = FALSE;
  try {
    bDone = WriteProfileString(lpAppName, lpKeyName, lpString, lpFileName);
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  }
  if (!bDone) NoteFailedCall(api, GetLastError(), "file", lpFileName ? lpFileName : "");
  return bDone;
}

}  // namespace
}  // namespace qzhost

extern "C" {

DWORD WINAPI GetPrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault,
                                      LPSTR lpReturnedString, DWORD nSize, LPCSTR lpFileName) {
  return qzhost::GetString("GetPrivateProfileStringA", lpAppName, lpKeyName, lpDefault,
                           lpReturnedString, nSize, lpFileName);
}

// The leading number of the value; the default when the value is absent or
// empty. NT reads a NULL section or key as GetPrivateProfileStringA lists
// names for it; Windows 98 answers 0 (Wine's profile tests, 9x column).
UINT WINAPI GetPrivateProfileIntA(LPCSTR lpAppName, LPCSTR lpKeyName, INT nDefault,
                                  LPCSTR lpFileName) {
  DWORD err = 0;
  if (qzhost::ShouldFail("GetPrivateProfileIntA", &err)) {
    SetLastError(err);
    return static_cast<UINT>(nDefault);
  }
  if ((lpAppName == nullptr || lpKeyName == nullptr) && !qzhost::MachineIsNT()) return 0;
  char value[64];
  if (qzhost::GetString(nullptr, lpAppName, lpKeyName, "", value, sizeof value, lpFileName) == 0)
    return static_cast<UINT>(nDefault);
  return qzhost::ProfileIntOf(value, qzhost::MachineIsNT());
}

BOOL WINAPI WritePrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpString,
                                       LPCSTR lpFileName) {
  return qzhost::PutString("WritePrivateProfileStringA", lpAppName, lpKeyName, lpString,
                           lpFileName);
}

DWORD WINAPI GetProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault,
                               LPSTR lpReturnedString, DWORD nSize) {
  return qzhost::GetString("GetProfileStringA", lpAppName, lpKeyName, lpDefault, lpReturnedString,
                           nSize, qzhost::kWinIni);
}

BOOL WINAPI WriteProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpString) {
  return qzhost::PutString("WriteProfileStringA", lpAppName, lpKeyName, lpString, qzhost::kWinIni);
}

}  // extern "C"
