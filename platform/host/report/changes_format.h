// The two forms a list of changes is shown in: .reg text for people (and for
// qzreg import), JSON for programs.
#ifndef QZINST32_PLATFORM_HOST_CHANGES_FORMAT_H_
#define QZINST32_PLATFORM_HOST_CHANGES_FORMAT_H_

#include <string>

#include "platform/host/report/changes.h"

namespace qzhost {

// A REGEDIT4 file that turns the old registry into the new one: new keys with
// their values, changed values with the old one in a comment, "name"=- for a
// removed value, [-KEY] for a removed key. Profile entries and spooler objects
// follow as comments, so the whole text still imports. `note` (may hold
// several lines) becomes a comment after the header.
std::string ChangesAsRegText(const MachineChanges& changes, const std::string& note = {});

// A JSON array, one object per change, registry first, then profile entries,
// then spooler objects; each object on a line of its own.
std::string ChangesAsJson(const MachineChanges& changes);

}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_CHANGES_FORMAT_H_
