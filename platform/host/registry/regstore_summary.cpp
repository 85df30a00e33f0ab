// SummarizeChildren and ChildrenWithDriver: many children at once, each with
// one value and whether it has one subkey, for callers that would otherwise
// open every child. The spooler asks this of thousands of monitors (their
// Driver value, their Ports subkey), which an index of the keys named Ports
// and a table of the values named Driver answer without a lookup per child.
#include <sqlite3.h>

#include <algorithm>
#include <utility>

#include "platform/host/registry/regstore.h"
#include "platform/host/registry/regstore_rows.h"
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

// The children that have the value, without the table of Driver values: a
// registry of an earlier version, until its first open that may write.
DWORD RegStore::ChildrenWithValue(RegKeyId parent, const std::string& valueName,
                                  std::vector<RegChildSummary>* children) {
  DWORD error = SummarizeChildren(parent, valueName, "", children);
  children->erase(std::remove_if(children->begin(), children->end(),
                                 [](const RegChildSummary& child) { return !child.hasValue; }),
                  children->end());
  return error;
}

DWORD RegStore::ChildrenWithDriver(RegKeyId parent, const RegChildValueVisitor& visit,
                                   bool withData) {
  BeginRead();
  // Read through the table's primary key (parent, upper-cased name), which
  // SQLite names so: the rows come in its order, whatever other indexes the
  // table may be given. The fallback reads a registry of an earlier version,
  // not yet written.
  RegRowBlock rows(withData ? 2 : 1, withData ? 1 : 0);
  bool read = false;
  DWORD error =
      ReadRowBlock(withData ? kChildrenWithDriver : kChildrenWithDriverNames,
                   withData ? "SELECT qz_rows(name, data, type) FROM driver_values"
                              " INDEXED BY sqlite_autoindex_driver_values_1 WHERE parent = ?"
                            : "SELECT qz_rows(name) FROM driver_values"
                              " INDEXED BY sqlite_autoindex_driver_values_1 WHERE parent = ?",
                   parent, &rows, &read);
  if (error != ERROR_SUCCESS) return error;
  if (!read) {
    std::vector<RegChildSummary> children;
    error = ChildrenWithValue(parent, "Driver", &children);
    if (error != ERROR_SUCCESS) return error;
    for (const RegChildSummary& child : children)
      visit(child.name, withData ? child.type : 0, withData ? child.data : std::string_view());
    return ERROR_SUCCESS;
  }
  const std::vector<size_t> order = RowsInWindowsOrder(rows);
  for (size_t i = 0; i < rows.size(); ++i) {
    const size_t row = order.empty() ? i : order[i];
    visit(rows.Blob(row, 0), withData ? static_cast<DWORD>(rows.Int(row, 0)) : 0,
          withData ? rows.Blob(row, 1) : std::string_view());
  }
  return ERROR_SUCCESS;
}

}  // namespace qzhost
