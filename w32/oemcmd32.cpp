// Extended commands 257 and 258. Not built yet.
#include "w32/oemcmd32.h"

#include "inst32/resultcodes.h"

WORD MarkDLLs(const char*) { return QZ_RESULT_UNKNOWN_CMD; }
WORD RestoreSourceDir() { return QZ_RESULT_UNKNOWN_CMD; }
