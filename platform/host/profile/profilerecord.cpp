// The profile calls noting each file before the run's first change of it.
#include "platform/host/profile/profilerecord.h"

#include <sys/stat.h>
#include <unistd.h>

#include "platform/host/machine/hostfile.h"

namespace qzhost {
namespace {

ProfileChangeRecord* g_record = nullptr;

std::string Folder(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

void RecordProfileChanges(ProfileChangeRecord* record) { g_record = record; }

std::string RecordedProfilePath(const std::string& path, bool forWrite) {
  if (g_record == nullptr || path.empty()) return path;
  auto known = g_record->files.find(path);
  if (known != g_record->files.end()) return known->second.current;
  if (!forWrite) return path;
  struct stat st;
  bool exists = lstat(path.c_str(), &st) == 0;
  if (exists && (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))) return path;
  ProfileFileRecord file;
  std::string why;
  if (exists && !ReadWholeFile(path, &file.original, &why)) return path;
  file.current = path;
  if (!g_record->shadowFolder.empty()) {
    if (access(Folder(path).c_str(), W_OK | X_OK) != 0) return path;
    std::string shadow =
        g_record->shadowFolder + "/profile" + std::to_string(g_record->files.size());
    if (exists && !WriteFileAtomically(shadow, file.original, &why)) return path;
    file.current = shadow;
  }
  return g_record->files.emplace(path, file).first->second.current;
}

}  // namespace qzhost
