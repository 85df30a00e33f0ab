// Mapping pages ahead: the heap at start, a large buffer.
#include "platform/host/machine/prefault.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <vector>

namespace {

struct Range {
  uintptr_t start, end;
  bool writable;
};

// Pages of the range that have no page table entry, from /proc/self/pagemap.
size_t PagesNotMapped(int pagemap, const Range& range) {
  size_t missing = 0;
  for (uintptr_t at = range.start; at < range.end; at += 4096) {
    uint64_t entry = 0;
    if (pread(pagemap, &entry, sizeof entry, static_cast<off_t>(at / 4096 * 8)) != sizeof entry)
      return SIZE_MAX;
    if ((entry >> 63) == 0) ++missing;
  }
  return missing;
}

// How a check run in a child ended.
enum ChildOutcome { kChildPassed = 0, kChildFailed = 1, kNoPagemap = 3 };

// Whether this kernel maps pages ahead on request (Linux 5.14 and later), asked
// of a scratch mapping rather than of the functions under test, so that a
// fault of theirs fails the test instead of passing for an old kernel.
bool KernelMapsAhead() {
  const size_t size = 4 * 4096;
  void* map = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (map == MAP_FAILED) return false;
  const int kPopulateWrite = 23;  // MADV_POPULATE_WRITE, for older headers
  const bool maps = madvise(map, size, kPopulateWrite) == 0;
  munmap(map, size);
  return maps;
}

bool HasPagemap() { return access("/proc/self/pagemap", R_OK) == 0; }

// Skips where the machine lacks what the check needs; nothing else skips.
#define SKIP_WITHOUT_MAPPING_AHEAD()                                                             \
  do {                                                                                           \
    if (!KernelMapsAhead()) GTEST_SKIP() << "this kernel cannot map pages ahead (Linux < 5.14)"; \
    if (!HasPagemap()) GTEST_SKIP() << "no readable /proc/self/pagemap";                         \
  } while (0)

TEST(PrefaultTest, ALargeBufferIsMappedBeforeItIsWrittenAndASmallOneIsLeftAlone) {
  SKIP_WITHOUT_MAPPING_AHEAD();
  const size_t size = 1 << 20;
  void* map = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(map, MAP_FAILED);
  char* buffer = static_cast<char*>(map);
  int pagemap = open("/proc/self/pagemap", O_RDONLY | O_CLOEXEC);
  ASSERT_GE(pagemap, 0);
  const Range whole{reinterpret_cast<uintptr_t>(buffer), reinterpret_cast<uintptr_t>(buffer) + size,
                    true};
  const size_t pages = size / 4096;
  EXPECT_EQ(PagesNotMapped(pagemap, whole), pages);

  EXPECT_FALSE(qzhost::PrefaultForWriting(buffer, 64 * 1024));  // small: faults are cheaper
  EXPECT_EQ(PagesNotMapped(pagemap, whole), pages);

  // A buffer that starts and ends inside pages: its whole pages are mapped.
  EXPECT_TRUE(qzhost::PrefaultForWriting(buffer + 100, size - 200));
  const Range inner{whole.start + 4096, whole.end - 4096, true};
  EXPECT_EQ(PagesNotMapped(pagemap, inner), 0u);
  for (size_t i = 0; i < size; i += 4096) EXPECT_EQ(buffer[i], 0) << i;  // still zeros
  close(pagemap);
  munmap(map, size);
}

// What the run allocates after the call lands on pages mapped already. In a
// child, so that the settings and the heap of the test program stay as they
// are. Not built under the sanitizer, whose allocator keeps a heap of its own.
#if !defined(__SANITIZE_ADDRESS__)
// Runs `check` in a forked child, which passes it /proc/self/pagemap, and
// gives its outcome; -1 when the child could not be run or did not exit.
int OutcomeInChild(const std::function<ChildOutcome(int pagemap)>& check) {
  pid_t child = fork();
  if (child < 0) return -1;
  if (child == 0) {
    int pagemap = open("/proc/self/pagemap", O_RDONLY | O_CLOEXEC);
    _exit(pagemap < 0 ? kNoPagemap : check(pagemap));
  }
  int status = 0;
  if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

TEST(PrefaultTest, BlocksAllocatedAfterTheHeapIsPreparedFindTheirPagesMapped) {
  SKIP_WITHOUT_MAPPING_AHEAD();
  const int outcome = OutcomeInChild([](int pagemap) {
    if (!qzhost::PrepareRunHeap(2 << 20)) return kChildFailed;
    // Larger than malloc's usual threshold for a mapping of its own.
    const size_t size = 512 * 1024;
    char* block = static_cast<char*>(malloc(size));
    if (block == nullptr) return kChildFailed;
    const uintptr_t start = (reinterpret_cast<uintptr_t>(block) + 4095) & ~uintptr_t(4095);
    const Range inner{start, (reinterpret_cast<uintptr_t>(block) + size) & ~uintptr_t(4095), true};
    return PagesNotMapped(pagemap, inner) == 0 ? kChildPassed : kChildFailed;
  });
  EXPECT_EQ(outcome, kChildPassed) << "a block allocated later found unmapped pages";
}
#endif

}  // namespace
