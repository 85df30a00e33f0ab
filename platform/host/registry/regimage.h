// Machine images: a whole emulated machine in one file.
//
// An image is an SQLite database. It holds the registry's own tables, as
// registry.db holds them, and two more:
//   machine_image(name TEXT PRIMARY KEY, value TEXT)  -- format, version
//   machine_files(path TEXT PRIMARY KEY, mode INTEGER, data BLOB)
// machine_files has machine.ini and every folder and file of drive_c/, by
// their paths below the root ('/' between names; a folder has NULL data).
// `sqlite3 IMAGE 'SELECT path FROM machine_files'` lists them.
//
// Saving and loading hold the machine's instance lock (lockfile.h) as a
// command does: a save sees the registry and the files of one moment, and a
// load never replaces a root that a command or another load works on.
#ifndef QZINST32_PLATFORM_HOST_REGIMAGE_H_
#define QZINST32_PLATFORM_HOST_REGIMAGE_H_

#include <string>

#include "platform/host/machine/machine.h"

namespace qzhost {

// Why an image was not saved or loaded, when that was not the image's fault.
enum class ImageRefusal {
  kNone,
  kInstance,  // another instance holds the machine past the wait
  kLocked,    // another program holds the registry's write lock past the wait
  kMachine,   // the machine's own registry cannot be used
};

struct ImageOutcome {
  MachineError error;
  ImageRefusal refusal = ImageRefusal::kNone;
  bool failed() const { return error.failed(); }
};

// Writes the current machine to `file`, replacing it atomically, under the
// instance lock (waiting up to `waitMs` for it): the registry is read in one
// snapshot while no command runs, then the files.
ImageOutcome SaveMachineImage(const std::string& file, int waitMs = 0);

// Makes the machine at the root the one in `file`. The image is checked whole
// first; the new machine is built beside the root and swapped in at once: if
// anything fails, the root is as it was. With `replace` false a root that
// holds a machine is refused (as init refuses it). Holds the instance lock
// and the registry's write lock while it swaps (waiting up to `waitMs` for
// each); a program that still has the old registry open finds its later
// writes refused, never stored where no one reads them.
ImageOutcome LoadMachineImage(const std::string& file, bool replace, int waitMs = 0);

}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_REGIMAGE_H_
