// The private folder of a what-if or reporting run, for its shadow files.
#ifndef QZINST32_PLATFORM_HOST_TEMPFOLDER_H_
#define QZINST32_PLATFORM_HOST_TEMPFOLDER_H_

#include <string>

namespace qzhost {

// A new private folder "<prefix>-<pid>-XXXXXX" under $TMPDIR (or /tmp), after
// removing those of the prefix whose run was killed; empty with *why on
// failure.
std::string MakeTempFolder(const char* prefix, std::string* why);
// Removes the folder with everything in it (symbolic links are not followed).
void RemoveTree(const std::string& folder);

}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_TEMPFOLDER_H_
