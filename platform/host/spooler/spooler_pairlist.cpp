// Rows of two texts and a small tag, held in one block of text.
#include "platform/host/spooler/spooler_pairlist.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace qzhost {
namespace spool {
namespace {

const size_t kSlack = 4096;
const size_t kSlackRows = 128;

// Fixed-width numbers of the stored form, in the machine's byte order.
template <typename Number>
char* Put(char* at, size_t value) {
  const Number n = static_cast<Number>(value);
  memcpy(at, &n, sizeof n);
  return at + sizeof n;
}

template <typename Number>
Number Get(const char* at) {
  Number n;
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

bool PairList::Append(std::string_view first, std::string_view second, unsigned tag, Row* row) {
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
  row->tag = static_cast<uint8_t>(tag);
  m_firstBytes += first.size() + 1;
  return true;
}

void PairList::Add(std::string_view first, std::string_view second, unsigned tag) {
  Row row;
  if (Append(first, second, tag, &row)) m_rows.push_back(row);
}

void PairList::Insert(size_t at, std::string_view first, std::string_view second, unsigned tag) {
  Row row;
  // The texts go to the end of the block; only the row takes its place.
  if (Append(first, second, tag, &row)) m_rows.insert(m_rows.begin() + at, row);
}

void PairList::Move(size_t from, size_t to) {
  const auto rows = m_rows.begin();
  if (from < to) {
    std::rotate(rows + from, rows + from + 1, rows + to + 1);
  } else if (to < from) {
    std::rotate(rows + to, rows + from, rows + from + 1);
  }
}

// The stored form: the number of rows, then per row the sizes of its two
// texts (a second size of kSameSecond: the text of the row before) and its
// tag, then the texts one after the other, without their NULs. Ports mostly
// share the name of their monitor, so a machine's list takes less than half
// the bytes of the list in memory: fewer pages to write when it is kept, and
// to read when it is taken.
namespace {

const uint16_t kSameSecond = 0xFFFF;
const size_t kStoredRow = 2 * sizeof(uint16_t) + 1;

}  // namespace

bool PairList::Write(std::string* out) const {
  size_t bytes = sizeof(uint32_t) + m_rows.size() * kStoredRow;
  for (size_t i = 0; i < m_rows.size(); ++i) {
    const size_t first = First(i).size(), second = Second(i).size();
    if (first >= kSameSecond || second >= kSameSecond) return false;
    bytes += first + (i > 0 && Second(i) == Second(i - 1) ? 0 : second);
  }
  const size_t start = out->size();
  out->resize(start + bytes);
  char* sizes = Put<uint32_t>(out->data() + start, m_rows.size());
  char* texts = sizes + m_rows.size() * kStoredRow;
  for (size_t i = 0; i < m_rows.size(); ++i) {
    const std::string_view first = First(i), second = Second(i);
    const bool same = i > 0 && second == Second(i - 1);
    sizes = Put<uint16_t>(sizes, first.size());
    sizes = Put<uint16_t>(sizes, same ? kSameSecond : second.size());
    *sizes++ = static_cast<char>(m_rows[i].tag);
    memcpy(texts, first.data(), first.size());
    texts += first.size();
    if (!same) {
      memcpy(texts, second.data(), second.size());
      texts += second.size();
    }
  }
  return true;
}

bool PairList::Read(std::string_view data) {
  *this = PairList();
  if (data.size() < sizeof(uint32_t)) return false;
  const size_t count = Get<uint32_t>(data.data());
  data.remove_prefix(sizeof(uint32_t));
  if (count > data.size() / kStoredRow) return false;
  const char* sizes = data.data();
  const std::string_view texts = data.substr(count * kStoredRow);
  // First the sizes: they must account for the texts exactly.
  size_t stored = 0, held = 0, second = 0;
  for (size_t i = 0; i < count; ++i) {
    const uint16_t first = Get<uint16_t>(sizes + i * kStoredRow);
    const uint16_t secondSize = Get<uint16_t>(sizes + i * kStoredRow + 2);
    if (secondSize != kSameSecond) {
      second = secondSize;
      stored += second;
    } else if (i == 0) {
      return false;  // no row before it
    }
    stored += first;
    held += first + second + 2;
  }
  if (stored != texts.size() || held > std::numeric_limits<uint32_t>::max()) return false;
  // Room for a few more rows (monitors or ports that a run adds) without
  // moving the whole block or the rows.
  m_text.resize(held + kSlack);
  m_rows.reserve(count + kSlackRows);
  m_rows.resize(count);
  const char* from = texts.data();
  char* to = m_text.data();
  const char* lastSecond = nullptr;
  for (size_t i = 0; i < count; ++i) {
    const char* rowSizes = sizes + i * kStoredRow;
    const uint16_t first = Get<uint16_t>(rowSizes);
    const uint16_t secondSize = Get<uint16_t>(rowSizes + 2);
    Row& row = m_rows[i];
    row.first = static_cast<uint32_t>(to - m_text.data());
    memcpy(to, from, first);
    to[first] = '\0';
    to += first + 1;
    from += first;
    if (secondSize != kSameSecond) {
      lastSecond = from;
      second = secondSize;
      from += secondSize;
    }
    row.second = static_cast<uint32_t>(to - m_text.data());
    memcpy(to, lastSecond, second);
    to[second] = '\0';
    to += second + 1;
    row.end = static_cast<uint32_t>(to - m_text.data());
    row.tag = static_cast<uint8_t>(rowSizes[4]);
    m_firstBytes += first + 1;
  }
  m_used = held;
  return true;
}

}  // namespace spool
}  // namespace qzhost
