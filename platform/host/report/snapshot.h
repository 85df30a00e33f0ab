// Copies of the machine's files for what-if and reporting runs.
#ifndef QZINST32_PLATFORM_HOST_SNAPSHOT_H_
#define QZINST32_PLATFORM_HOST_SNAPSHOT_H_

#include <string>

namespace qzhost {

// Copies the SQLite database at `source` (which must exist) into `target`
// with SQLite's online backup, so a consistent state is copied even while
// others write. The source is opened as the registry opens it and left as it
// was, its log and shared-memory files included. False with *why on failure.
bool BackupDatabase(const std::string& source, const std::string& target, std::string* why);

// A new private folder under $TMPDIR (or /tmp); empty with *why on failure.
std::string MakeTempFolder(const char* prefix, std::string* why);
// Removes the folder with everything in it (symbolic links are not followed).
void RemoveTree(const std::string& folder);

}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_SNAPSHOT_H_
