// The spooler's lists as qzreg's listings show them: printers, drivers,
// monitors (with the language monitors that NT's EnumMonitorsA leaves out),
// print processors and ports, each object with what its listing shows. A
// report's spooler part is the difference of two such readings, before and
// after a run, so it names exactly what the listings show changed, whoever
// shaped the registry.
#ifndef QZINST32_PLATFORM_HOST_SPOOLER_LISTS_H_
#define QZINST32_PLATFORM_HOST_SPOOLER_LISTS_H_

#include <string>
#include <utility>
#include <vector>

#include "platform/win32.h"

namespace qzhost {

struct SpoolerListed {
  std::string object;  // "printer", "driver", "monitor", "print processor", "port"
  std::string name;
  std::string environment;  // drivers, print processors and NT's monitors
  // The other columns of the listing's JSON row, by their names there.
  std::vector<std::pair<std::string, std::string>> fields;
};

// Reads every list through the spooler's enumeration calls and the keys where
// the spooler keeps printers and print processors. False with the failed
// call and its error in *why.
bool ReadSpoolerLists(bool isNT, std::vector<SpoolerListed>* objects, std::string* why);

}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_SPOOLER_LISTS_H_
