// Command 3: Plug and Play registration of a parallel-port printer.
#ifndef QZINST32_INST32_PNP_H_
#define QZINST32_INST32_PNP_H_

#include "inst32/orlstring.h"

WORD RegisterPnPPrinter(const COrlString& csParam);

#endif  // QZINST32_INST32_PNP_H_
