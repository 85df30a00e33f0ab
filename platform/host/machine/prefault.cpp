// Mapping pages ahead of their use, in one call: the heap at start, and a
// large buffer before it is filled.
#include "platform/host/machine/prefault.h"

#include <malloc.h>
#include <stdint.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <unistd.h>

namespace qzhost {
namespace {

// The value of Linux 5.14, for C libraries whose headers predate it.
#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif

// Below this, the faults cost less than the call.
const size_t kSmallestPrefault = 256 * 1024;

}  // namespace

bool PrepareRunHeap(size_t bytes) {
  // A run is short: memory it frees is better kept for its next allocation
  // than given back, so that its pages, once mapped, serve again.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 64 << 20);
  // One block as large as the heap is to be, mapped and handed back: the
  // blocks carved out of it later find their pages mapped.
  void* block = malloc(bytes);
  if (block == nullptr) return false;
  const bool mapped = PrefaultForWriting(block, bytes);
  free(block);
  return mapped;
}

bool PrefaultForWriting(void* data, size_t size) {
  if (size < kSmallestPrefault) return false;
  const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  uintptr_t start = (reinterpret_cast<uintptr_t>(data) + page - 1) & ~(page - 1);
  uintptr_t end = (reinterpret_cast<uintptr_t>(data) + size) & ~(page - 1);
  return start < end &&
         madvise(reinterpret_cast<void*>(start), end - start, MADV_POPULATE_WRITE) == 0;
}

}  // namespace qzhost
