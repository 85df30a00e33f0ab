// Machine images: saved from one registry snapshot and the root's files;
// loaded into a folder beside the root and swapped in whole.
#include "platform/host/registry/regimage.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <ftw.h>
#include <limits.h>
#include <sqlite3.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "platform/host/machine/hostfile.h"
#include "platform/host/registry/registry.h"

namespace qzhost {
namespace {

const char kImageFormat[] = "qzinst32-machine-image";
const char kImageVersion[] = "1";
const char kConfigName[] = "machine.ini";
const char kDriveName[] = "drive_c";

const char kImageSchema[] =
    "PRAGMA journal_mode=DELETE;"
    "BEGIN;"
    "CREATE TABLE machine_image(name TEXT PRIMARY KEY, value TEXT);"
    "CREATE TABLE machine_files(path TEXT PRIMARY KEY, mode INTEGER NOT NULL, data BLOB);";

// An SQLite connection closed where it goes out of scope.
class Db {
 public:
  ~Db() { sqlite3_close(db_); }
  bool Open(const std::string& path, int flags) {
    return sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) == SQLITE_OK;
  }
  bool Exec(const char* sql) { return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == 0; }
  std::string Error() const { return db_ ? sqlite3_errmsg(db_) : "out of memory"; }
  sqlite3* get() { return db_; }

 private:
  sqlite3* db_ = nullptr;
};

// A prepared statement finalized where it goes out of scope.
class Statement {
 public:
  Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &st_, nullptr); }
  ~Statement() { sqlite3_finalize(st_); }
  sqlite3_stmt* get() { return st_; }

 private:
  sqlite3_stmt* st_ = nullptr;
};

MachineError Failed(const std::string& what, const std::string& why) {
  return {what + (why.empty() ? std::string() : ": " + why)};
}

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) { return remove(path); }

void RemoveTree(const std::string& path) {
  nftw(path.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

bool SyncFile(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = fsync(fd) == 0;
  close(fd);
  return ok;
}

// --- saving ------------------------------------------------------------------

bool AddEntry(sqlite3_stmt* insert, const std::string& rel, mode_t mode, const std::string* data) {
  sqlite3_reset(insert);
  sqlite3_bind_text(insert, 1, rel.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_int(insert, 2, static_cast<int>(mode & 0777));
  if (data == nullptr)
    sqlite3_bind_null(insert, 3);
  else
    sqlite3_bind_blob(insert, 3, data->data(), static_cast<int>(data->size()), SQLITE_TRANSIENT);
  return sqlite3_step(insert) == SQLITE_DONE;
}

// Adds root/rel and, for a folder, everything below it, in name order.
bool AddTree(sqlite3_stmt* insert, const std::string& root, const std::string& rel,
             std::string* why) {
  std::string path = root + "/" + rel;
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return *why = path + ": " + strerror(errno), false;
  if (S_ISREG(st.st_mode)) {
    std::string data;
    if (!ReadWholeFile(path, &data, why)) return false;
    return AddEntry(insert, rel, st.st_mode, &data) || (*why = "cannot store " + rel, false);
  }
  if (!S_ISDIR(st.st_mode)) return *why = path + " is neither a file nor a folder", false;
  if (!AddEntry(insert, rel, st.st_mode, nullptr)) return *why = "cannot store " + rel, false;
  DIR* dir = opendir(path.c_str());
  if (dir == nullptr) return *why = path + ": " + strerror(errno), false;
  std::vector<std::string> names;
  while (struct dirent* e = readdir(dir))
    if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) names.push_back(e->d_name);
  closedir(dir);
  std::sort(names.begin(), names.end());
  for (const std::string& name : names)
    if (!AddTree(insert, root, rel + "/" + name, why)) return false;
  return true;
}

bool AddMachineFiles(const std::string& image, std::string* why) {
  Db db;
  if (!db.Open(image, SQLITE_OPEN_READWRITE) || !db.Exec(kImageSchema))
    return *why = db.Error(), false;
  Statement format(db.get(), "INSERT INTO machine_image VALUES('format', ?), ('version', ?)");
  Statement insert(db.get(), "INSERT INTO machine_files VALUES(?, ?, ?)");
  if (format.get() == nullptr || insert.get() == nullptr) return *why = db.Error(), false;
  sqlite3_bind_text(format.get(), 1, kImageFormat, -1, SQLITE_STATIC);
  sqlite3_bind_text(format.get(), 2, kImageVersion, -1, SQLITE_STATIC);
  if (sqlite3_step(format.get()) != SQLITE_DONE) return *why = db.Error(), false;
  const std::string& root = MachineRoot();
  if (!AddTree(insert.get(), root, kConfigName, why)) return false;
  struct stat st;
  if (stat((root + "/" + kDriveName).c_str(), &st) == 0 &&
      !AddTree(insert.get(), root, kDriveName, why))
    return false;
  return db.Exec("COMMIT") || (*why = db.Error(), false);
}

// --- loading -----------------------------------------------------------------

// A path below the root that an image may hold: machine.ini, or drive_c and
// names below it; never an absolute path, "." or "..".
bool SafeImagePath(const std::string& rel) {
  if (rel == kConfigName) return true;
  if (rel.compare(0, strlen(kDriveName), kDriveName) != 0) return false;
  size_t at = 0;
  while (at <= rel.size()) {
    size_t end = rel.find('/', at);
    if (end == std::string::npos) end = rel.size();
    std::string part = rel.substr(at, end - at);
    if (part.empty() || part == "." || part == "..") return false;
    at = end + 1;
  }
  return rel.find('\0') == std::string::npos;
}

bool WriteNewFile(const std::string& path, const void* data, size_t size, mode_t mode,
                  std::string* why) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                (mode & 0777) | 0600);
  if (fd < 0) return *why = path + ": " + strerror(errno), false;
  const char* p = static_cast<const char*>(data);
  bool ok = true;
  for (size_t done = 0; ok && done < size;) {
    ssize_t n = write(fd, p + done, size - done);
    ok = n > 0;
    if (ok) done += static_cast<size_t>(n);
  }
  ok = ok && fsync(fd) == 0;
  if (!ok) *why = path + ": " + strerror(errno);
  close(fd);
  return ok;
}

