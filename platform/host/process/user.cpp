// user32 on the emulated machine: strings, windows, message boxes, DBCS steps.
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <string>

#include "inst32/resource.h"
#include "platform/host/machine/codepage.h"
#include "platform/host/machine/machine.h"
#include "platform/host/process/tracesink.h"
#include "platform/win32.h"

namespace {

struct StringResource {
  UINT id;
  const char* text;
};

// The same string table source that qzinst32.rc compiles.
#define QZ_STRING(id, text) {id, text},
const StringResource kStringTable[] = {
#include "inst32/strings.def"
};
#undef QZ_STRING

}  // namespace

extern "C" {

LPSTR WINAPI CharNextA(LPCSTR lpsz) {
  return const_cast<LPSTR>(qzhost::NextCharOf(qzhost::Machine().codePage, lpsz));
}

LPSTR WINAPI CharPrevA(LPCSTR lpszStart, LPCSTR lpszCurrent) {
  return const_cast<LPSTR>(qzhost::PrevCharOf(qzhost::Machine().codePage, lpszStart, lpszCurrent));
}

int WINAPI LoadStringA(HINSTANCE, UINT uID, LPSTR lpBuffer, int cchBufferMax) {
  if (lpBuffer == nullptr || cchBufferMax <= 0) return 0;
  for (const StringResource& entry : kStringTable) {
    if (entry.id == uID) {
      lstrcpynA(lpBuffer, entry.text, cchBufferMax);
      return static_cast<int>(strlen(lpBuffer));
    }
  }
  lpBuffer[0] = '\0';
  return 0;
}

HWND WINAPI FindWindowA(LPCSTR, LPCSTR) {
  SetLastError(ERROR_CANNOT_FIND_WND_CLASS);  // no window class is registered here
  return nullptr;
}

int WINAPI MessageBoxA(HWND, LPCSTR lpText, LPCSTR lpCaption, UINT) {
  std::string line = std::string("qzinst32: message box [") + (lpCaption ? lpCaption : "Error") +
                     "]: " + (lpText ? lpText : "") + "\n";
  qzhost::FlushTrace();
  ssize_t ignored = write(2, line.data(), line.size());
  (void)ignored;
  return IDOK;
}

}  // extern "C"
