// Command 1: create a printer port. Not built yet.
#include "inst32/portcreator.h"

BOOL COrlPortCreator::Create(const COrlString&) { return FALSE; }
BOOL COrlPortCreator::Create(const char* pszPort) { return Create(COrlString(pszPort)); }
BOOL COrlPortCreator::IsStandardPortName(const COrlString&) { return FALSE; }
