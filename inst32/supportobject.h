// What the printer support objects share when they are built from a printer.
#ifndef QZINST32_INST32_SUPPORTOBJECT_H_
#define QZINST32_INST32_SUPPORTOBJECT_H_

#include "inst32/orlstring.h"

class COrlPrinter;

enum SupportKeyRead {
  kSupportNoPrinter,  // no printer: the object stays empty, nothing traced
  kSupportNoInf,      // the printer has no INF file or no section
  kSupportRejected,   // GetDelimitedPrinterObject refused the value
  kSupportRead        // name and file read (both may be empty)
};

// Traces "<object>() for <printer name>", checks the printer's INF file and
// section, and reads the object's "name, file" value from that section.
SupportKeyRead ReadSupportObjectKey(COrlPrinter* pPrinter, LPCSTR pszObject, LPCSTR pszKey,
                                    COrlString* pName, COrlString* pFile);

#endif  // QZINST32_INST32_SUPPORTOBJECT_H_
