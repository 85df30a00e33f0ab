// Command 5. Not built yet.
#include "inst32/nettrans.h"

#include "inst32/resultcodes.h"

WORD GetNetTransAddress(const char*) { return QZ_RESULT_UNKNOWN_CMD; }
