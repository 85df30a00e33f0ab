// Extended commands 257 and 258. The marks are best effort. The source path
// is backed up and put back whole; it is switched only after its backup was
// written, and a step on the setup key that fails makes the command fail, so
// a script never takes a path that was not switched, or not put back, for
// one that was, and no path is ever lost.
#include "w32/oemcmd32.h"

#include "inst32/registry.h"
#include "inst32/resultcodes.h"
#include "inst32/trace.h"

const char* const g_apszSharedDLLs[] = {"vxqprn32.drv", nullptr};

namespace {

// InstalledFiles marks a file with these two bytes.
const BYTE kInstalledMark[] = {0x0B, 0x00};

// Marks each shared DLL in whichever of the two keys opened.
void MarkSharedDLLs(COrlRegKey& hkKnown16, COrlRegKey& hkInstalled) {
  for (const char* const* ppszDLL = g_apszSharedDLLs; *ppszDLL != nullptr; ++ppszDLL) {
    DbgTrace("   Marking: %s\n", *ppszDLL);
    if (hkKnown16.IsOpen()) hkKnown16.SetString(*ppszDLL, *ppszDLL);
    if (hkInstalled.IsOpen())
      hkInstalled.SetBinary(*ppszDLL, kInstalledMark, sizeof kInstalledMark);
  }
}

// True when the setup key holds a backup, even where it cannot be opened to
// change it.
BOOL HasPrevSrcDir() {
  COrlRegKey hkPath;
  if (hkPath.Open(HKEY_LOCAL_MACHINE, QZ_SETUP_KEY, KEY_QUERY_VALUE) != ERROR_SUCCESS) return FALSE;
  DWORD cbData = 0;
  return RegQueryValueExA(hkPath, "SourcePathBak", nullptr, nullptr, nullptr, &cbData) ==
         ERROR_SUCCESS;
}

// Deletes the backup once it has been put back.
void DeletePrevSrcDir() {
  COrlRegKey hkPath;
  if (hkPath.Open(HKEY_LOCAL_MACHINE, QZ_SETUP_KEY, KEY_SET_VALUE) == ERROR_SUCCESS)
    RegDeleteValueA(hkPath, "SourcePathBak");
}

}  // namespace

WORD MarkDLLs(const char* pszSourceDir) {
  DbgTrace("enter: MarkDLLs()\n");
  COrlRegKey hkKnown16;
  COrlRegKey hkInstalled;
  hkKnown16.Open(HKEY_LOCAL_MACHINE, QZ_KNOWN16DLLS_KEY, KEY_SET_VALUE);
  hkInstalled.Open(HKEY_LOCAL_MACHINE, QZ_INSTALLEDFILES_KEY, KEY_SET_VALUE);
  if (!hkKnown16.IsOpen() && !hkInstalled.IsOpen()) return QZ_RESULT_NOTHING_DONE;

  MarkSharedDLLs(hkKnown16, hkInstalled);
  // The old path is switched only once it is safe in the backup: a path that
  // could not be read, or a backup that was not written, leaves both values
  // as they were.
  LONG lResult = SetPrevSrcDir();
  if (lResult == ERROR_SUCCESS) lResult = SetWIN95SourceDir(pszSourceDir);
  hkKnown16.Close();
  hkInstalled.Close();
  DbgTrace("finished: MarkDLLs()\n");
  return lResult == ERROR_SUCCESS ? QZ_RESULT_OK : QZ_RESULT_NOTHING_DONE;
}

LONG SetPrevSrcDir() {
  COrlString csPrevSrcDir;
  COrlRegKey hkPath;
  LONG lRead = hkPath.Open(HKEY_LOCAL_MACHINE, QZ_SETUP_KEY, KEY_QUERY_VALUE);
  if (lRead == ERROR_SUCCESS) {
    lRead = hkPath.QueryString("SourcePath", &csPrevSrcDir);
    hkPath.Close();
  } else if (lRead != ERROR_FILE_NOT_FOUND) {
    // The key is there but would not open to be read: what "SourcePath"
    // holds is unknown, so no backup may stand for it.
    DbgTrace("SetPrevSrcDir() failed: hkPath not opened\n");
    return lRead;
  }
  // A path that is there but unreadable is kept rather than backed up as
  // nothing; an absent one (or an absent key) is backed up empty.
  if (lRead != ERROR_SUCCESS && lRead != ERROR_FILE_NOT_FOUND) return lRead;

  LONG lOpen = hkPath.Open(HKEY_LOCAL_MACHINE, QZ_SETUP_KEY, KEY_SET_VALUE);
  if (lOpen != ERROR_SUCCESS) {
    DbgTrace("SetPrevSrcDir() failed: hkPath not opened\n");
    return lOpen;
  }
  DbgTrace("SetPrevSrcDir() to %s\n", csPrevSrcDir.GetString());
  return hkPath.SetString("SourcePathBak", csPrevSrcDir);
}

LONG SetWIN95SourceDir(const char* pszDir) {
  DbgTrace("enter: SetWIN95SourceDir(%s)\n", DbgStr(pszDir));
  if (pszDir == nullptr || pszDir[0] == '\0' || pszDir[1] == '\0') return ERROR_SUCCESS;
  COrlRegKey hkPath;
  LONG lResult = hkPath.Open(HKEY_LOCAL_MACHINE, QZ_SETUP_KEY, KEY_SET_VALUE);
  if (lResult != ERROR_SUCCESS) {
    DbgTrace("SetWIN95SourceDir() failed: hkPath not opened\n");
    return lResult;
  }
  return hkPath.SetString("SourcePath", pszDir);
}

LONG GetPrevSrcDir(COrlString* pcsDir) {
  *pcsDir = "";
  COrlRegKey hkPath;
  LONG lResult = hkPath.Open(HKEY_LOCAL_MACHINE, QZ_SETUP_KEY, KEY_QUERY_VALUE | KEY_SET_VALUE);
  if (lResult == ERROR_SUCCESS) return hkPath.QueryString("SourcePathBak", pcsDir);
  // Not opened to be changed: a backup there still cannot be put back.
  if (lResult == ERROR_FILE_NOT_FOUND || !HasPrevSrcDir()) return ERROR_FILE_NOT_FOUND;
  return lResult;
}

WORD RestoreSourceDir() {
  COrlString csPrevSrcDir;
  LONG lRead = GetPrevSrcDir(&csPrevSrcDir);
  LONG lRestore = SetWIN95SourceDir(csPrevSrcDir);
  if (lRead == ERROR_FILE_NOT_FOUND) return QZ_RESULT_OK;
  if (lRead != ERROR_SUCCESS || lRestore != ERROR_SUCCESS) return QZ_RESULT_NOTHING_DONE;
  DeletePrevSrcDir();
  return QZ_RESULT_OK;
}
