// A machine image checked whole before a root is made of it: an image is a
// file from anywhere, and whatever SQLite holds in it may have been written
// by another program.
#include <string.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/host/machine/machineconfig.h"
#include "platform/host/registry/regimage_db.h"
#include "platform/host/registry/regstore.h"

namespace qzhost {

const char kImageTablesSql[] =
    "CREATE TABLE machine_image(name TEXT PRIMARY KEY, value TEXT);"
    "CREATE TABLE machine_files(path TEXT PRIMARY KEY, mode INTEGER NOT NULL, data BLOB);";
const char kImageFormat[] = "qzinst32-machine-image";
const char kImageVersion[] = "1";
const char kImageConfigName[] = "machine.ini";
const char kImageDriveName[] = "drive_c";

namespace {

// type and name -> the statement that made it. SQLite's own objects
// (sqlite_autoindex_*, sqlite_stat1 of an ANALYZE) are its business.
typedef std::map<std::string, std::string> Schema;

bool ReadSchema(ImageDb& db, Schema* schema) {
  ImageStatement st(db.get(),
                    "SELECT type, name, ifnull(sql, '') FROM sqlite_master"
                    " WHERE name NOT LIKE 'sqlite\\_%' ESCAPE '\\'");
  if (st.get() == nullptr) return false;
  int rc;
  while ((rc = sqlite3_step(st.get())) == SQLITE_ROW)
    (*schema)[st.Text(0) + " " + st.Text(1)] = st.Text(2);
  return rc == SQLITE_DONE;
}

bool CheckSchema(ImageDb& image, std::string* why) {
  ImageDb model;
  Schema want, have;
  std::string sql = RegStore::SchemaSql() + kImageTablesSql;
  if (!model.Open(":memory:", SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) ||
      !model.Exec(sql.c_str()) || !ReadSchema(model, &want))
    return *why = "cannot make the schema to compare with: " + model.Error(), false;
  if (!ReadSchema(image, &have)) return *why = image.Error(), false;
  // Tables first: a table that is missing is named, not its first index.
  std::vector<std::pair<std::string, std::string>> ordered(want.begin(), want.end());
  std::stable_partition(ordered.begin(), ordered.end(),
                        [](const std::pair<std::string, std::string>& object) {
                          return object.first.compare(0, 6, "table ") == 0;
                        });
  for (const auto& object : ordered) {
    auto found = have.find(object.first);
    if (found == have.end()) return *why = "the image has no " + object.first, false;
    if (found->second != object.second)
      return *why = "the image's " + object.first + " is not this version's", false;
  }
  for (const auto& object : have)
    if (want.count(object.first) == 0)
      return *why = "the image holds a " + object.first + " of another program", false;
  return true;
}

bool CheckFormat(ImageDb& image, std::string* why) {
  ImageStatement st(image.get(), "SELECT name, value FROM machine_image");
  std::map<std::string, std::string> rows;
  while (st.get() != nullptr && sqlite3_step(st.get()) == SQLITE_ROW) rows[st.Text(0)] = st.Text(1);
  if (rows.size() == 2 && rows["format"] == kImageFormat && rows["version"] == kImageVersion)
    return true;
  return *why = "it is not a qzinst32 machine image of this version", false;
}

// machine.ini, drive_c, or names below drive_c/: never an absolute path, an
// empty name, "." or "..", and nothing beside drive_c that merely begins
// with its name.
bool SafeImagePath(const std::string& rel) {
  if (rel == kImageConfigName || rel == kImageDriveName) return true;
  const std::string top = std::string(kImageDriveName) + "/";
  if (rel.compare(0, top.size(), top) != 0 || rel.find('\0') != std::string::npos) return false;
  for (size_t at = top.size(); at <= rel.size();) {
    size_t end = rel.find('/', at);
    if (end == std::string::npos) end = rel.size();
    std::string part = rel.substr(at, end - at);
    if (part.empty() || part == "." || part == "..") return false;
    at = end + 1;
  }
  return true;
}

bool CheckFiles(ImageDb& image, std::string* why) {
  ImageStatement st(image.get(),
                    "SELECT path, typeof(path), mode, typeof(mode), data, typeof(data)"
                    " FROM machine_files ORDER BY path");
  if (st.get() == nullptr) return *why = image.Error(), false;
  std::set<std::string> folders;
  bool sawConfig = false;
  int rc;
  while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {
    std::string rel = st.Text(0);
    if (st.Text(1) != "text" || !SafeImagePath(rel))
      return *why = "the image holds a path it may not: '" + rel + "'", false;
    if (st.Text(3) != "integer" || (sqlite3_column_int64(st.get(), 2) & ~0777LL) != 0)
      return *why = "the image gives '" + rel + "' a mode that is not a file's", false;
    bool folder = st.Text(5) == "null";
    std::string parent = rel.find('/') == std::string::npos ? "" : rel.substr(0, rel.rfind('/'));
    if (!parent.empty() && folders.count(parent) == 0)
      return *why = "the image holds '" + rel + "' but not the folder it lies in", false;
    if (folder) {
      if (rel == kImageConfigName) return *why = "the image's machine.ini is a folder", false;
      folders.insert(rel);
      continue;
    }
    if (rel == kImageDriveName) return *why = "the image's drive_c is a file, not a folder", false;
    if (rel != kImageConfigName) continue;
    MachineConfig config;
    const char* data = static_cast<const char*>(sqlite3_column_blob(st.get(), 4));
    std::string text(data ? data : "", static_cast<size_t>(sqlite3_column_bytes(st.get(), 4)));
    std::string problem;
    if (!ParseMachineConfig(text, &config, &problem))
      return *why = "the image's machine.ini is damaged (" + problem + ")", false;
    sawConfig = true;
  }
  if (rc != SQLITE_DONE) return *why = image.Error(), false;
  return sawConfig || (*why = "the image holds no machine.ini", false);
}

}  // namespace

bool CheckImageWhole(ImageDb& image, const std::string& file, std::string* why) {
  std::string problem;
  bool ok =
      CheckFormat(image, &problem) && CheckSchema(image, &problem) && CheckFiles(image, &problem);
  if (!ok) *why = file + " cannot be loaded: " + problem;
  return ok;
}

}  // namespace qzhost
