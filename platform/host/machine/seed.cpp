// Lookup of the built-in default machine image.
#include "platform/host/machine/seed.h"

#include <cstring>

namespace qzhost {

const SeedFile* FindSeedFile(const char* name) {
  for (const SeedFile* f = kSeedFiles; f->name != nullptr; ++f) {
    if (strcmp(f->name, name) == 0) return f;
  }
  return nullptr;
}

}  // namespace qzhost
