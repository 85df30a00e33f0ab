// qzreg query, add and delete: reg.exe's verbs with its switches and output.
//
// Each verb is one transaction of the registry layer; a CI step can assert
// with `qzreg query KEY /v NAME`, which exits with 1 when either is absent.
#include <fnmatch.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/host/machine/hostutf8.h"
#include "platform/host/machine/machine.h"
#include "platform/host/registry/registry.h"
#include "platform/host/registry/regstore.h"
#include "platform/host/report/jsontext.h"
#include "tools/qzreg.h"

namespace qzreg {
namespace {

const char kNotFound[] =
    "ERROR: The system was unable to find the specified registry key or value.";
const char kDone[] = "The operation completed successfully.";

std::string TypeText(DWORD type) { return RegTypeName(type); }

// Text of the machine for the terminal: UTF-8 where the locale speaks it.
std::string T(const std::string& text) {
  return qzhost::ForTerminal(qzhost::Machine().codePage, text);
}

// What the switches of a verb said.
struct VerbArgs {
  std::string key;
  bool hasName = false;  // /v or /ve
  std::string name;
  bool allValues = false;  // /va
  bool recurse = false;    // /s (query)
  std::string type = "REG_SZ";
  std::string separator = "\\0";
  bool hasType = false;  // /t given
  bool hasData = false;
  std::string data;
  bool force = false;
  bool json = false;
  bool find = false;  // /f PATTERN (query)
  std::string pattern;
  bool keysOnly = false;   // /k: match key names only
  bool dataOnly = false;   // /d: match data only
  bool caseExact = false;  // /c
  bool whole = false;      // /e: the whole name or data, not a part of it
};

// Parses reg.exe-style switches; `allowed` lists the ones the verb takes.
int ParseVerb(const Args& args, const char* verb, const std::string& allowed, VerbArgs* out) {
  auto takes = [&allowed](const char* s) {
    return allowed.find(std::string(" ") + s + " ") != std::string::npos;
  };
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    bool more = i + 1 < args.size();
    if (IsSwitch(a, "v") && takes("v") && more && !out->hasName)
      out->hasName = true, out->name = args[++i];
    else if (IsSwitch(a, "ve") && takes("ve") && !out->hasName)
      out->hasName = true;
    else if (IsSwitch(a, "va") && takes("va"))
      out->allValues = true;
    else if (IsSwitch(a, "s") && takes("s"))
      out->recurse = true;
    else if (IsSwitch(a, "s") && takes("sep") && more)
      out->separator = args[++i];
    else if (IsSwitch(a, "t") && takes("t") && more)
      out->type = args[++i], out->hasType = true;
    else if (IsSwitch(a, "d") && takes("d") && more)
      out->hasData = true, out->data = args[++i];
    else if (IsSwitch(a, "f") && takes("f"))
      out->force = true;
    else if (IsSwitch(a, "f") && takes("find") && more && !out->find)
      out->find = true, out->pattern = args[++i];
    else if (IsSwitch(a, "k") && takes("find"))
      out->keysOnly = true;
    else if (IsSwitch(a, "d") && takes("find"))
      out->dataOnly = true;
    else if (IsSwitch(a, "c") && takes("find"))
      out->caseExact = true;
    else if (IsSwitch(a, "e") && takes("find"))
      out->whole = true;
    else if (a == "--json" && takes("json"))
      out->json = true;
    else if (out->key.empty() && a[0] != '/' && a[0] != '-')
      out->key = a;
    else
      return Complain(kExitUsage, "invalid argument '" + a + "' (try qzreg " + verb + " --help)");
  }
  if (out->key.empty()) return Complain(kExitUsage, std::string(verb) + " needs a KEY");
  if (out->allValues && out->hasName)
    return Complain(kExitUsage, "/va and /v or /ve exclude each other");
  if ((out->keysOnly || out->dataOnly || out->caseExact || out->whole) && !out->find)
    return Complain(kExitUsage, "/k, /d, /c and /e go with /f PATTERN");
  if (out->find && out->hasName) return Complain(kExitUsage, "/f and /v or /ve exclude each other");
  if (out->keysOnly && out->dataOnly) return Complain(kExitUsage, "/k and /d exclude each other");
  return kExitOk;
}

// The key's root and the names below it; false for an unknown root.
bool SplitKey(const std::string& key, qzhost::RegKeyId* root, std::vector<std::string>* path) {
  size_t slash = key.find('\\');
  *root = qzhost::RootKeyIdByName(key.substr(0, slash));
  while (slash != std::string::npos) {
    size_t next = key.find('\\', slash + 1);
    std::string name = key.substr(slash + 1, next == std::string::npos ? next : next - slash - 1);
    if (!name.empty()) path->push_back(name);
    slash = next;
  }
  return *root != qzhost::kNoKey;
}

const size_t kMaxValueNameLength = 16383;

// Finds the key; *id is kNoKey when it is missing. *canonical gets its path as stored.
DWORD FindKey(qzhost::RegStore* store, const std::string& key, qzhost::RegKeyId* id,
              std::string* canonical) {
  std::vector<std::string> path;
  if (!SplitKey(key, id, &path)) return ERROR_BAD_PATHNAME;
  *canonical = qzhost::RootKeyName(*id);
  for (const std::string& name : path) {
    std::string stored;
    DWORD error = store->FindChild(*id, name, id, &stored);
    if (error != ERROR_SUCCESS || *id == qzhost::kNoKey) return error;
    *canonical += "\\" + stored;
  }
  return ERROR_SUCCESS;
}

// The data as reg.exe shows it.
std::string DataText(const qzhost::RegValue& v) { return RegDataText(v.type, v.data); }

std::string ValueName(const std::string& name) { return name.empty() ? "(Default)" : name; }

int BadKey(const std::string& key) {
  return Complain(kExitFailed, "ERROR: Invalid key name '" + key + "'.");
}

// --- query -------------------------------------------------------------------

struct QueryOut {
  bool json = false;
  std::vector<std::string> rows;
  // reg.exe's line for a default value that is not set: a row whose data is null.
  void Unset(const std::string& path) {
    if (json)
      rows.push_back(qzhost::JsonObject()
                         .Add("key", path)
                         .Add("name", "")
                         .Add("type", "REG_SZ")
                         .AddRaw("data", "null")
                         .Text());
    else
      printf("    (Default)    REG_SZ    (value not set)\n");
  }
  void Key(const std::string& path) {
    if (json)
      rows.push_back(qzhost::JsonObject().Add("key", path).Text());
    else
      printf("%s\n", T(path).c_str());
  }
  void Value(const std::string& path, const qzhost::RegValue& v) {
    if (json)
      rows.push_back(qzhost::JsonObject()
                         .Add("key", path)
                         .Add("name", v.name)
                         .Add("type", TypeText(v.type))
                         .Add("data", DataText(v))
                         .Text());
    else
      printf("    %s    %s    %s\n", T(ValueName(v.name)).c_str(), TypeText(v.type).c_str(),
             T(DataText(v)).c_str());
  }
};

// A key's values and subkeys, in the registry's order.
struct KeyContents {
  std::vector<qzhost::RegValue> values;
  std::vector<std::string> names;
  std::vector<qzhost::RegKeyId> ids;
};

DWORD ReadContents(qzhost::RegStore* store, qzhost::RegKeyId id, KeyContents* key) {
  DWORD error = store->ListValues(id, &key->values);
  return error == ERROR_SUCCESS ? store->ListChildren(id, &key->names, &key->ids) : error;
}

// `depth` levels below its root: /s never goes deeper than Windows allows.
DWORD QueryTree(qzhost::RegStore* store, qzhost::RegKeyId id, const std::string& path, bool recurse,
                QueryOut* out, int depth) {
  if (depth > qzhost::kRegMaxDepth) return ERROR_BADDB;
  KeyContents key;
  DWORD error = ReadContents(store, id, &key);
  if (error != ERROR_SUCCESS) return error;
  const std::vector<qzhost::RegValue>& values = key.values;
  const std::vector<std::string>& names = key.names;
  const std::vector<qzhost::RegKeyId>& ids = key.ids;
  if (!out->json) printf("%s\n", T(path).c_str());
  for (const qzhost::RegValue& v : values) out->Value(path, v);
  if (!out->json && (!values.empty() || recurse)) printf("\n");
  for (size_t i = 0; i < names.size() && error == ERROR_SUCCESS; ++i) {
    if (recurse)
      error = QueryTree(store, ids[i], path + "\\" + names[i], true, out, depth + 1);
    else if (!out->json)
      printf("%s\n", T(path + "\\" + names[i]).c_str());
  }
  return error;
}

// Whether `text` holds the pattern of /f (wildcards * and ?), or with /e
// is it; without regard to case unless /c.
bool Matches(const VerbArgs& a, const std::string& text) {
  std::string pattern = a.whole ? a.pattern : "*" + a.pattern + "*";
  return fnmatch(pattern.c_str(), text.c_str(), a.caseExact ? 0 : FNM_CASEFOLD) == 0;
}

// reg query /f: the keys below `id` whose names match, and the values whose
// name or data match (/k keys only, /d data only); /s the whole tree.
DWORD FindInTree(qzhost::RegStore* store, qzhost::RegKeyId id, const std::string& path,
                 const VerbArgs& a, QueryOut* out, size_t* matches) {
  KeyContents key;
  DWORD error = ReadContents(store, id, &key);
  if (error != ERROR_SUCCESS) return error;
  const std::vector<qzhost::RegValue>& values = key.values;
  const std::vector<std::string>& names = key.names;
  const std::vector<qzhost::RegKeyId>& ids = key.ids;
  bool header = false;
  for (const qzhost::RegValue& v : values) {
    bool hit = !a.keysOnly && ((!a.dataOnly && Matches(a, v.name)) || Matches(a, DataText(v)));
    if (!hit) continue;
    if (!header && !out->json) printf("%s\n", T(path).c_str());
    header = true;
    out->Value(path, v);
    ++*matches;
  }
  if (header && !out->json) printf("\n");
  for (size_t i = 0; i < names.size() && error == ERROR_SUCCESS; ++i) {
    std::string child = path + "\\" + names[i];
    if (!a.dataOnly && Matches(a, names[i])) {
      out->Key(child);
      ++*matches;
    }
    if (a.recurse) error = FindInTree(store, ids[i], child, a, out, matches);
  }
  return error;
}

int RunQuery(qzhost::RegStore* store, const VerbArgs& a) {
  qzhost::RegKeyId id = qzhost::kNoKey;
  std::string path;
  DWORD error = FindKey(store, a.key, &id, &path);
  if (error == ERROR_BAD_PATHNAME) return BadKey(a.key);
  if (error != ERROR_SUCCESS)
    return CheckMachineFault(Complain(kExitFailed, "cannot read the registry"));
  if (id == qzhost::kNoKey) return Complain(kExitFailed, kNotFound);
  QueryOut out;
  out.json = a.json;
  if (a.find) {
    size_t matches = 0;
    if (!a.json) printf("\n");
    if (FindInTree(store, id, path, a, &out, &matches) != ERROR_SUCCESS)
      return CheckMachineFault(Complain(kExitFailed, "cannot read the registry"));
    if (!a.json) printf("End of search: %zu match(es) found.\n", matches);
    if (matches == 0 && !a.json) return kExitFailed;
  } else if (a.hasName) {
    qzhost::RegValue v;
    error = store->GetValue(id, a.name, &v);
    // reg.exe shows a default value that is not set, and succeeds.
    bool unset = error == ERROR_FILE_NOT_FOUND && a.name.empty();
    if (error == ERROR_FILE_NOT_FOUND && !unset) return Complain(kExitFailed, kNotFound);
    if (error != ERROR_SUCCESS && !unset)
      return CheckMachineFault(Complain(kExitFailed, "cannot read the registry"));
    if (!a.json) printf("\n%s\n", T(path).c_str());
    if (unset)
      out.Unset(path);
    else
      out.Value(path, v);
    if (!a.json) printf("\n");
  } else {
    // A walk of the tree needs a tree: a registry that is none is damaged.
    std::string why;
    if (a.recurse && (error = store->CheckTree(&why)) != ERROR_SUCCESS) {
      if (error != ERROR_BADDB)
        return CheckMachineFault(Complain(kExitFailed, "cannot read the registry"));
      qzhost::ReportMachineFault(why);
      return CheckMachineFault(kExitFailed);
    }
    std::vector<std::string> names;
    qzhost::RegKeyId root = qzhost::kNoKey;
    SplitKey(a.key, &root, &names);
    if (!a.json) printf("\n");
    if (QueryTree(store, id, path, a.recurse, &out, static_cast<int>(names.size())) !=
        ERROR_SUCCESS)
      return CheckMachineFault(Complain(kExitFailed, "cannot read the registry"));
  }
  if (a.json) {
    printf("[");
    for (size_t i = 0; i < out.rows.size(); ++i)
      printf("%s\n  %s", i ? "," : "", out.rows[i].c_str());
    printf("%s]\n", out.rows.empty() ? "" : "\n");
    NoteJsonPrinted();
  }
  return kExitOk;
}

// --- add ---------------------------------------------------------------------

// A number of `bytes` bytes, least significant first (most with `bigEndian`).
bool ParseNumber(const std::string& text, size_t bytes, bool bigEndian, std::string* data) {
  if (text.empty() || text[0] == '-') return false;
  char* end = nullptr;
  errno = 0;
  unsigned long long v = strtoull(text.c_str(), &end, 0);
  if (*end != '\0' || errno != 0 || (bytes < 8 && v >> (8 * bytes) != 0)) return false;
  data->assign(bytes, '\0');
  for (size_t i = 0; i < bytes; ++i)
    (*data)[bigEndian ? bytes - 1 - i : i] = static_cast<char>(v >> (8 * i));
  return true;
}

bool ParseBinary(const std::string& text, std::string* data) {
  if (text.size() % 2 != 0) return false;
  for (size_t i = 0; i < text.size(); i += 2) {
    char pair[3] = {text[i], text[i + 1], 0};
    char* end = nullptr;
    long b = strtol(pair, &end, 16);
    if (*end != '\0' || !isxdigit(static_cast<unsigned char>(pair[0]))) return false;
    data->push_back(static_cast<char>(b));
  }
  return true;
}

// The bytes of /d DATA for the type; false with a message for bad data.
bool ValueData(const VerbArgs& a, DWORD* type, std::string* data, int* status) {
  if (!RegTypeByName(a.type, type))
    return *status = Complain(kExitUsage, "unknown /t type '" + a.type + "'"), false;
  bool ok = true;
  switch (*type) {
    case REG_DWORD:
    case REG_DWORD_BIG_ENDIAN:
      ok = ParseNumber(a.hasData ? a.data : "0", 4, *type == REG_DWORD_BIG_ENDIAN, data);
      break;
    case REG_QWORD:
      ok = ParseNumber(a.hasData ? a.data : "0", 8, false, data);
      break;
    case REG_SZ:
    case REG_EXPAND_SZ:
      *data = a.data + '\0';
      break;
    case REG_MULTI_SZ: {
      std::string sep = a.separator.empty() ? "\\0" : a.separator;
      for (size_t at = 0; at <= a.data.size() && !a.data.empty();) {
        size_t end = a.data.find(sep, at);
        if (end == std::string::npos) end = a.data.size();
        *data += a.data.substr(at, end - at) + '\0';
        at = end + sep.size();
      }
      *data += '\0';
      break;
    }
    default:  // REG_BINARY, REG_NONE and the resource and link types
      ok = ParseBinary(a.data, data);
  }
  if (!ok) *status = Complain(kExitUsage, "invalid /d data '" + a.data + "' for " + a.type);
  return ok;
}

// What Windows refuses, refused before anything is made: a key name over 255
// characters (bytes of the code page, as the Reg* calls count them), a key
// more than 512 levels below its root, a value name over 16,383 characters.
// An export of what add made must import again.
bool WithinLimits(const VerbArgs& a, int* status) {
  std::vector<std::string> path;
  qzhost::RegKeyId root = qzhost::kNoKey;
  SplitKey(a.key, &root, &path);
  std::string why;
  for (const std::string& name : path)
    if (name.size() > qzhost::kMaxKeyNameLength) why = "a key name over 255 characters";
  if (path.size() > static_cast<size_t>(qzhost::kRegMaxDepth))
    why = "a key more than " + std::to_string(qzhost::kRegMaxDepth) + " levels below its root";
  if (a.hasName && a.name.size() > kMaxValueNameLength) why = "a value name over 16383 characters";
  if (why.empty()) return true;
  *status = Complain(kExitFailed, "Windows refuses " + why + "; nothing was added");
  return false;
}

DWORD CreateKey(qzhost::RegStore* store, const std::string& key, qzhost::RegKeyId* id) {
  std::vector<std::string> path;
  if (!SplitKey(key, id, &path)) return ERROR_BAD_PATHNAME;
  for (const std::string& name : path) {
    DWORD error = store->CreateChild(*id, name, id);
    if (error != ERROR_SUCCESS) return error;
  }
  return ERROR_SUCCESS;
}

int RunAdd(qzhost::RegStore* store, const VerbArgs& given) {
  // Data or a type without /v is for the default value, as in reg.exe.
  VerbArgs a = given;
  a.hasName = a.hasName || a.hasData || a.hasType;
  DWORD type = REG_SZ;
  std::string data;
  int status = kExitOk;
  if (a.hasName && !ValueData(a, &type, &data, &status)) return status;
  if (!WithinLimits(a, &status)) return status;
  qzhost::RegTransaction tx(store);
  if (tx.Status() != ERROR_SUCCESS)
    return CheckMachineFault(Complain(kExitFailed, "the registry is busy or cannot be written"));
  qzhost::RegKeyId id = qzhost::kNoKey;
  DWORD error = CreateKey(store, a.key, &id);
  if (error == ERROR_BAD_PATHNAME) return BadKey(a.key);
  if (error == ERROR_SUCCESS && a.hasName) {
    qzhost::RegValue old;
    if (!a.force && store->GetValue(id, a.name, &old) == ERROR_SUCCESS)
      return Complain(kExitFailed, "the value " + ValueName(a.name) + " exists; /f overwrites it");
    error = store->SetValue(id, a.name, type, data);
  }
  if (error == ERROR_SUCCESS) error = tx.Commit();
  if (error != ERROR_SUCCESS) return CheckMachineFault(Complain(kExitFailed, RefusedChange(error)));
  Inform("%s\n", kDone);
  return kExitOk;
}

// --- delete ------------------------------------------------------------------

// reg.exe asks before deleting; without a terminal to ask, /f is needed.
bool Confirmed(const VerbArgs& a, const std::string& what) {
  if (a.force) return true;
  if (!isatty(0)) {
    Complain(kExitFailed, "not deleting " + what + " without /f (no terminal to ask)");
    return false;
  }
  printf("Permanently delete %s (Yes/No)? ", what.c_str());
  fflush(stdout);
  char answer[16] = "";
  return fgets(answer, sizeof answer, stdin) != nullptr && (answer[0] == 'y' || answer[0] == 'Y');
}

int RunDelete(qzhost::RegStore* store, const VerbArgs& a) {
  qzhost::RegTransaction tx(store);
  if (tx.Status() != ERROR_SUCCESS)
    return CheckMachineFault(Complain(kExitFailed, "the registry is busy or cannot be written"));
  qzhost::RegKeyId id = qzhost::kNoKey;
  std::string path;
  DWORD error = FindKey(store, a.key, &id, &path);
  if (error == ERROR_BAD_PATHNAME) return BadKey(a.key);
  if (error == ERROR_SUCCESS && id == qzhost::kNoKey) return Complain(kExitFailed, kNotFound);
  qzhost::RegValue v;
  if (error == ERROR_SUCCESS && a.hasName &&
      store->GetValue(id, a.name, &v) == ERROR_FILE_NOT_FOUND)
    return Complain(kExitFailed, kNotFound);
  if (error == ERROR_SUCCESS && !a.hasName && !a.allValues && path.find('\\') == std::string::npos)
    return Complain(kExitFailed, "ERROR: A root key cannot be deleted.");
  std::string what = a.hasName     ? "the registry value " + ValueName(a.name)
                     : a.allValues ? "all values under the registry key " + path
                                   : "the registry key " + path;
  if (error == ERROR_SUCCESS && !Confirmed(a, what)) return kExitFailed;
  if (error == ERROR_SUCCESS && a.hasName) {
    error = store->DeleteValue(id, a.name);
  } else if (error == ERROR_SUCCESS && a.allValues) {
    std::vector<qzhost::RegValue> values;
    error = store->ListValues(id, &values);
    for (size_t i = 0; i < values.size() && error == ERROR_SUCCESS; ++i)
      error = store->DeleteValue(id, values[i].name);
  } else if (error == ERROR_SUCCESS) {
    error = store->DeleteTree(id);
  }
  if (error == ERROR_SUCCESS) error = tx.Commit();
  if (error != ERROR_SUCCESS) return CheckMachineFault(Complain(kExitFailed, RefusedChange(error)));
  Inform("%s\n", kDone);
  return kExitOk;
}

// The key, names, data and pattern as the machine holds them: typed in the
// locale's UTF-8, taken into its code page, or refused when it cannot hold them.
int ToMachineText(VerbArgs* a) {
  unsigned codePage = qzhost::Machine().codePage;
  for (std::string* text : {&a->key, &a->name, &a->data, &a->pattern}) {
    std::string converted, bad;
    if (!qzhost::ArgumentToCodePage(codePage, *text, &converted, &bad))
      return Complain(kExitUsage, "'" + *text + "' holds '" + bad + "', which code page " +
                                      std::to_string(codePage) + " cannot hold; nothing was done");
    *text = converted;
  }
  return kExitOk;
}

template <int (*Run)(qzhost::RegStore*, const VerbArgs&)>
int Verb(const Args& args, const char* verb, const char* allowed) {
  VerbArgs a;
  if (int status = ParseVerb(args, verb, allowed, &a)) return status;
  int status = kExitOk;
  qzhost::RegStore* store = ExistingRegistry(&status);
  if (store == nullptr) return status;
  if (int refused = ToMachineText(&a)) return refused;
  return Run(store, a);
}

// A query reads one snapshot, never half of a change committed meanwhile.
int RunPinnedQuery(qzhost::RegStore* store, const VerbArgs& a) {
  store->PinReadSnapshot();
  int status = RunQuery(store, a);
  store->UnpinReadSnapshot();
  return status;
}

}  // namespace

int Query(const Args& args) { return Verb<RunPinnedQuery>(args, "query", " v ve s json find "); }
int Add(const Args& args) { return Verb<RunAdd>(args, "add", " v ve t sep d f "); }
int Delete(const Args& args) { return Verb<RunDelete>(args, "delete", " v ve va f "); }

}  // namespace qzreg
