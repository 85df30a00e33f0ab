// The built-in default machine image: the files of platform/host/machine/seed.
#ifndef QZINST32_PLATFORM_HOST_SEED_H_
#define QZINST32_PLATFORM_HOST_SEED_H_

#include <cstddef>

namespace qzhost {

struct SeedFile {
  const char* name;  // file name in platform/host/machine/seed ("win98.reg", "win.ini")
  const char* data;
  size_t size;
};

// Ends with an entry whose name is null.
extern const SeedFile kSeedFiles[];

// The named seed file, or null.
const SeedFile* FindSeedFile(const char* name);

}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_SEED_H_
