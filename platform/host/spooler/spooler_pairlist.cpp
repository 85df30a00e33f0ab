// Rows of two texts, held in one block of text.
#include "platform/host/spooler/spooler_pairlist.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace qzhost {
namespace spool {

void PairList::Reserve(size_t rows, size_t textBytes) {
  m_rows.reserve(rows);
  if (textBytes > m_text.size()) m_text.resize(textBytes);
}

bool PairList::Append(std::string_view first, std::string_view second, Row* row) {
  first = UpToNul(first);
  second = UpToNul(second);
  const size_t bytes = first.size() + second.size() + 2;
  if (bytes > std::numeric_limits<uint32_t>::max() - m_used) return false;
  if (m_used + bytes > m_text.size()) m_text.resize(std::max(m_text.size() * 2, m_used + bytes));
  char* at = m_text.data() + m_used;
  row->first = static_cast<uint32_t>(m_used);
  // An empty text may have no bytes at all (a null pointer): nothing to copy.
  if (!first.empty()) memcpy(at, first.data(), first.size());
  at[first.size()] = '\0';
  row->second = static_cast<uint32_t>(m_used + first.size() + 1);
  if (!second.empty()) memcpy(at + first.size() + 1, second.data(), second.size());
  at[bytes - 1] = '\0';
  m_used += bytes;
  row->end = static_cast<uint32_t>(m_used);
  m_firstBytes += first.size() + 1;
  return true;
}

void PairList::Add(std::string_view first, std::string_view second) {
  Row row;
  if (Append(first, second, &row)) m_rows.push_back(row);
}

void PairList::Insert(size_t at, std::string_view first, std::string_view second) {
  Row row;
  // The texts go to the end of the block; only the row takes its place.
  if (Append(first, second, &row)) m_rows.insert(m_rows.begin() + at, row);
}

}  // namespace spool
}  // namespace qzhost
