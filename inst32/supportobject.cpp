// What the printer support objects share when they are built from a printer.
#include "inst32/supportobject.h"

#include "inst32/printer.h"
#include "inst32/trace.h"
#include "inst32/util32.h"

SupportKeyRead ReadSupportObjectKey(COrlPrinter* pPrinter, LPCSTR pszObject, LPCSTR pszKey,
                                    COrlString* pName, COrlString* pFile) {
  if (pPrinter == nullptr) return kSupportNoPrinter;
  COrlString* pPrinterName = pPrinter->GetPrinterName();
  DbgTrace("%s() for %s\n", pszObject, DbgStr(pPrinterName ? pPrinterName->GetString() : nullptr));
  COrlString* pInfFile = pPrinter->GetInfFile();
  COrlString* pSection = pPrinter->GetPrinterSection();
  if (pInfFile->IsEmpty() || pSection->IsEmpty()) {
    DbgTrace("No INF file or no INF section string\n");
    return kSupportNoInf;
  }
  if (!GetDelimitedPrinterObject(pInfFile, pSection, pszKey, "", pName, pFile)) {
    return kSupportRejected;
  }
  return kSupportRead;
}
