// qzreg diff A B: what differs between two machines, each a machine root or
// an image. The registry's net differences as a .reg file that makes B of A,
// then the profile files by section and key, other files under drive_c by
// content, and the spooler objects behind the differences. Neither machine is
// changed: each registry is read from a copy made in one snapshot.
#include <sqlite3.h>
#include <stdio.h>
#include <stdlib.h>
#include <strings.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/host/machine/hostfile.h"
#include "platform/host/machine/machineconfig.h"
#include "platform/host/registry/regstore.h"
#include "platform/host/report/changes.h"
#include "platform/host/report/changes_format.h"
#include "platform/host/report/jsontext.h"
#include "tools/qzreg.h"

namespace qzreg {
namespace {

namespace fs = std::filesystem;

struct MachineFile {
  std::string path;  // below the root, '/' between names: "drive_c/WINDOWS/WIN.INI"
  bool folder = false;
  std::string data;
};

// One side of the comparison, read into a scratch folder.
struct Side {
  std::string given;
  bool image = false;
  qzhost::MachineConfig config;
  std::string registryCopy;
  std::map<std::string, MachineFile> files;  // by the path in upper case (Windows' names)
};

std::string Upper(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

void AddFile(Side* side, MachineFile file) {
  if (file.path.compare(0, 8, "drive_c/") != 0) return;
  side->files[Upper(file.path)] = std::move(file);
}

// Copies the database at `from` into `to` from one snapshot, read-only.
bool CopyDatabase(const std::string& from, const std::string& to, std::string* why) {
  sqlite3* db = nullptr;
  bool ok = sqlite3_open_v2(from.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK;
  sqlite3_stmt* st = nullptr;
  if (ok) ok = sqlite3_prepare_v2(db, "VACUUM INTO ?", -1, &st, nullptr) == SQLITE_OK;
  if (ok) {
    sqlite3_bind_text(st, 1, to.c_str(), -1, SQLITE_TRANSIENT);
    ok = sqlite3_step(st) == SQLITE_DONE;
  }
  if (!ok) *why = from + ": " + (db ? sqlite3_errmsg(db) : "cannot open");
  sqlite3_finalize(st);
  sqlite3_close(db);
  return ok;
}

bool ExecOn(const std::string& path, const char* sql, std::string* why) {
  sqlite3* db = nullptr;
  bool ok = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK &&
            sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
  if (!ok) *why = path + ": " + (db ? sqlite3_errmsg(db) : "cannot open");
  sqlite3_close(db);
  return ok;
}

// machine_files of an image: machine.ini and everything of drive_c/.
bool ReadImageFiles(const std::string& image, Side* side, std::string* why) {
  sqlite3* db = nullptr;
  sqlite3_stmt* st = nullptr;
  bool ok =
      sqlite3_open_v2(image.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
      sqlite3_prepare_v2(db, "SELECT path, data FROM machine_files", -1, &st, nullptr) == SQLITE_OK;
  std::string ini;
  while (ok && sqlite3_step(st) == SQLITE_ROW) {
    MachineFile file;
    file.path = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    file.folder = sqlite3_column_type(st, 1) == SQLITE_NULL;
    if (!file.folder)
      file.data.assign(static_cast<const char*>(sqlite3_column_blob(st, 1)),
                       static_cast<size_t>(sqlite3_column_bytes(st, 1)));
    if (file.path == "machine.ini") ini = file.data;
    AddFile(side, std::move(file));
  }
  if (!ok) *why = image + " is not a machine image (" + (db ? sqlite3_errmsg(db) : "") + ")";
  sqlite3_finalize(st);
  sqlite3_close(db);
  return ok && qzhost::ParseMachineConfig(ini, &side->config, why);
}

bool ReadRootFiles(const std::string& root, Side* side, std::string* why) {
  std::string ini;
  if (!qzhost::ReadWholeFile(root + "/machine.ini", &ini, why) ||
      !qzhost::ParseMachineConfig(ini, &side->config, why))
    return false;
  std::error_code error;
  const fs::path drive = fs::path(root) / "drive_c";
  for (auto it = fs::recursive_directory_iterator(drive, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    MachineFile file;
    file.path = "drive_c/" + fs::relative(it->path(), drive).generic_string();
    file.folder = it->is_directory();
    if (!file.folder && !qzhost::ReadWholeFile(it->path().string(), &file.data, why)) return false;
    AddFile(side, std::move(file));
  }
  if (error) *why = drive.string() + ": " + error.message();
  return !error;
}

// Reads a side into `scratch`: its files, settings and a registry copy.
bool ReadSide(const std::string& given, const std::string& scratch, Side* side, std::string* why) {
  side->given = given;
  side->registryCopy = scratch + "/registry.db";
  struct stat info;
  if (stat(given.c_str(), &info) != 0) return *why = given + ": no such machine or image", false;
  side->image = !S_ISDIR(info.st_mode);
  if (side->image)
    return ReadImageFiles(given, side, why) && CopyDatabase(given, side->registryCopy, why) &&
           ExecOn(side->registryCopy, "DROP TABLE machine_files; DROP TABLE machine_image", why);
  if (stat((given + "/registry.db").c_str(), &info) != 0)
    return *why = given + " holds no machine with a registry (qzreg init makes one)", false;
  return ReadRootFiles(given, side, why) &&
         CopyDatabase(given + "/registry.db", side->registryCopy, why);
}

// "drive_c/WINDOWS/WIN.INI" as the machine names it: "C:\WINDOWS\WIN.INI".
std::string WindowsName(const std::string& path) {
  std::string name = "C:\\" + path.substr(8);
  for (char& c : name)
    if (c == '/') c = '\\';
  return name;
}

bool IsProfile(const std::string& upperPath) {
  return upperPath.size() > 4 && upperPath.compare(upperPath.size() - 4, 4, ".INI") == 0;
}

// A file or folder that differs other than by its keys.
struct FileChange {
  qzhost::ChangeAction action;
  std::string file;
  bool folder;
};

void DiffFiles(const Side& a, const Side& b, unsigned codePage,
               std::vector<qzhost::ProfileChange>* profiles, std::vector<FileChange>* files) {
  std::map<std::string, std::pair<const MachineFile*, const MachineFile*>> all;
  for (const auto& f : a.files) all[f.first].first = &f.second;
  for (const auto& f : b.files) all[f.first].second = &f.second;
  for (const auto& entry : all) {
    const MachineFile* before = entry.second.first;
    const MachineFile* after = entry.second.second;
    const MachineFile* any = after ? after : before;
    const std::string name = WindowsName(any->path);
    if (!any->folder && IsProfile(entry.first) && !(before && before->folder) &&
        !(after && after->folder)) {
      qzhost::DiffProfile(name, before ? before->data : "", after ? after->data : "", codePage,
                          profiles);
      continue;
    }
    if (before && after && before->folder == after->folder && before->data == after->data) continue;
    qzhost::ChangeAction action = !before  ? qzhost::ChangeAction::kAdded
                                  : !after ? qzhost::ChangeAction::kRemoved
                                           : qzhost::ChangeAction::kChanged;
    files->push_back({action, name, any->folder});
  }
}

std::string FilesText(const std::vector<FileChange>& files) {
  if (files.empty()) return {};
  std::string text = "; Files\n";
  for (const FileChange& f : files)
    text += std::string(";   ") + (f.folder ? "folder " : "") + f.file + " (" +
            qzhost::ChangeActionName(f.action) + ")\n";
  return text;
}

std::string FilesJson(const std::vector<FileChange>& files) {
  std::string json = "[";
  for (size_t i = 0; i < files.size(); ++i)
    json += std::string(i ? ",\n  " : "\n  ") +
            qzhost::JsonObject()
                .Add("area", "file")
                .Add("action", qzhost::ChangeActionName(files[i].action))
                .Add("file", files[i].file)
                .AddBool("folder", files[i].folder)
                .Text();
  return json + (files.empty() ? "]" : "\n]");
}

const char* OsName(const qzhost::MachineConfig& config) {
  return config.os == qzhost::Personality::kWinNT ? "nt" : "win98";
}

// Opens the copy of a side's registry; the default image is never seeded.
DWORD OpenCopy(const Side& side, qzhost::RegStore* store, std::string* why) {
  return store->Open(
      side.registryCopy, side.config.codePage, [] { return DWORD(ERROR_SUCCESS); }, why);
}

int Compare(const Side& a, const Side& b, bool json) {
  qzhost::RegStore before, after;
  std::string why;
  if (OpenCopy(a, &before, &why) != ERROR_SUCCESS || OpenCopy(b, &after, &why) != ERROR_SUCCESS)
    return Complain(kExitMachine, "cannot read the registry: " + why);
  const unsigned codePage = b.config.codePage;
  qzhost::MachineChanges changes;
  if (qzhost::DiffRegistry(&before, &after, codePage, &changes.registry) != ERROR_SUCCESS)
    return Complain(kExitMachine, "cannot compare the registries");
  std::vector<FileChange> files;
  DiffFiles(a, b, codePage, &changes.profiles, &files);
  changes.spooler = qzhost::SpoolerChanges(changes.registry, changes.profiles,
                                           b.config.os == qzhost::Personality::kWinNT, codePage);
  const bool equal = changes.empty() && files.empty() && a.config.os == b.config.os &&
                     a.config.codePage == b.config.codePage;
  if (json) {
    qzhost::JsonObject out;
    out.Add("a", a.given)
        .Add("b", b.given)
        .Add("a_os", OsName(a.config))
        .Add("b_os", OsName(b.config));
    out.AddBool("equal", equal).AddRaw("changes", qzhost::ChangesAsJson(changes));
    printf("%s\n", out.AddRaw("files", FilesJson(files)).Text().c_str());
  } else {
    std::string note = "qzreg diff: what makes " + b.given + " of " + a.given;
    if (a.config.os != b.config.os || a.config.codePage != b.config.codePage)
      note += "\nthe machines differ: " + std::string(OsName(a.config)) + " " +
              std::to_string(a.config.codePage) + ", " + OsName(b.config) + " " +
              std::to_string(b.config.codePage);
    std::string text = changes.empty() ? "REGEDIT4\n\n; " + note + "\n\n"
                                       : qzhost::ChangesAsRegText(changes, note);
    if (equal) text += "; the machines are equal\n";
    fputs((text + FilesText(files)).c_str(), stdout);
  }
  return equal ? kExitOk : kExitFailed;
}

}  // namespace

int Diff(const Args& args) {
  std::vector<std::string> sides;
  bool json = false;
  for (const std::string& arg : args) {
    if (arg == "--json")
      json = true;
    else if (!arg.empty() && arg[0] != '-')
      sides.push_back(arg);
    else
      return Complain(kExitUsage, "invalid argument '" + arg + "' (try qzreg diff --help)");
  }
  if (sides.size() != 2) return Complain(kExitUsage, "diff needs two machines, A and B");
  const char* tmp = getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/qzreg-diff.XXXXXX";
  std::vector<char> folder(pattern.begin(), pattern.end());
  folder.push_back('\0');
  if (mkdtemp(folder.data()) == nullptr)
    return Complain(kExitFailed, "cannot make a scratch folder in " + pattern);
  const std::string base = folder.data();
  Side a, b;
  std::string why;
  int status;
  std::error_code ignored;
  if (!fs::create_directory(base + "/a", ignored) || !fs::create_directory(base + "/b", ignored) ||
      !ReadSide(sides[0], base + "/a", &a, &why) || !ReadSide(sides[1], base + "/b", &b, &why))
    status = Complain(kExitMachine, why.empty() ? "cannot read the machines" : why);
  else
    status = Compare(a, b, json);
  fs::remove_all(base, ignored);
  return status;
}

}  // namespace qzreg
