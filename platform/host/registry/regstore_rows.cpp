// The aggregate function qz_rows and the block it fills.
#include "platform/host/registry/regstore_rows.h"

#include <string.h>

#include <algorithm>
#include <limits>
#include <new>

namespace qzhost {
namespace {

// Called from within SQLite: no exception may leave it.
void StepRows(sqlite3_context* context, int argc, sqlite3_value** argv) {
  RegRowBlock* block = *static_cast<RegRowBlock**>(sqlite3_user_data(context));
  bool added = false;
  try {
    added = block != nullptr && block->Append(argc, argv);
  } catch (const std::bad_alloc&) {
    sqlite3_result_error_nomem(context);
    return;
  }
  if (!added) sqlite3_result_error(context, "qz_rows: no block, or a row that does not fit it", -1);
}

void FinishRows(sqlite3_context* context) { sqlite3_result_null(context); }

}  // namespace

std::string_view RegRowBlock::Blob(size_t row, int column) const {
  const size_t at = row * blobs_ + column;
  const size_t start = at == 0 ? 0 : ends_[at - 1];
  return std::string_view(text_.get() + start, ends_[at] - start);
}

bool RegRowBlock::AllAscii(int column) const {
  unsigned char bits = 0;  // every byte's bits, without a branch per byte
  if (blobs_ == 1) {
    for (size_t i = 0; i < used_; ++i) bits |= static_cast<unsigned char>(text_[i]);
    return bits < 0x80;
  }
  for (size_t row = 0; row < rows_; ++row) {
    for (char c : Blob(row, column)) bits |= static_cast<unsigned char>(c);
  }
  return bits < 0x80;
}

void RegRowBlock::Grow(size_t least) {
  const size_t capacity = std::max(2 * capacity_, least + 4096);
  std::unique_ptr<char[]> text(new char[capacity]);
  if (used_ != 0) memcpy(text.get(), text_.get(), used_);
  text_.swap(text);
  capacity_ = capacity;
}

void RegRowBlock::Clear() {
  rows_ = used_ = 0;
  ends_.clear();
  intValues_.clear();
}

bool RegRowBlock::Append(int argc, sqlite3_value** argv) {
  if (argc != blobs_ + ints_) return false;
  for (int i = 0; i < blobs_; ++i) {
    const void* bytes = sqlite3_value_blob(argv[i]);
    const size_t size = static_cast<size_t>(sqlite3_value_bytes(argv[i]));
    if (size > std::numeric_limits<uint32_t>::max() - used_ || (bytes == nullptr && size != 0))
      return false;
    if (used_ + size > capacity_) Grow(used_ + size);
    if (size != 0) memcpy(text_.get() + used_, bytes, size);
    used_ += size;
    ends_.push_back(static_cast<uint32_t>(used_));
  }
  for (int i = blobs_; i < argc; ++i) intValues_.push_back(sqlite3_value_int64(argv[i]));
  ++rows_;
  return true;
}

int RegisterRowBlockFunction(sqlite3* db, RegRowBlock** block) {
  return sqlite3_create_function(db, "qz_rows", -1, SQLITE_UTF8 | SQLITE_DIRECTONLY, block, nullptr,
                                 StepRows, FinishRows);
}

}  // namespace qzhost
