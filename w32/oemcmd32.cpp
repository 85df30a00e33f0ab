// Extended commands 257 and 258. Both are best effort: only a machine where
// neither marking key opens makes 257 fail.
#include "w32/oemcmd32.h"

#include "inst32/registry.h"
#include "inst32/resultcodes.h"
#include "inst32/trace.h"

const char* const g_apszSharedDLLs[] = {"vxqprn32.drv", nullptr};

namespace {

// Shared by the backup of 257 and the restore of 258.
char g_acPrevSrcDir[QZ_SOURCE_DIR_CHARS];

// InstalledFiles marks a file with these two bytes.
const BYTE kInstalledMark[] = {0x0B, 0x00};

// Reads a string value into a buffer of cchBuffer characters; the text always
// ends with a terminator. The buffer is left alone when the read fails.
LONG QueryString(HKEY hKey, LPCSTR pszName, LPSTR pszBuffer, DWORD cchBuffer) {
  DWORD cbData = cchBuffer;
  LONG lResult = RegQueryValueExA(hKey, pszName, nullptr, nullptr,
                                  reinterpret_cast<LPBYTE>(pszBuffer), &cbData);
  if (lResult == ERROR_SUCCESS) pszBuffer[cbData < cchBuffer ? cbData : cchBuffer - 1] = '\0';
  return lResult;
}

void ClearBuffer(char* pszBuffer) {
  pszBuffer[0] = '\0';
  pszBuffer[1] = '\0';
}

}  // namespace

WORD MarkDLLs(const char* pszSourceDir) {
  DbgTrace("enter: MarkDLLs()\n");
  COrlRegKey hkKnown16;
  COrlRegKey hkInstalled;
  hkKnown16.Open(HKEY_LOCAL_MACHINE, QZ_KNOWN16DLLS_KEY, KEY_SET_VALUE);
  hkInstalled.Open(HKEY_LOCAL_MACHINE, QZ_INSTALLEDFILES_KEY, KEY_SET_VALUE);
  if (!hkKnown16.IsOpen() && !hkInstalled.IsOpen()) return QZ_RESULT_NOTHING_DONE;

  for (const char* const* ppszDLL = g_apszSharedDLLs; *ppszDLL != nullptr; ++ppszDLL) {
    DbgTrace("   Marking: %s\n", *ppszDLL);
    if (hkKnown16.IsOpen()) hkKnown16.SetString(*ppszDLL, *ppszDLL);
    if (hkInstalled.IsOpen())
      hkInstalled.SetBinary(*ppszDLL, kInstalledMark, sizeof kInstalledMark);
  }
  SetPrevSrcDir();
  SetWIN95SourceDir(pszSourceDir);
  hkKnown16.Close();
  hkInstalled.Close();
  DbgTrace("finished: MarkDLLs()\n");
  return QZ_RESULT_OK;
}

void SetPrevSrcDir() {
  ClearBuffer(g_acPrevSrcDir);
  LONG lRead = ERROR_FILE_NOT_FOUND;
  COrlRegKey hkPath;
  if (hkPath.Open(HKEY_LOCAL_MACHINE, QZ_SETUP_KEY, KEY_QUERY_VALUE) == ERROR_SUCCESS) {
    lRead = QueryString(hkPath, "SourcePath", g_acPrevSrcDir, QZ_SOURCE_DIR_CHARS);
    hkPath.Close();
  }
  if (lRead != ERROR_SUCCESS) ClearBuffer(g_acPrevSrcDir);
  // A cut path would be restored as a wrong one: better no backup at all.
  if (lRead == ERROR_MORE_DATA) return;

  if (hkPath.Open(HKEY_LOCAL_MACHINE, QZ_SETUP_KEY, KEY_SET_VALUE) != ERROR_SUCCESS) {
    DbgTrace("SetPrevSrcDir() failed: hkPath not opened\n");
    return;
  }
  DbgTrace("SetPrevSrcDir() to %s\n", g_acPrevSrcDir);
  hkPath.SetString("SourcePathBak", g_acPrevSrcDir);
}

void SetWIN95SourceDir(const char* pszDir) {
  DbgTrace("enter: SetWIN95SourceDir(%s)\n", DbgStr(pszDir));
  if (pszDir == nullptr || pszDir[0] == '\0' || pszDir[1] == '\0') return;
  COrlRegKey hkPath;
  if (hkPath.Open(HKEY_LOCAL_MACHINE, QZ_SETUP_KEY, KEY_SET_VALUE) != ERROR_SUCCESS) {
    DbgTrace("SetWIN95SourceDir() failed: hkPath not opened\n");
    return;
  }
  hkPath.SetString("SourcePath", pszDir);
}

void GetPrevSrcDir(char* pszBuffer, unsigned long cchBuffer) {
  if (pszBuffer == nullptr || cchBuffer <= 2) return;
  ClearBuffer(pszBuffer);
  COrlRegKey hkPath;
  if (hkPath.Open(HKEY_LOCAL_MACHINE, QZ_SETUP_KEY, KEY_QUERY_VALUE | KEY_SET_VALUE) !=
      ERROR_SUCCESS) {
    return;
  }
  // A backup that cannot be read whole counts as none; it goes either way.
  if (QueryString(hkPath, "SourcePathBak", pszBuffer, static_cast<DWORD>(cchBuffer)) !=
      ERROR_SUCCESS) {
    ClearBuffer(pszBuffer);
  }
  RegDeleteValueA(hkPath, "SourcePathBak");
}

WORD RestoreSourceDir() {
  GetPrevSrcDir(g_acPrevSrcDir, QZ_SOURCE_DIR_CHARS);
  SetWIN95SourceDir(g_acPrevSrcDir);
  return QZ_RESULT_OK;
}
