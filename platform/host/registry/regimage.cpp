// Machine images: saved from one registry snapshot and the root's files under
// the instance lock; checked whole, loaded into a folder beside the root and
// swapped in whole under the instance lock and the registry's write lock.
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
#include "platform/host/machine/lockfile.h"
#include "platform/host/machine/staletemp.h"
#include "platform/host/registry/regimage_db.h"
#include "platform/host/registry/registry.h"
#include "platform/host/registry/sqlitevfs.h"

namespace qzhost {
namespace {

const char* const kConfigName = kImageConfigName;
const char* const kDriveName = kImageDriveName;
typedef ImageDb Db;
typedef ImageStatement Statement;
// What the temporaries beside an image and beside the root are named after,
// before the pid of their process (staletemp.h).
const char kSaveInfix[] = ".qzsave-";
const char kLoadInfix[] = ".load-";

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

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

// A profile file's temporary, "<name>.qztmp<pid>", that a killed command
// left behind (no command runs while a save holds the machine): no file of
// the machine.
bool IsTemporary(const char* name) {
  const char* at = strstr(name, ".qztmp");
  if (at == nullptr) return false;
  at += 6;
  if (*at == '\0') return false;
  while (*at >= '0' && *at <= '9') ++at;
  return *at == '\0';
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
    if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0 && !IsTemporary(e->d_name))
      names.push_back(e->d_name);
  closedir(dir);
  std::sort(names.begin(), names.end());
  for (const std::string& name : names)
    if (!AddTree(insert, root, rel + "/" + name, why)) return false;
  return true;
}

bool AddMachineFiles(const std::string& image, std::string* why) {
  Db db;
  std::string schema = std::string("PRAGMA journal_mode=DELETE; BEGIN;") + kImageTablesSql;
  if (!db.Open(image, SQLITE_OPEN_READWRITE) || !db.Exec(schema.c_str()))
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

bool ExtractFiles(Db& db, const std::string& into, std::string* why) {
  Statement st(db.get(), "SELECT path, mode, data FROM machine_files ORDER BY path");
  if (st.get() == nullptr) return *why = db.Error(), false;
  bool sawConfig = false;
  int rc;
  while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {
    const unsigned char* text = sqlite3_column_text(st.get(), 0);
    std::string rel = text ? reinterpret_cast<const char*>(text) : "";  // checked whole before
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
  if (error == ERROR_SUCCESS) error = check.CheckTree(why);
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

// A root that may be replaced: missing, empty (but for the lock file this
// load holds), or (with `replace`) a machine.
bool RootMayBeReplaced(const std::string& root, bool replace, std::string* why) {
  DIR* dir = opendir(root.c_str());
  if (dir == nullptr) return errno == ENOENT || (*why = root + ": " + strerror(errno), false);
  bool empty = true;
  while (struct dirent* e = readdir(dir))
    if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0 &&
        strcmp(e->d_name, "instance.lock") != 0)
      empty = false;
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

// --- holding the machine -----------------------------------------------------

// Writes that reach a registry after a load swapped it out would be stored
// in a file no one reads again: the old registry refuses them instead.
const char kRetiredRegistry[] =
    "CREATE TRIGGER qz_replaced_keys_insert BEFORE INSERT ON keys"
    " BEGIN SELECT RAISE(ABORT, 'the machine was replaced by a loaded image'); END;"
    "CREATE TRIGGER qz_replaced_keys_update BEFORE UPDATE ON keys"
    " BEGIN SELECT RAISE(ABORT, 'the machine was replaced by a loaded image'); END;"
    "CREATE TRIGGER qz_replaced_keys_delete BEFORE DELETE ON keys"
    " BEGIN SELECT RAISE(ABORT, 'the machine was replaced by a loaded image'); END;"
    "CREATE TRIGGER qz_replaced_vals_insert BEFORE INSERT ON vals"
    " BEGIN SELECT RAISE(ABORT, 'the machine was replaced by a loaded image'); END;"
    "CREATE TRIGGER qz_replaced_vals_update BEFORE UPDATE ON vals"
    " BEGIN SELECT RAISE(ABORT, 'the machine was replaced by a loaded image'); END;"
    "CREATE TRIGGER qz_replaced_vals_delete BEFORE DELETE ON vals"
    " BEGIN SELECT RAISE(ABORT, 'the machine was replaced by a loaded image'); END;"
    "COMMIT";

// The locks a save or a load holds, dropped where it goes out of scope.
class MachineHold {
 public:
  ~MachineHold() {
    registry_.Close();
    for (int fd : locks_) close(fd);
  }

  // The root's instance lock, waiting up to `waitMs`. A root that is missing
  // (init --from makes it) or read-only without a lock file has none to take.
  bool TakeInstance(const std::string& root, int waitMs, ImageOutcome* outcome) {
    int fd = -1;
    LockTry got = WaitForLockFile(InstanceLockPath(root), waitMs, &fd);
    if (got == LockTry::kHeld) locks_.push_back(fd);
    if (got != LockTry::kBusy) return true;
    outcome->refusal = ImageRefusal::kInstance;
    outcome->error = {"another instance is running on the machine at " + root +
                      " (a qzinst32 command, or a save or load); try again, or wait for it"
                      " with --wait[=SECONDS]"};
    return false;
  }

  // The write lock of the root's registry, so that no change of another
  // program is under way while the root is swapped.
  bool TakeRegistry(const std::string& root, int waitMs, ImageOutcome* outcome) {
    std::string path = root + "/registry.db";
    if (access(path.c_str(), F_OK) != 0) return true;
    if (registry_.Open(path, SQLITE_OPEN_READWRITE, RegistryVfsName())) {
      int on = 1;  // the log files stay, as the registry keeps them
      sqlite3_file_control(registry_.get(), "main", SQLITE_FCNTL_PERSIST_WAL, &on);
      sqlite3_busy_timeout(registry_.get(), waitMs);
      if (registry_.Exec("BEGIN IMMEDIATE")) return true;
    }
    int code = sqlite3_errcode(registry_.get());
    if (code == SQLITE_BUSY || code == SQLITE_LOCKED) {
      outcome->refusal = ImageRefusal::kLocked;
      outcome->error = {"the registry is locked by another program (" + path +
                        "); nothing was loaded"};
    } else {
      outcome->refusal = ImageRefusal::kMachine;
      outcome->error = Failed("the registry " + path + " cannot be used", registry_.Error());
    }
    registry_.Close();
    return false;
  }

  // Locks the new root's lock file before it is swapped in.
  bool LockNewRoot(const std::string& fresh, std::string* why) {
    int fd = -1;
    if (TryLockFile(InstanceLockPath(fresh), &fd) != LockTry::kHeld)
      return *why = "cannot make " + InstanceLockPath(fresh), false;
    locks_.push_back(fd);
    return true;
  }

  // After the swap: the old registry refuses the writes of programs that
  // still have it open.
  void RetireOldRegistry() {
    if (registry_.get() != nullptr) registry_.Exec(kRetiredRegistry);
    registry_.Close();
  }

 private:
  ImageDb registry_;
  std::vector<int> locks_;
};

}  // namespace

ImageOutcome SaveMachineImage(const std::string& file, int waitMs) {
  ImageOutcome outcome;
  const std::string& root = MachineRoot();
  if (InsideRoot(file, root)) {
    outcome.error = {"cannot save the machine into itself: " + file + " lies inside " + root};
    return outcome;
  }
  MachineHold hold;
  if (!hold.TakeInstance(root, waitMs, &outcome)) return outcome;
  DWORD code = 0;
  RegStore* store = MachineRegistry(&code);
  if (store == nullptr) {
    outcome.refusal = ImageRefusal::kMachine;
    outcome.error = Failed("cannot open the registry", MachineFault());
    return outcome;
  }
  RemoveStaleTemporaries(FolderOf(file), BaseName(file) + kSaveInfix);
  std::string temp = TemporaryPattern(file + kSaveInfix);
  int fd = mkstemp(&temp[0]);
  if (fd < 0) {
    outcome.error = Failed("cannot create " + temp, strerror(errno));
    return outcome;
  }
  close(fd);
  std::string why;
  bool ok =
      store->SaveCopy(temp, &why) == ERROR_SUCCESS && AddMachineFiles(temp, &why) && SyncFile(temp);
  if (ok && rename(temp.c_str(), file.c_str()) != 0) ok = false, why = strerror(errno);
  if (!ok) {
    unlink(temp.c_str());
    outcome.error = Failed("cannot save the machine to " + file, why);
    return outcome;
  }
  SyncFolderOf(file);
  return outcome;
}

namespace {

// Builds the machine of the checked image in `fresh` and swaps it in.
bool BuildAndSwap(Db& image, const std::string& fresh, const std::string& root, MachineHold* hold,
                  std::string* why) {
  bool ok = ExtractFiles(image, fresh, why) && ExtractRegistry(image, fresh, why) &&
            hold->LockNewRoot(fresh, why);
  if (ok) SyncFolderOf(fresh + "/" + kConfigName);
  return ok && SwapIn(fresh, root, why);
}

}  // namespace

ImageOutcome LoadMachineImage(const std::string& file, bool replace, int waitMs) {
  CloseMachineRegistry();
  ImageOutcome outcome;
  const std::string root = MachineRoot();
  std::string why;
  MachineHold hold;
  if (!hold.TakeInstance(root, waitMs, &outcome)) return outcome;
  if (!RootMayBeReplaced(root, replace, &why)) return outcome.error = {why}, outcome;
  Db image;
  if (access(file.c_str(), R_OK) != 0)
    return outcome.error = Failed(file, strerror(errno)), outcome;
  if (!image.Open(file, SQLITE_OPEN_READONLY))
    return outcome.error = Failed(file, image.Error()), outcome;
  if (!CheckImageWhole(image, file, &why)) return outcome.error = {why}, outcome;
  if (!hold.TakeRegistry(root, waitMs, &outcome)) return outcome;
  RemoveStaleTemporaries(FolderOf(root), BaseName(root) + kLoadInfix);
  std::string fresh = TemporaryPattern(root + kLoadInfix);
  if (mkdtemp(&fresh[0]) == nullptr)
    return outcome.error = Failed("cannot create " + fresh, strerror(errno)), outcome;
  bool ok = BuildAndSwap(image, fresh, root, &hold, &why);
  if (ok) hold.RetireOldRegistry();
  RemoveTree(fresh);  // the half-made machine, or the old one
  if (!ok) {
    outcome.error =
        Failed("cannot load " + file + "; the machine at " + root + " is unchanged", why);
    return outcome;
  }
  SyncFolderOf(root);
  ForgetMachineSettings();
  return outcome;
}

}  // namespace qzhost
