// Windows build: the three wide-character kernel32 calls of the MinGW runtime,
// answered through their ANSI forms.
//
// Windows 95, 98 and Me export CreateSemaphoreW, GetModuleHandleW and
// LoadLibraryW only as stubs that fail with ERROR_CALL_NOT_IMPLEMENTED. The
// runtime calls them for itself: libgcc creates the semaphore of its frame
// table lock at start-up; the C library's extras look up msvcrt.dll and
// advapi32.dll by wide name. Defining the import cells here keeps the
// linker from taking kernel32's: the calls go to the ANSI functions, which
// every Windows implements, and the program imports no wide function but
// MultiByteToWideChar and WideCharToMultiByte, which Windows 98 implements.
#include "platform/win32.h"

namespace {

// A wide name as the ANSI code page spells it; false when it does not fit or
// has no ANSI form (the caller then fails as the wide call would).
bool AnsiName(LPCWSTR pszWide, LPSTR pszAnsi, int nSize) {
  BOOL bDefaultUsed = FALSE;
  int nChars = WideCharToMultiByte(CP_ACP, 0, pszWide, -1, pszAnsi, nSize, nullptr, &bDefaultUsed);
  return nChars > 0 && !bDefaultUsed;
}

HANDLE WINAPI AnsiCreateSemaphore(LPSECURITY_ATTRIBUTES lpAttributes, LONG lInitialCount,
                                  LONG lMaximumCount, LPCWSTR lpName) {
  char acName[MAX_PATH];
  if (lpName != nullptr && !AnsiName(lpName, acName, sizeof acName)) {
    SetLastError(ERROR_INVALID_NAME);
    return nullptr;
  }
  return CreateSemaphoreA(lpAttributes, lInitialCount, lMaximumCount,
                          lpName != nullptr ? acName : nullptr);
}

HMODULE WINAPI AnsiGetModuleHandle(LPCWSTR lpModuleName) {
  char acName[MAX_PATH];
  if (lpModuleName == nullptr) return GetModuleHandleA(nullptr);
  if (!AnsiName(lpModuleName, acName, sizeof acName)) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  return GetModuleHandleA(acName);
}

HMODULE WINAPI AnsiLoadLibrary(LPCWSTR lpLibFileName) {
  char acName[MAX_PATH];
  if (lpLibFileName == nullptr || !AnsiName(lpLibFileName, acName, sizeof acName)) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  return LoadLibraryA(acName);
}

}  // namespace

// The import cells by their linker names: stdcall-decorated on x86.
#if defined(__i386__)
#define QZ_IMPORT_CELL(name, bytes) "__imp__" #name "@" #bytes
#else
#define QZ_IMPORT_CELL(name, bytes) "__imp_" #name
#endif

extern "C" {
extern void* const g_pCreateSemaphoreW __asm__(QZ_IMPORT_CELL(CreateSemaphoreW, 16));
extern void* const g_pGetModuleHandleW __asm__(QZ_IMPORT_CELL(GetModuleHandleW, 4));
extern void* const g_pLoadLibraryW __asm__(QZ_IMPORT_CELL(LoadLibraryW, 4));
void* const g_pCreateSemaphoreW = reinterpret_cast<void*>(&AnsiCreateSemaphore);
void* const g_pGetModuleHandleW = reinterpret_cast<void*>(&AnsiGetModuleHandle);
void* const g_pLoadLibraryW = reinterpret_cast<void*>(&AnsiLoadLibrary);
}
