// Command 4. Not built yet.
#include "inst32/uninstall.h"

#include "inst32/resultcodes.h"

WORD SetUninstall(const char*) { return QZ_RESULT_UNKNOWN_CMD; }
