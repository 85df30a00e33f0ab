// kernel32 on the emulated machine: version, directories, memory, strings.
#include "platform/host/process/kernel.h"

#include <ctype.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <atomic>
#include <string>

#include "platform/host/machine/codepage.h"
#include "platform/host/machine/machine.h"
#include "platform/host/machine/testctl.h"
#include "platform/host/process/wordsort.h"
#include "platform/win32.h"

namespace qzhost {
namespace {

thread_local DWORD g_lastError = 0;
std::string g_moduleOverride;
std::string g_commandLine;

// Copies `text` as GetWindowsDirectoryA does: the length without the
// terminator, or the size needed with it when the buffer is too small.
UINT CopyDirectory(const char* text, LPSTR buffer, UINT size) {
  UINT length = static_cast<UINT>(strlen(text));
  if (buffer == nullptr || size <= length) return length + 1;
  memcpy(buffer, text, length + 1);
  return length;
}

// lstrcmpA and lstrcmpiA: the user locale's word sort (wordsort.h). NT puts
// NULL before every string, "" included; Windows 98 answers -2, its failed
// CompareStringA less 2, for any NULL (Wine's locale tests, 9x column).
int CompareWords(LPCSTR a, LPCSTR b, bool ignoreCase) {
  if (a == nullptr || b == nullptr) {
    if (!MachineIsNT()) return -2;
    return a == b ? 0 : a == nullptr ? -1 : 1;
  }
  int order = 0;
  if (CompareFirstChars(a, b, &order)) return order;  // nearly every pair a search compares
  return CompareWordSortZ(a, b, ignoreCase, Machine().codePage);
}

}  // namespace

void SetModuleFileName(const std::string& path) { g_moduleOverride = path; }

std::string ModuleFileName() {
  if (!g_moduleOverride.empty()) return g_moduleOverride;
  char exe[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  std::string path = n > 0 ? std::string(exe, static_cast<size_t>(n)) : "/qzinst32";
  std::string drive = MachineRoot() + "/drive_c/";
  std::string windows;
  if (path.compare(0, drive.size(), drive) == 0) {
    windows = "C:\\" + path.substr(drive.size());
  } else {
    windows = "Z:" + path;  // the host's own file system, as Wine shows it
  }
  for (char& ch : windows) {
    if (ch == '/') ch = '\\';
  }
  return windows;
}

void SetCommandText(const std::string& commandText) {
  g_commandLine = "\"" + ModuleFileName() + "\"";
  if (!commandText.empty()) g_commandLine += " " + commandText;
}

}  // namespace qzhost

using qzhost::Machine;

extern "C" {

DWORD WINAPI GetVersion(void) { return qzhost::MachineIsNT() ? 0x0A280105u : 0xC0000A04u; }

LPSTR WINAPI GetCommandLineA(void) {
  if (qzhost::g_commandLine.empty()) qzhost::SetCommandText("");
  return &qzhost::g_commandLine[0];
}

UINT WINAPI GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize) {
  return qzhost::CopyDirectory(qzhost::WindowsDirectory(), lpBuffer, uSize);
}

UINT WINAPI GetSystemDirectoryA(LPSTR lpBuffer, UINT uSize) {
  return qzhost::CopyDirectory(qzhost::SystemDirectory(), lpBuffer, uSize);
}

DWORD WINAPI GetModuleFileNameA(HMODULE, LPSTR lpFilename, DWORD nSize) {
  if (lpFilename == nullptr || nSize == 0) return 0;
  std::string path = qzhost::ModuleFileName();
  if (path.size() < nSize) {
    memcpy(lpFilename, path.c_str(), path.size() + 1);
    return static_cast<DWORD>(path.size());
  }
  if (qzhost::MachineIsNT()) {  // NT: cut, not terminated, nSize returned
    memcpy(lpFilename, path.data(), nSize);
    SetLastError(ERROR_SUCCESS);
    return nSize;
  }
  memcpy(lpFilename, path.data(), nSize - 1);  // 9x: cut and terminated
  lpFilename[nSize - 1] = '\0';
  return nSize - 1;
}

HGLOBAL WINAPI GlobalAlloc(UINT uFlags, SIZE_T dwBytes) {
  if (qzhost::ShouldFailAllocation()) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  size_t size = dwBytes == 0 ? 1 : dwBytes;
  void* p = (uFlags & GMEM_ZEROINIT) ? calloc(1, size) : malloc(size);
  if (p == nullptr) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return p;
}

HGLOBAL WINAPI GlobalFree(HGLOBAL hMem) {
  free(hMem);
  return nullptr;
}

LONG WINAPI InterlockedIncrement(LONG volatile* Addend) {
  return __atomic_add_fetch(Addend, 1, __ATOMIC_SEQ_CST);
}

LONG WINAPI InterlockedDecrement(LONG volatile* Addend) {
  return __atomic_sub_fetch(Addend, 1, __ATOMIC_SEQ_CST);
}

LPSTR WINAPI lstrcpynA(LPSTR lpString1, LPCSTR lpString2, int iMaxLength) {
  if (lpString1 == nullptr || iMaxLength <= 0) return lpString1;
  int i = 0;
  if (lpString2 != nullptr) {
    for (; i < iMaxLength - 1 && lpString2[i] != '\0'; ++i) lpString1[i] = lpString2[i];
  }
  lpString1[i] = '\0';
  return lpString1;
}

LPSTR WINAPI lstrcpyA(LPSTR lpString1, LPCSTR lpString2) {
  if (lpString1 == nullptr || lpString2 == nullptr) return nullptr;
  return strcpy(lpString1, lpString2);
}

LPSTR WINAPI lstrcatA(LPSTR lpString1, LPCSTR lpString2) {
  if (lpString1 == nullptr || lpString2 == nullptr) return nullptr;
  return strcat(lpString1, lpString2);
}

int WINAPI lstrlenA(LPCSTR lpString) { return lpString ? static_cast<int>(strlen(lpString)) : 0; }

int WINAPI lstrcmpA(LPCSTR lpString1, LPCSTR lpString2) {
  return qzhost::CompareWords(lpString1, lpString2, false);
}

int WINAPI lstrcmpiA(LPCSTR lpString1, LPCSTR lpString2) {
  return qzhost::CompareWords(lpString1, lpString2, true);
}

// The flags CompareStringA knows on 98 and XP; any other is refused with
// ERROR_INVALID_FLAGS (Wine's locale tests: 0x8 gives 1004).
const DWORD kCompareFlags = NORM_IGNORECASE | NORM_IGNORENONSPACE | NORM_IGNORESYMBOLS |
                            SORT_STRINGSORT | NORM_IGNOREKANATYPE | NORM_IGNOREWIDTH |
                            LOCALE_USE_CP_ACP;

// The lengths given end the strings; a NUL within them weighs nothing.
int WINAPI CompareStringA(LCID, DWORD dwCmpFlags, LPCSTR lpString1, int cchCount1, LPCSTR lpString2,
                          int cchCount2) {
  if (lpString1 == nullptr || lpString2 == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if ((dwCmpFlags & ~kCompareFlags) != 0) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  if (cchCount1 < 0) cchCount1 = static_cast<int>(strlen(lpString1));
  if (cchCount2 < 0) cchCount2 = static_cast<int>(strlen(lpString2));
  qzhost::SortOptions options;
  options.ignoreCase = (dwCmpFlags & NORM_IGNORECASE) != 0;
  options.stringSort = (dwCmpFlags & SORT_STRINGSORT) != 0;
  options.ignoreSymbols = (dwCmpFlags & NORM_IGNORESYMBOLS) != 0;
  options.ignoreNonSpace = (dwCmpFlags & NORM_IGNORENONSPACE) != 0;
  int c = qzhost::CompareWordSort(std::string_view(lpString1, static_cast<size_t>(cchCount1)),
                                  std::string_view(lpString2, static_cast<size_t>(cchCount2)),
                                  options, Machine().codePage);
  return c < 0 ? CSTR_LESS_THAN : c > 0 ? CSTR_GREATER_THAN : CSTR_EQUAL;
}

BOOL WINAPI IsDBCSLeadByte(BYTE TestChar) {
  return qzhost::IsLeadByteOf(Machine().codePage, TestChar) ? TRUE : FALSE;
}

UINT WINAPI GetACP(void) { return Machine().codePage; }

DWORD WINAPI GetLastError(void) { return qzhost::g_lastError; }

void WINAPI SetLastError(DWORD dwErrCode) { qzhost::g_lastError = dwErrCode; }

}  // extern "C"
