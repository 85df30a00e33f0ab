// Temporaries named after their process, and the removal of those whose
// process was killed: a load's half-built machine beside the root, a save's
// half-written image, a what-if run's shadow folder.
#ifndef QZINST32_PLATFORM_HOST_STALETEMP_H_
#define QZINST32_PLATFORM_HOST_STALETEMP_H_

#include <string>

namespace qzhost {

// "<prefix><pid>-XXXXXX", a pattern for mkstemp or mkdtemp.
std::string TemporaryPattern(const std::string& prefix);

// Removes, with everything below them, the entries of `folder` named
// "<prefix><pid>-..." that this user owns and whose process is gone. A
// process that still runs (or that this user cannot see) keeps its own.
void RemoveStaleTemporaries(const std::string& folder, const std::string& prefix);

}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_STALETEMP_H_
