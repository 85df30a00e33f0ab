// Command 4: the product's entry in the installed-software list.
#include "inst32/uninstall.h"

#include "inst32/context.h"
#include "inst32/registry.h"
#include "inst32/resource.h"
#include "inst32/resultcodes.h"
#include "inst32/trace.h"
#include "inst32/util32.h"

WORD SetUninstall(const char* pszRemovalCommand) {
  if (pszRemovalCommand == nullptr || *pszRemovalCommand == '\0') return QZ_RESULT_BAD_PARAM;

  // The open only proves that the uninstall key is there and can be opened.
  COrlRegKey hkUninstall;
  if (hkUninstall.OpenSimple(HKEY_LOCAL_MACHINE, QZ_UNINSTALL_KEY) != ERROR_SUCCESS) {
    return QZ_RESULT_BAD_PARAM;
  }
  hkUninstall.Close();

  char acDisplayName[QZ_DISPLAY_NAME_CHARS];
  LoadStringA(ContextInstance(), IDS_PRODUCT_NAME, acDisplayName, QZ_DISPLAY_NAME_CHARS);

  // 51 + 1 + at most 125 characters: always fits.
  char acKey[QZ_PATH_CHARS];
  BoundedCopy(acKey, QZ_UNINSTALL_KEY "\\", QZ_PATH_CHARS);
  int nUsed = lstrlenA(acKey);
  BoundedCopy(acKey + nUsed, acDisplayName, QZ_PATH_CHARS - nUsed);

  DbgTrace("SetUninstall(%s)\n", pszRemovalCommand);
  COrlRegKey hkProduct;
  LONG lResult = hkProduct.Create(HKEY_LOCAL_MACHINE, acKey);
  if (lResult != ERROR_SUCCESS) {
    DbgTrace("FAILED! Create/Open error %ld\n", static_cast<long>(lResult));
    DbgTrace("        csKey = %s\n", acKey);
    // Not listed means not removable: the script must hear of it.
    return QZ_RESULT_KEY_NOT_CREATED;
  }
  DbgTrace("RegCreate/Open: %s\n", acKey);
  hkProduct.SetString("UninstallString", pszRemovalCommand);
  hkProduct.SetString("DisplayName", acDisplayName);
  return QZ_RESULT_OK;
}
