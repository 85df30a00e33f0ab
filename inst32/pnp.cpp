// Command 3. Not built yet.
#include "inst32/pnp.h"

#include "inst32/resultcodes.h"

WORD RegisterPnPPrinter(const COrlString&) { return QZ_RESULT_UNKNOWN_CMD; }
