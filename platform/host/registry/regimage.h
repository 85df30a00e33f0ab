// Machine images: a whole emulated machine in one file.
//
// An image is an SQLite database. It holds the registry's own tables, as
// registry.db holds them, from one snapshot of the registry, and two more:
//   machine_image(name TEXT PRIMARY KEY, value TEXT)  -- format, version
//   machine_files(path TEXT PRIMARY KEY, mode INTEGER, data BLOB)
// machine_files has machine.ini and every folder and file of drive_c/, by
// their paths below the root ('/' between names; a folder has NULL data).
// `sqlite3 IMAGE 'SELECT path FROM machine_files'` lists them.
#ifndef QZINST32_PLATFORM_HOST_REGIMAGE_H_
#define QZINST32_PLATFORM_HOST_REGIMAGE_H_

#include <string>

#include "platform/host/machine/machine.h"

namespace qzhost {

// Writes the current machine to `file`, replacing it atomically. The
// registry is read in one snapshot, so commands may run meanwhile.
MachineError SaveMachineImage(const std::string& file);

// Makes the machine at the root the one in `file`. The new machine is built
// beside the root and swapped in at once: if anything fails, the root is as
// it was. With `replace` false a root that holds a machine is refused (as
// init refuses it). No program may have the machine open meanwhile.
MachineError LoadMachineImage(const std::string& file, bool replace);

}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_REGIMAGE_H_
