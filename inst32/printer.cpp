// Command 2. Not built yet.
#include "inst32/printer.h"

#include "inst32/resultcodes.h"

COrlPrinter::COrlPrinter(const COrlString*) { m_nStatus = QZ_RESULT_UNKNOWN_CMD; }
BOOL COrlPrinter::Install() { return FALSE; }
