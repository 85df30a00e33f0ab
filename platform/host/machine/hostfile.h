// Host file helpers: whole-file reads and atomic, durable replacement.
#ifndef QZINST32_PLATFORM_HOST_HOSTFILE_H_
#define QZINST32_PLATFORM_HOST_HOSTFILE_H_

#include <string>

namespace qzhost {

// False with *why set (and errno kept) when the file cannot be read.
bool ReadWholeFile(const std::string& path, std::string* text, std::string* why);

// Writes a temporary file beside `path` (mode 0600), syncs it and renames it
// over `path`, so a reader sees the old text or the new one, never a part.
// On failure the old file is untouched, the temporary removed, errno kept.
bool WriteFileAtomically(const std::string& path, const std::string& text, std::string* why);

// Syncs the folder that holds `path`, so that a name created or renamed in it
// survives a power cut.
void SyncFolderOf(const std::string& path);

}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_HOSTFILE_H_
