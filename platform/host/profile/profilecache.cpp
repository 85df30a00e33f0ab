// Per-process cache of parsed profile files, one parse per file per process.
#include "platform/host/profile/profilecache.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <list>
#include <new>

#include "platform/host/machine/hostfile.h"
#include "platform/host/machine/machine.h"
#include "platform/host/machine/prefault.h"

namespace qzhost {
namespace {

// A handful of files is all one run touches; the oldest goes first.
constexpr size_t kMaxCachedFiles = 8;

struct Stamp {
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = 0;
  struct timespec mtime = {};

  bool operator==(const Stamp& o) const {
    return dev == o.dev && ino == o.ino && size == o.size && mtime.tv_sec == o.mtime.tv_sec &&
           mtime.tv_nsec == o.mtime.tv_nsec;
  }
};

struct Entry {
  std::string path;
  unsigned codePage;
  Stamp stamp;
  std::shared_ptr<const IniFile> file;
};

struct Cache {
  unsigned generation = 0;
  std::list<Entry> entries;  // most recently used first
  unsigned parses = 0;
};

Cache& TheCache() {
  static Cache cache;
  if (cache.generation != MachineGeneration()) {
    cache.entries.clear();
    cache.generation = MachineGeneration();
  }
  return cache;
}

Stamp StampOf(const struct stat& st) {
  Stamp s;
  s.dev = st.st_dev;
  s.ino = st.st_ino;
  s.size = st.st_size;
  s.mtime = st.st_mtim;
  return s;
}

std::list<Entry>::iterator Find(Cache& cache, const std::string& path) {
  for (auto it = cache.entries.begin(); it != cache.entries.end(); ++it)
    if (it->path == path) return it;
  return cache.entries.end();
}

void Remember(Cache& cache, Entry entry) {
  auto old = Find(cache, entry.path);
  if (old != cache.entries.end()) cache.entries.erase(old);
  cache.entries.push_front(std::move(entry));
  if (cache.entries.size() > kMaxCachedFiles) cache.entries.pop_back();
}

// Reads an open file whole; it may have grown or shrunk since fstat. The
// buffer is sized once from fstat, so a large file is held without slack, and
// its pages are mapped in one call before they are written.
bool ReadOpenFile(int fd, off_t expected, std::string* text, int* error) {
  text->reserve(static_cast<size_t>(expected));
  PrefaultForWriting(&(*text)[0], static_cast<size_t>(expected));
  text->resize(static_cast<size_t>(expected));
  size_t done = 0;
  char more[4096];
  for (;;) {
    bool full = done == text->size();
    ssize_t n = full ? read(fd, more, sizeof more) : read(fd, &(*text)[done], text->size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return *error = errno, false;
    if (n == 0) break;
    if (full) {
      if (text->size() + static_cast<size_t>(n) > kMaxProfileBytes) return *error = EFBIG, false;
      text->append(more, static_cast<size_t>(n));
    }
    done += static_cast<size_t>(n);
  }
  text->resize(done);
  return true;
}

// 0 when the file may be read whole; a pipe or a device could block or never end.
int RefusalOf(const struct stat& st) {
  if (S_ISDIR(st.st_mode)) return EISDIR;
  if (!S_ISREG(st.st_mode)) return EACCES;
  if (static_cast<unsigned long long>(st.st_size) > kMaxProfileBytes) return EFBIG;
  return 0;
}

bool ReadFresh(const std::string& path, Stamp* stamp, std::string* text, int* error) {
  int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return *error = errno, false;
  struct stat st = {};
  bool ok = false;
  if (fstat(fd, &st) != 0)
    *error = errno;
  else if ((*error = RefusalOf(st)) == 0)
    ok = ReadOpenFile(fd, st.st_size, text, error);
  close(fd);
  *stamp = StampOf(st);
  return ok;
}

}  // namespace

bool LoadProfile(const std::string& path, unsigned codePage, LoadedProfile* out, int* error) {
  Cache& cache = TheCache();
  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
    if (errno != ENOENT && errno != ENOTDIR) return *error = errno, false;
    ForgetProfile(path);
    out->file = std::make_shared<const IniFile>(std::string(), codePage);
    out->exists = false;
    return true;
  }
  auto it = Find(cache, path);
  if (it != cache.entries.end() && it->codePage == codePage && it->stamp == StampOf(st)) {
    cache.entries.splice(cache.entries.begin(), cache.entries, it);
    out->file = it->file;
    out->exists = true;
    return true;
  }
  try {
    Entry entry{path, codePage, {}, nullptr};
    std::string text;
    if (!ReadFresh(path, &entry.stamp, &text, error)) return false;
    entry.file = std::make_shared<const IniFile>(std::move(text), codePage);
    ++cache.parses;
    out->file = entry.file;
    out->exists = true;
    Remember(cache, std::move(entry));
  } catch (const std::bad_alloc&) {
    *error = ENOMEM;
    return false;
  }
  return true;
}

bool StoreProfile(const std::string& path, unsigned codePage, std::string text, int* error) {
  Cache& cache = TheCache();
  if (text.size() > kMaxProfileBytes) return *error = EFBIG, false;
  std::string why;
  if (!WriteFileAtomically(path, text, &why)) {
    *error = errno;
    ForgetProfile(path);
    return false;
  }
  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
    ForgetProfile(path);
    return true;
  }
  try {
    Entry entry{path, codePage, StampOf(st), nullptr};
    entry.file = std::make_shared<const IniFile>(std::move(text), codePage);
    ++cache.parses;
    Remember(cache, std::move(entry));
  } catch (const std::bad_alloc&) {
    ForgetProfile(path);  // the file is written; it is read again next time
  }
  return true;
}

void ForgetProfile(const std::string& path) {
  Cache& cache = TheCache();
  auto it = Find(cache, path);
  if (it != cache.entries.end()) cache.entries.erase(it);
}

void ForgetAllProfiles() { TheCache().entries.clear(); }

unsigned ProfileParseCount() { return TheCache().parses; }

}  // namespace qzhost
