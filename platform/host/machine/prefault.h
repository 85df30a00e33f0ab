// Mapping pages ahead of their use, in one call: the heap at start, and a
// large buffer before it is filled.
#ifndef QZINST32_PLATFORM_HOST_PREFAULT_H_
#define QZINST32_PLATFORM_HOST_PREFAULT_H_

#include <stddef.h>

namespace qzhost {

// Sets malloc to keep for the run what it frees (no trimming, and blocks up
// to 32 MB from the heap rather than mappings of their own), then maps the
// first `bytes` of the heap for writing in one call. The blocks of a run (a
// large machine's port and monitor lists, the records of its enumerations)
// then land on pages mapped already, not each on fresh pages that fault one
// by one. False where nothing was mapped; malloc works either way.
bool PrepareRunHeap(size_t bytes);

// Maps the whole pages within [data, data + size) for writing, in one call: a
// buffer about to be filled (a file read whole) then takes no page fault for
// each of its pages. Small buffers are left alone. False where nothing was
// mapped; the buffer is usable either way.
bool PrefaultForWriting(void* data, size_t size);

}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_PREFAULT_H_
