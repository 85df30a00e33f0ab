// The shape of the tree, checked before a walk relies on it: another program
// may have written any rows into the tables.
#include <sqlite3.h>

#include <string>

#include "platform/host/registry/regstore.h"
#include "platform/host/registry/regstore_sql.h"

namespace qzhost {
namespace {

// From the four roots down, no further than one level past the deepest
// allowed: what is not reached is on a cycle, below a missing key, or
// deeper than that. One pass over the keys through their parent index.
const char kTreeShape[] =
    "WITH RECURSIVE below(id, depth) AS ("
    " SELECT id, 0 FROM keys WHERE id BETWEEN 1 AND 4 AND parent = 0"
    " UNION ALL SELECT k.id, b.depth + 1 FROM below b JOIN keys k ON k.parent = b.id"
    " WHERE b.depth <= ?1)"
    " SELECT (SELECT count(*) FROM below), (SELECT ifnull(max(depth), 0) FROM below),"
    " (SELECT count(*) FROM keys),"
    " (SELECT count(*) FROM keys WHERE id BETWEEN 1 AND 4 AND parent = 0),"
    " EXISTS(SELECT 1 FROM vals WHERE key NOT IN (SELECT id FROM keys))";

}  // namespace

DWORD RegStore::CheckTree(std::string* why) {
  if (db_ == nullptr) return ERROR_INVALID_HANDLE;
  BeginRead();
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_prepare_v2(db_, kTreeShape, -1, &st, nullptr);
  if (rc == SQLITE_OK) {
    sqlite3_bind_int(st, 1, kRegMaxDepth);
    rc = sqlite3_step(st);
  }
  if (rc != SQLITE_ROW) {
    sqlite3_finalize(st);
    *why = sqlite3_errmsg(db_);
    return Fail(rc);
  }
  int64_t reached = sqlite3_column_int64(st, 0), deepest = sqlite3_column_int64(st, 1);
  int64_t keys = sqlite3_column_int64(st, 2), roots = sqlite3_column_int64(st, 3);
  bool lostValues = sqlite3_column_int(st, 4) != 0;
  sqlite3_finalize(st);
  if (roots != 4)
    *why = "the registry is damaged: a root key is missing or lies below another key";
  else if (deepest > kRegMaxDepth)
    *why = "the registry is damaged: a key lies more than " + std::to_string(kRegMaxDepth) +
           " levels below its root (Windows allows " + std::to_string(kRegMaxDepth) + ")";
  else if (reached != keys)
    *why = "the registry is damaged: " + std::to_string(keys - reached) +
           " key(s) lie below no root (a cycle of parents, or a missing parent)";
  else if (lostValues)
    *why = "the registry is damaged: values of a key that does not exist";
  else
    return ERROR_SUCCESS;
  return ERROR_BADDB;
}

}  // namespace qzhost
