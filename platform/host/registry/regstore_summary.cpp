// SummarizeChildren: many children at once, each with one value and whether
// it has one subkey, for callers that would otherwise open every child. The
// spooler asks this of thousands of monitors (their Driver value, their Ports
// subkey), which two indexes of those names answer without a lookup per
// child.
#include <sqlite3.h>

#include <algorithm>
#include <utility>

#include "platform/host/registry/regstore.h"
#include "platform/host/registry/regstore_sql.h"

namespace qzhost {
namespace {

// Without a subkey asked for; with one; only the children that have a subkey
// named Ports, from the index of such keys (a registry of an earlier version,
// until it is written, reads every key for it).
const char* const kSummaries[] = {
    "SELECT k.name, v.type, v.data, NULL FROM keys k"
    " LEFT JOIN vals v ON v.key = k.id AND v.upper = ?2"
    " WHERE k.parent = ?1 ORDER BY k.upper",
    "SELECT k.name, v.type, v.data, s.id FROM keys k"
    " LEFT JOIN vals v ON v.key = k.id AND v.upper = ?2"
    " LEFT JOIN keys s ON s.parent = k.id AND s.upper = ?3"
    " WHERE k.parent = ?1 ORDER BY k.upper",
    "SELECT k.name, v.type, v.data, s.id FROM keys s CROSS JOIN keys k"
    " LEFT JOIN vals v ON v.key = k.id AND v.upper = ?2"
    " WHERE s.upper = x'504F525453' AND k.id = s.parent AND k.parent = ?1 ORDER BY k.upper",
};

const char kDriversBetweenSql[] =
    "SELECT key, type, data FROM vals INDEXED BY vals_named_driver"
    " WHERE upper = x'445249564552' AND key BETWEEN ?1 AND ?2";
// Children whose ids are this close are read in one pass.
const RegKeyId kMostIdGap = 64;

void AddSummary(sqlite3_stmt* st, std::vector<RegChildSummary>* children) {
  RegChildSummary child;
  child.name = ColumnBytes(st, 0);
  child.hasValue = sqlite3_column_type(st, 1) != SQLITE_NULL;
  if (child.hasValue) {
    child.type = static_cast<DWORD>(sqlite3_column_int64(st, 1));
    child.data = ColumnBytes(st, 2);
  }
  child.hasSubkey = sqlite3_column_type(st, 3) != SQLITE_NULL;
  children->push_back(std::move(child));
}

}  // namespace

DWORD RegStore::SummarizeChildren(RegKeyId parent, const std::string& valueName,
                                  const std::string& subkeyName,
                                  std::vector<RegChildSummary>* children, bool onlyWithSubkey) {
  BeginRead();
  children->clear();
  const std::string upperValue = RegUpperName(codePage_, valueName);
  const std::string upperSubkey = RegUpperName(codePage_, subkeyName);
  if (subkeyName.empty() && upperValue == "DRIVER") {
    bool done = false;
    DWORD error = SummarizeDrivers(parent, children, &done);
    if (error != ERROR_SUCCESS) return error;
    if (done) return PutInWindowsOrder(children);
    children->clear();
  }
  int kind = subkeyName.empty() ? 0 : 1;
  if (onlyWithSubkey && upperSubkey == "PORTS") kind = 2;
  sqlite3_stmt* st = Prepare(kSummarizeChildren + kind, kSummaries[kind]);
  if (st == nullptr) return Fail(SQLITE_ERROR);
  StepScope scope(st);
  sqlite3_bind_int64(st, 1, parent);
  BindBytes(st, 2, upperValue);
  if (kind == 1) BindBytes(st, 3, upperSubkey);
  int rc;
  while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
    ++stats_.rowsRead;
    if (!onlyWithSubkey || sqlite3_column_type(st, 3) != SQLITE_NULL) AddSummary(st, children);
  }
  return rc == SQLITE_DONE ? PutInWindowsOrder(children) : Fail(rc);
}