bool CheckImage(Db& db, const std::string& file, std::string* why) {
  Statement st(db.get(),
               "SELECT value FROM machine_image WHERE name = 'format'"
               " UNION ALL SELECT value FROM machine_image WHERE name = 'version'");
  std::vector<std::string> found;
  while (st.get() != nullptr && sqlite3_step(st.get()) == SQLITE_ROW) {
    const unsigned char* text = sqlite3_column_text(st.get(), 0);
    found.push_back(text ? reinterpret_cast<const char*>(text) : "");
  }
  if (found.size() == 2 && found[0] == kImageFormat && found[1] == kImageVersion) return true;
  *why = file + " is not a qzinst32 machine image (or of another version)";
  return false;
}

bool ExtractFiles(Db& db, const std::string& into, std::string* why) {
  Statement st(db.get(), "SELECT path, mode, data FROM machine_files ORDER BY path");
  if (st.get() == nullptr) return *why = db.Error(), false;
  bool sawConfig = false;
  int rc;
  while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {
    const unsigned char* text = sqlite3_column_text(st.get(), 0);
    std::string rel = text ? reinterpret_cast<const char*>(text) : "";
    if (!SafeImagePath(rel))
      return *why = "the image holds a path it may not: '" + rel + "'", false;
    mode_t mode = static_cast<mode_t>(sqlite3_column_int(st.get(), 1));
    std::string path = into + "/" + rel;
    if (sqlite3_column_type(st.get(), 2) == SQLITE_NULL) {
      if (mkdir(path.c_str(), (mode & 0777) | 0700) != 0)
        return *why = path + ": " + strerror(errno), false;
      continue;
    }
    sawConfig = sawConfig || rel == kConfigName;
    if (!WriteNewFile(path, sqlite3_column_blob(st.get(), 2),
                      static_cast<size_t>(sqlite3_column_bytes(st.get(), 2)), mode, why))
      return false;
  }
  if (rc != SQLITE_DONE) return *why = db.Error(), false;
  return sawConfig || (*why = "the image holds no machine.ini", false);
}

// The image's registry tables as a registry.db of its own, checked by
// opening it as the registry.
bool ExtractRegistry(Db& image, const std::string& into, std::string* why) {
  std::string path = into + "/registry.db";
  Statement vacuum(image.get(), "VACUUM INTO ?");
  if (vacuum.get() == nullptr) return *why = image.Error(), false;
  sqlite3_bind_text(vacuum.get(), 1, path.c_str(), -1, SQLITE_TRANSIENT);
  if (sqlite3_step(vacuum.get()) != SQLITE_DONE) return *why = image.Error(), false;
  {
    Db db;
    if (!db.Open(path, SQLITE_OPEN_READWRITE) ||
        !db.Exec("PRAGMA journal_mode=DELETE; DROP TABLE machine_files; DROP TABLE machine_image"))
      return *why = db.Error(), false;
  }
  chmod(path.c_str(), 0600);
  RegStore check;
  DWORD error = check.Open(
      path, 1252, [] { return DWORD(ERROR_BADDB); }, why);
  check.Close();
  if (error != ERROR_SUCCESS) *why = "the image's registry cannot be used: " + *why;
  return error == ERROR_SUCCESS && SyncFile(path);
}

