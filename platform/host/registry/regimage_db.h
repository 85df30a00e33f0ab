// What the image files share: an SQLite connection and a statement that
// release themselves where they go out of scope.
#ifndef QZINST32_PLATFORM_HOST_REGIMAGE_DB_H_
#define QZINST32_PLATFORM_HOST_REGIMAGE_DB_H_

#include <sqlite3.h>

#include <string>

namespace qzhost {

class ImageDb {
 public:
  ImageDb() = default;
  ~ImageDb() { Close(); }
  ImageDb(const ImageDb&) = delete;
  ImageDb& operator=(const ImageDb&) = delete;
  bool Open(const std::string& path, int flags, const char* vfs = nullptr) {
    return sqlite3_open_v2(path.c_str(), &db_, flags, vfs) == SQLITE_OK;
  }
  void Close() {
    sqlite3_close(db_);
    db_ = nullptr;
  }
  bool Exec(const char* sql) { return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == 0; }
  std::string Error() const { return db_ ? sqlite3_errmsg(db_) : "out of memory"; }
  sqlite3* get() { return db_; }

 private:
  sqlite3* db_ = nullptr;
};

class ImageStatement {
 public:
  ImageStatement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &st_, nullptr); }
  ~ImageStatement() { sqlite3_finalize(st_); }
  ImageStatement(const ImageStatement&) = delete;
  ImageStatement& operator=(const ImageStatement&) = delete;
  sqlite3_stmt* get() { return st_; }
  // The text of a column of the current row ("" for NULL).
  std::string Text(int column) {
    const unsigned char* text = sqlite3_column_text(st_, column);
    return text ? std::string(reinterpret_cast<const char*>(text),
                              static_cast<size_t>(sqlite3_column_bytes(st_, column)))
                : std::string();
  }

 private:
  sqlite3_stmt* st_ = nullptr;
};

// The image's own tables, beside the registry's.
extern const char kImageTablesSql[];
extern const char kImageFormat[];
extern const char kImageVersion[];
extern const char kImageConfigName[];
extern const char kImageDriveName[];

// Checks an image whole before anything is made of it: its format and
// version, a schema that is exactly this version's (no table missing, no
// trigger or view of another program's), the paths of its files exactly
// machine.ini and drive_c with names below it, each below a folder of the
// image, and machine.ini read as strictly as the machine reads it. False with
// *why saying what was found. The registry's tree is checked where it is
// opened (RegStore::CheckTree).
bool CheckImageWhole(ImageDb& image, const std::string& file, std::string* why);

}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_REGIMAGE_DB_H_