// The children were read in the byte order of their upper-cased names, which
// is Windows' as long as they are ASCII.
DWORD RegStore::PutInWindowsOrder(std::vector<RegChildSummary>* children) const {
  const auto ascii = [](const RegChildSummary& child) {
    return std::all_of(child.name.begin(), child.name.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  };
  if (std::all_of(children->begin(), children->end(), ascii)) return ERROR_SUCCESS;
  std::vector<std::string> names;
  names.reserve(children->size());
  for (const RegChildSummary& child : *children) names.push_back(child.name);
  const std::vector<size_t> order = InWindowsOrder(names);
  if (order.empty()) return ERROR_SUCCESS;
  std::vector<RegChildSummary> sorted;
  sorted.reserve(order.size());
  for (size_t i : order) sorted.push_back(std::move((*children)[i]));
  children->swap(sorted);
  return ERROR_SUCCESS;
}

// The children, then the values named Driver of the keys whose ids lie
// between theirs, from the index of such values: passes over it instead of a
// lookup per child, which costs several times as much. *done is false when
// the index is missing (a registry of an earlier version, not yet written).
DWORD RegStore::SummarizeDrivers(RegKeyId parent, std::vector<RegChildSummary>* children,
                                 bool* done) {
  *done = false;
  if (Prepare(kDriversBetween, kDriversBetweenSql) == nullptr) return ERROR_SUCCESS;
  sqlite3_stmt* st =
      Prepare(kChildIdsByName, "SELECT id, name FROM keys WHERE parent = ? ORDER BY upper");
  if (st == nullptr) return Fail(SQLITE_ERROR);
  std::vector<std::pair<RegKeyId, size_t>> ids;  // sorted by id: where each child is
  {
    StepScope scope(st);
    sqlite3_bind_int64(st, 1, parent);
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
      ++stats_.rowsRead;
      ids.emplace_back(sqlite3_column_int64(st, 0), children->size());
      children->emplace_back();
      children->back().name = ColumnBytes(st, 1);
    }
    if (rc != SQLITE_DONE) return Fail(rc);
  }
  std::sort(ids.begin(), ids.end());
  // One pass per run of ids close to each other (keys made together); each
  // pass costs about one lookup, so scattered ids cost what lookups would.
  for (size_t first = 0, last = 0; first < ids.size(); first = last) {
    last = first + 1;
    while (last < ids.size() && ids[last].first - ids[last - 1].first <= kMostIdGap) ++last;
    if (!ReadDriversBetween(ids, first, last, children)) return ERROR_SUCCESS;
  }
  *done = true;
  return ERROR_SUCCESS;
}

// The Driver values of the children ids[first, last); false when the index
// went meanwhile (then the general way).
bool RegStore::ReadDriversBetween(const std::vector<std::pair<RegKeyId, size_t>>& ids, size_t first,
                                  size_t last, std::vector<RegChildSummary>* children) {
  sqlite3_stmt* values = Prepare(kDriversBetween, kDriversBetweenSql);
  if (values == nullptr) return false;
  StepScope scope(values);
  sqlite3_bind_int64(values, 1, ids[first].first);
  sqlite3_bind_int64(values, 2, ids[last - 1].first);
  const auto begin = ids.begin() + first, end = ids.begin() + last;
  int rc;
  while ((rc = sqlite3_step(values)) == SQLITE_ROW) {
    const RegKeyId key = sqlite3_column_int64(values, 0);
    const auto at = std::lower_bound(begin, end, std::make_pair(key, size_t{0}));
    if (at == end || at->first != key) continue;
    RegChildSummary& child = (*children)[at->second];
    child.hasValue = true;
    child.type = static_cast<DWORD>(sqlite3_column_int64(values, 1));
    child.data = ColumnBytes(values, 2);
  }
  return rc == SQLITE_DONE;
}

}  // namespace qzhost
