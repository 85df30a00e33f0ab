// Rows of two texts, held in one block of text.
//
// The spooler's long lists (thousands of ports or monitors) are built and
// packed into enumeration records; as one block they cost a few allocations
// instead of two per row, and a row's texts are copied into a record's
// strings with one copy.
#ifndef QZINST32_PLATFORM_HOST_SPOOLER_PAIRLIST_H_
#define QZINST32_PLATFORM_HOST_SPOOLER_PAIRLIST_H_

#include <stdint.h>

#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qzhost {
namespace spool {

// Leaves new elements uninitialized: the list writes every byte of its block
// and every field of its rows before reading them, and zeroing a list of
// thousands first would cost as much as writing it.
template <typename T>
struct UninitializedAllocator : std::allocator<T> {
  template <typename U>
  struct rebind {
    using other = UninitializedAllocator<U>;
  };
  UninitializedAllocator() = default;
  template <typename U>
  UninitializedAllocator(const UninitializedAllocator<U>&) noexcept {}
  template <typename U>
  void construct(U* p) noexcept {
    ::new (static_cast<void*>(p)) U;
  }
  template <typename U, typename... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
};

// The text up to its first NUL, as a reader of a packed record sees it.
inline std::string_view UpToNul(std::string_view text) {
  if (text.empty()) return text;  // a monitor's DLL where it is not read
  const void* nul = memchr(text.data(), '\0', text.size());
  return nul == nullptr ? text : text.substr(0, static_cast<const char*>(nul) - text.data());
}

class PairList {
 public:
  // Room for that many rows and bytes of both texts together.
  void Reserve(size_t rows, size_t textBytes);
  // Each text is kept up to its first NUL: what a reader of the packed record
  // sees. A list is limited to 4 GiB of text; rows past that are left out.
  // The texts must not lie in this list.
  void Add(std::string_view first, std::string_view second);
  void Insert(size_t at, std::string_view first, std::string_view second);

  size_t size() const { return m_rows.size(); }
  bool empty() const { return m_rows.empty(); }
  std::string_view First(size_t i) const {
    return {m_text.data() + m_rows[i].first, m_rows[i].second - m_rows[i].first - 1};
  }
  std::string_view Second(size_t i) const {
    return {m_text.data() + m_rows[i].second, m_rows[i].end - m_rows[i].second - 1};
  }
  // Both texts with their NULs, as they follow each other: "first\0second\0".
  std::string_view Both(size_t i) const {
    return {m_text.data() + m_rows[i].first, m_rows[i].end - m_rows[i].first};
  }
  // The bytes of First with its NUL, of every row.
  size_t FirstBytes() const { return m_firstBytes; }
  // The bytes of both texts with their NULs, of every row.
  size_t TextBytes() const { return m_used; }

 private:
  struct Row {
    uint32_t first;   // offsets in m_text
    uint32_t second;  // just past the NUL of the first text
    uint32_t end;     // just past the NUL of the second text
  };

  bool Append(std::string_view first, std::string_view second, Row* row);

  // The texts, in m_used bytes at the front; grown by doubling, and written
  // with plain copies (appending to a string piece by piece costs several
  // times as much for lists of thousands of short names).
  std::vector<char, UninitializedAllocator<char>> m_text;
  size_t m_used = 0;
  std::vector<Row, UninitializedAllocator<Row>> m_rows;
  size_t m_firstBytes = 0;
};

// The installed monitors: First is the name, Second the Driver value.
using MonitorList = PairList;

}  // namespace spool
}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_SPOOLER_PAIRLIST_H_
