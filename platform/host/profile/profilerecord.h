// What a run changed in profile files, noted by the profile calls: each
// file's text right before the run's first change of it. In a what-if run
// the change goes to a shadow copy instead, which the run's later reads of
// the file see.
#ifndef QZINST32_PLATFORM_HOST_PROFILERECORD_H_
#define QZINST32_PLATFORM_HOST_PROFILERECORD_H_

#include <map>
#include <string>

namespace qzhost {

struct ProfileFileRecord {
  std::string original;  // the text before the change; empty for a missing file
  std::string current;   // where the run reads and writes the file since
};

struct ProfileChangeRecord {
  std::string shadowFolder;                        // what-if: where the copies go; empty for none
  std::map<std::string, ProfileFileRecord> files;  // by host path
};

// Has the profile calls note each file in `record` before the run's first
// change of it; null stops. The record must outlive its use.
void RecordProfileChanges(ProfileChangeRecord* record);

// The host path to use for the profile file at `path`: its shadow copy once
// it has one. With `forWrite`, right before a change, the file is noted
// first. A file that cannot be written (its folder missing or closed, the
// file not a plain file) is not noted: the write then fails on it exactly as
// in a real run, and nothing changes.
std::string RecordedProfilePath(const std::string& path, bool forWrite);

}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_PROFILERECORD_H_
