// Mapping pages ahead of their use, in one call: the program's own image and
// the heap at start, and a large buffer before it is filled.
#include "platform/host/machine/prefault.h"

#include <link.h>
#include <malloc.h>
#include <stdint.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <unistd.h>

namespace qzhost {
namespace {

// Values of Linux 5.14, for C libraries whose headers predate them.
#ifndef MADV_POPULATE_READ
#define MADV_POPULATE_READ 22
#endif
#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif

// The end of the data made read-only after relocation, which starts the
// writable segment: those pages are mapped already and cannot be written.
uintptr_t ReadOnlyAfterRelocationEnd(const struct dl_phdr_info* info, uintptr_t page) {
  for (int i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr)& ph = info->dlpi_phdr[i];
    if (ph.p_type == PT_GNU_RELRO)
      return (info->dlpi_addr + ph.p_vaddr + ph.p_memsz + page - 1) & ~(page - 1);
  }
  return 0;
}

int PrefaultSegments(struct dl_phdr_info* info, size_t, void* data) {
  size_t* mapped = static_cast<size_t*>(data);
  const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  const uintptr_t relroEnd = ReadOnlyAfterRelocationEnd(info, page);
  for (int i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr)& ph = info->dlpi_phdr[i];
    if (ph.p_type != PT_LOAD || ph.p_memsz == 0) continue;
    uintptr_t start = (info->dlpi_addr + ph.p_vaddr) & ~(page - 1);
    uintptr_t end = (info->dlpi_addr + ph.p_vaddr + ph.p_memsz + page - 1) & ~(page - 1);
    // Writing a page of data is what copies it; reading would map a page
    // that the first write then replaces.
    const bool writable = (ph.p_flags & PF_W) != 0;
    if (writable && relroEnd > start && relroEnd <= end) start = relroEnd;
    if (start >= end) continue;
    int advice = writable ? MADV_POPULATE_WRITE : MADV_POPULATE_READ;
    if (madvise(reinterpret_cast<void*>(start), end - start, advice) == 0) *mapped += end - start;
  }
  return 1;  // the program itself comes first; the libraries after it need no haste
}

// Below this, the faults cost less than the call.
const size_t kSmallestPrefault = 256 * 1024;

}  // namespace

size_t PrefaultProgramImage() {
  size_t mapped = 0;
  dl_iterate_phdr(PrefaultSegments, &mapped);
  return mapped;
}

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