// Puts the folder `fresh` where `root` is, in one step where the system can
// (the two are exchanged), else in two renames undone on failure. The old
// machine ends up at `fresh`.
bool SwapIn(const std::string& fresh, const std::string& root, std::string* why) {
  struct stat st;
  if (lstat(root.c_str(), &st) != 0) {
    if (rename(fresh.c_str(), root.c_str()) == 0) return true;
    return *why = "cannot rename " + fresh + " to " + root + ": " + strerror(errno), false;
  }
#ifdef SYS_renameat2
  const unsigned kRenameExchange = 2;  // RENAME_EXCHANGE
  if (syscall(SYS_renameat2, AT_FDCWD, fresh.c_str(), AT_FDCWD, root.c_str(), kRenameExchange) == 0)
    return true;
  if (errno != EINVAL && errno != ENOSYS)
    return *why = "cannot swap " + fresh + " and " + root + ": " + strerror(errno), false;
#endif
  std::string old = fresh + ".old";
  if (rename(root.c_str(), old.c_str()) != 0)
    return *why = "cannot move " + root + " aside: " + strerror(errno), false;
  if (rename(fresh.c_str(), root.c_str()) != 0) {
    *why = "cannot rename " + fresh + " to " + root + ": " + strerror(errno);
    rename(old.c_str(), root.c_str());
    return false;
  }
  return rename(old.c_str(), fresh.c_str()) == 0 || (RemoveTree(old), true);
}

// A root that may be replaced: missing, empty, or (with `replace`) a machine.
bool RootMayBeReplaced(const std::string& root, bool replace, std::string* why) {
  DIR* dir = opendir(root.c_str());
  if (dir == nullptr) return errno == ENOENT || (*why = root + ": " + strerror(errno), false);
  bool empty = true;
  while (struct dirent* e = readdir(dir))
    if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) empty = false;
  closedir(dir);
  if (empty) return true;
  bool machine = access((root + "/" + kConfigName).c_str(), F_OK) == 0;
  if (machine && !replace)
    return *why = "a machine exists already at " + root + " (qzreg load replaces it)", false;
  if (!machine) return *why = root + " holds files but no machine; it is left alone", false;
  return true;
}

// True when `file` would lie inside the root, where saving would read the
// image into itself.
bool InsideRoot(const std::string& file, const std::string& root) {
  std::string folder = file.find('/') == std::string::npos ? "." : file.substr(0, file.rfind('/'));
  if (folder.empty()) folder = "/";
  char realFolder[PATH_MAX], realRoot[PATH_MAX];
  if (realpath(folder.c_str(), realFolder) == nullptr ||
      realpath(root.c_str(), realRoot) == nullptr)
    return false;
  std::string f = realFolder, r = realRoot;
  return f == r || f.compare(0, r.size() + 1, r + "/") == 0;
}

}  // namespace

MachineError SaveMachineImage(const std::string& file) {
  if (InsideRoot(file, MachineRoot()))
    return {"cannot save the machine into itself: " + file + " lies inside " + MachineRoot()};
  DWORD code = 0;
  RegStore* store = MachineRegistry(&code);
  if (store == nullptr) return Failed("cannot open the registry", MachineFault());
  std::string temp = file + ".XXXXXX";
  int fd = mkstemp(&temp[0]);
  if (fd < 0) return Failed("cannot create " + temp, strerror(errno));
  close(fd);
  std::string why;
  bool ok =
      store->SaveCopy(temp, &why) == ERROR_SUCCESS && AddMachineFiles(temp, &why) && SyncFile(temp);
  if (ok && rename(temp.c_str(), file.c_str()) != 0) ok = false, why = strerror(errno);
  if (!ok) {
    unlink(temp.c_str());
    return Failed("cannot save the machine to " + file, why);
  }
  SyncFolderOf(file);
  return {};
}

MachineError LoadMachineImage(const std::string& file, bool replace) {
  CloseMachineRegistry();
  const std::string root = MachineRoot();
  std::string why;
  if (!RootMayBeReplaced(root, replace, &why)) return {why};
  Db image;
  if (access(file.c_str(), R_OK) != 0) return Failed(file, strerror(errno));
  if (!image.Open(file, SQLITE_OPEN_READONLY)) return Failed(file, image.Error());
  if (!CheckImage(image, file, &why)) return {why};
  std::string fresh = root + ".load-XXXXXX";
  if (mkdtemp(&fresh[0]) == nullptr) return Failed("cannot create " + fresh, strerror(errno));
  bool ok = ExtractFiles(image, fresh, &why) && ExtractRegistry(image, fresh, &why) &&
            MakeInstanceLockFile(fresh, &why);
  if (ok) SyncFolderOf(fresh + "/" + kConfigName);
  ok = ok && SwapIn(fresh, root, &why);
  RemoveTree(fresh);  // the half-made machine, or the old one
  if (!ok) return Failed("cannot load " + file + "; the machine at " + root + " is unchanged", why);
  SyncFolderOf(root);
  ForgetMachineSettings();
  return {};
}

}  // namespace qzhost
