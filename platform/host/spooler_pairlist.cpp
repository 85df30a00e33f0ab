// Rows of two texts and a flag, held in one block of text.
#include "platform/host/spooler_pairlist.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace qzhost {
namespace spool {
namespace {

const size_t kSlack = 4096;

char* PutNumber(char* at, size_t number) {
  const uint32_t n = static_cast<uint32_t>(number);
  memcpy(at, &n, sizeof n);
  return at + sizeof n;
}

uint32_t NumberAt(const char* at) {
  uint32_t n;
  memcpy(&n, at, sizeof n);
  return n;
}

std::string_view UpToNul(std::string_view text) {
  const void* nul = memchr(text.data(), '\0', text.size());
  return nul == nullptr ? text : text.substr(0, static_cast<const char*>(nul) - text.data());
}

}  // namespace

void PairList::Reserve(size_t rows, size_t textBytes) {
  m_rows.reserve(rows);
  if (textBytes > m_text.size()) m_text.resize(textBytes);
}

bool PairList::Append(std::string_view first, std::string_view second, bool flag, Row* row) {
  first = UpToNul(first);
  second = UpToNul(second);
  const size_t bytes = first.size() + second.size() + 2;
  if (bytes > std::numeric_limits<uint32_t>::max() - m_used) return false;
  if (m_used + bytes > m_text.size()) m_text.resize(std::max(m_text.size() * 2, m_used + bytes));
  char* at = m_text.data() + m_used;
  row->first = static_cast<uint32_t>(m_used);
  memcpy(at, first.data(), first.size());
  at[first.size()] = '\0';
  row->second = static_cast<uint32_t>(m_used + first.size() + 1);
  memcpy(at + first.size() + 1, second.data(), second.size());
  at[bytes - 1] = '\0';
  m_used += bytes;
  row->end = static_cast<uint32_t>(m_used);
  row->flag = flag ? 1 : 0;
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

void PairList::Write(std::string* out) const {
  const size_t start = out->size();
  const size_t rowBytes = m_rows.size() * sizeof(Row);
  out->resize(start + 2 * sizeof(uint32_t) + rowBytes + m_used);
  char* at = out->data() + start;
  at = PutNumber(at, m_rows.size());
  at = PutNumber(at, m_used);
  if (rowBytes > 0) memcpy(at, m_rows.data(), rowBytes);
  if (m_used > 0) memcpy(at + rowBytes, m_text.data(), m_used);
}

// Each text ends with a NUL inside the block; the texts of a row follow
// each other.
bool PairList::Sound(const Row& row) const {
  return row.first < row.second && row.second < row.end && row.end <= m_used && row.flag <= 1 &&
         m_text[row.second - 1] == '\0' && m_text[row.end - 1] == '\0';
}

bool PairList::Read(std::string_view data) {
  *this = PairList();
  if (data.size() < 2 * sizeof(uint32_t)) return false;
  const size_t count = NumberAt(data.data());
  const size_t used = NumberAt(data.data() + sizeof(uint32_t));
  data.remove_prefix(2 * sizeof(uint32_t));
  if (count > data.size() / sizeof(Row) || data.size() - count * sizeof(Row) != used) return false;
  const size_t rowBytes = count * sizeof(Row);
  m_rows.resize(count);
  if (rowBytes > 0) memcpy(m_rows.data(), data.data(), rowBytes);
  // Room for a few more rows (monitors that a run adds) without moving
  // the whole block.
  m_text.resize(used + kSlack);
  if (used > 0) memcpy(m_text.data(), data.data() + rowBytes, used);
  m_used = used;
  for (const Row& row : m_rows) {
    if (!Sound(row)) {
      *this = PairList();
      return false;
    }
    m_firstBytes += row.second - row.first;
  }
  return true;
}

}  // namespace spool
}  // namespace qzhost
