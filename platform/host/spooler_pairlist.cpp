// Rows of two texts and a flag, held in one block of text.
#include "platform/host/spooler_pairlist.h"

#include <cstring>
#include <limits>

namespace qzhost {
namespace spool {
namespace {

std::string_view UpToNul(std::string_view text) {
  const void* nul = memchr(text.data(), '\0', text.size());
  return nul == nullptr ? text : text.substr(0, static_cast<const char*>(nul) - text.data());
}

}  // namespace

void PairList::Reserve(size_t rows, size_t textBytes) {
  m_rows.reserve(rows);
  m_text.reserve(textBytes);
}

bool PairList::Append(std::string_view first, std::string_view second, bool flag, Row* row) {
  first = UpToNul(first);
  second = UpToNul(second);
  const size_t bytes = first.size() + second.size() + 2;
  if (bytes > std::numeric_limits<uint32_t>::max() - m_text.size()) return false;
  row->first = static_cast<uint32_t>(m_text.size());
  m_text.append(first).push_back('\0');
  row->second = static_cast<uint32_t>(m_text.size());
  m_text.append(second).push_back('\0');
  row->end = static_cast<uint32_t>(m_text.size());
  row->flag = flag;
  m_firstBytes += first.size() + 1;
  return true;
}

void PairList::Add(std::string_view first, std::string_view second, bool flag) {
  Row row;
  if (Append(first, second, flag, &row)) m_rows.push_back(row);
}

void PairList::Insert(size_t at, std::string_view first, std::string_view second, bool flag) {
  Row row;
  // The texts go to the end of the block; only the row takes its place.
  if (Append(first, second, flag, &row)) m_rows.insert(m_rows.begin() + at, row);
}

}  // namespace spool
}  // namespace qzhost
