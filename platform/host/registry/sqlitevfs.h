// The SQLite file layer the registry opens its database with.
#ifndef QZINST32_PLATFORM_HOST_SQLITEVFS_H_
#define QZINST32_PLATFORM_HOST_SQLITEVFS_H_

namespace qzhost {

// The name of a VFS that is SQLite's default one, except for two things:
// - A log (-wal) file that exists already is opened without the create flag.
//   SQLite syncs the folder on the first sync of every log it opened with
//   that flag, which only a log just created needs; the registry keeps its
//   log between runs.
// - The last connection to close a database leaves its shared-memory (-shm)
//   file empty rather than as it was.
// - A log that SQLite empties at close is kept, its header overwritten,
//   when it is at most kKeptLogBytes long (see sqlitevfs.cpp).
const char* RegistryVfsName();

// The registry's journal_size_limit as well: a log that outgrew it is cut
// back at the next commit that starts it anew, and to nothing at close.
const long long kKeptLogBytes = 1 << 20;

}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_SQLITEVFS_H_
