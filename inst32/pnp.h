// Command 3: Plug and Play registration of a parallel-port printer.
//
// For every hardware node that carries the port, a device entry is written
// below HKEY_LOCAL_MACHINE\Enum\LPTENUM with the printer's class, description,
// model, hardware identifier, configuration flags and manufacturer.
#ifndef QZINST32_INST32_PNP_H_
#define QZINST32_INST32_PNP_H_

#include "inst32/orlstring.h"
#include "platform/win32.h"

// Splits "<INF file> <printer section> <port>" and registers the printer.
// The port is everything after the second blank. An INF file in double quotes
// ("C:\My Files\rt.inf" Sect LPT1:) runs to the parameter's last double quote.
// Returns 0, 1024 (no "Win95DeviceID" or no node), 1026 (a field is missing)
// or 1028 (a device key could not be created).
WORD RegisterPnPPrinter(const COrlString& csParam);

// Writes one device entry per node that GetPnPEnumKey finds for pszPort, in
// the lookup's order; stops at the first key that cannot be created (1028).
WORD CreateLptEnumEntries(LPCSTR pszInfFile, LPCSTR pszSection, LPCSTR pszPort);

#endif  // QZINST32_INST32_PNP_H_
