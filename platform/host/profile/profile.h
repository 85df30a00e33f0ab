// What the rest of the emulated machine reads of the profile files directly.
#ifndef QZINST32_PLATFORM_HOST_PROFILE_H_
#define QZINST32_PLATFORM_HOST_PROFILE_H_

#include <memory>

#include "platform/host/profile/inifile.h"

namespace qzhost {

// WIN.INI as the profile calls read it (its shadow copy in a what-if run);
// empty when the file is missing, null when it cannot be read. The object
// stays the same as long as the file does.
std::shared_ptr<const IniFile> CurrentWinIni();

}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_PROFILE_H_
