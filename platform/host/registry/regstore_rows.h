// Rows handed over in one step of a statement: the aggregate SQL function
// qz_rows(column...) appends every row of its query to the block its
// connection names. Listing thousands of children costs SQLite one step
// then, instead of a step and a call per column for every row.
#ifndef QZINST32_PLATFORM_HOST_REGISTRY_REGSTORE_ROWS_H_
#define QZINST32_PLATFORM_HOST_REGISTRY_REGSTORE_ROWS_H_

#include <sqlite3.h>
#include <stdint.h>

#include <memory>
#include <string_view>
#include <vector>

namespace qzhost {

// The rows of one query: its BLOB columns' bytes one after another in one
// block of text, its INTEGER columns apart. The query names the BLOB columns
// first: qz_rows(name, data, type) is RegRowBlock(2, 1).
class RegRowBlock {
 public:
  RegRowBlock(int blobColumns, int intColumns) : blobs_(blobColumns), ints_(intColumns) {}
  size_t size() const { return rows_; }
  void Clear();
  std::string_view Blob(size_t row, int column) const;
  int64_t Int(size_t row, int column) const { return intValues_[row * ints_ + column]; }
  // Whether the column is ASCII in every row: then the rows' order, by their
  // upper-cased bytes, is Windows' order too.
  bool AllAscii(int column) const;
  // One row's columns, as qz_rows is given them; false when they do not fit
  // (std::bad_alloc when memory runs out).
  bool Append(int argc, sqlite3_value** argv);

 private:
  void Grow(size_t least);

  int blobs_, ints_;
  size_t rows_ = 0;
  // The bytes in use at the front of text_, which grows by doubling, its new
  // bytes left as they are: each value is one copy into it.
  size_t used_ = 0;
  size_t capacity_ = 0;
  std::unique_ptr<char[]> text_;
  std::vector<uint32_t> ends_;  // where each BLOB ends in text_, row by row
  std::vector<int64_t> intValues_;
};

// Makes qz_rows known to the connection: each row goes to the block that
// *block names while the statement steps (none: the statement fails).
int RegisterRowBlockFunction(sqlite3* db, RegRowBlock** block);

}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_REGISTRY_REGSTORE_ROWS_H_
