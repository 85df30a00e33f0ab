// Per-process cache of parsed profile files, one parse per file per process.
//
// Entries are keyed by host path and checked against the file's identity,
// size and modification time on every use, so a file changed by another
// process is read again; our own writes update the entry in place.
#ifndef QZINST32_PLATFORM_HOST_PROFILECACHE_H_
#define QZINST32_PLATFORM_HOST_PROFILECACHE_H_

#include <memory>
#include <string>

#include "platform/host/profile/inifile.h"

namespace qzhost {

// Larger files are refused (EFBIG) rather than read into memory.
constexpr size_t kMaxProfileBytes = size_t{256} << 20;

struct LoadedProfile {
  std::shared_ptr<const IniFile> file;  // set on success; empty text for a missing file
  bool exists = false;
};

// The parsed file at `path`; a missing file (or folder) loads as empty with
// exists false. False with *error (an errno value) when it cannot be read.
bool LoadProfile(const std::string& path, unsigned codePage, LoadedProfile* out, int* error);

// Replaces the file with `text` atomically (temporary file, sync, rename,
// mode 0600) and caches the new text. On failure the old file is untouched
// and *error holds the errno value.
bool StoreProfile(const std::string& path, unsigned codePage, std::string text, int* error);

void ForgetProfile(const std::string& path);
void ForgetAllProfiles();

// How many files this process has parsed so far.
unsigned ProfileParseCount();

}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_PROFILECACHE_H_
