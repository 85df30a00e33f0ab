// qzreg query, add and delete: reg.exe's verbs with its switches and output.
//
// Each verb is one transaction of the registry layer; a CI step can assert
// with `qzreg query KEY /v NAME`, which exits with 1 when either is absent.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

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

struct TypeName {
  DWORD type;
  const char* name;
};
const TypeName kTypes[] = {{REG_NONE, "REG_NONE"},           {REG_SZ, "REG_SZ"},
                           {REG_EXPAND_SZ, "REG_EXPAND_SZ"}, {REG_BINARY, "REG_BINARY"},
                           {REG_DWORD, "REG_DWORD"},         {REG_MULTI_SZ, "REG_MULTI_SZ"}};

std::string TypeText(DWORD type) {
  for (const TypeName& t : kTypes)
    if (t.type == type) return t.name;
  return "REG_0x" + std::to_string(type);
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

std::string HexBytes(const std::string& data) {
  std::string out;
  char hex[3];
  for (unsigned char c : data) snprintf(hex, sizeof hex, "%02X", c), out += hex;
  return out;
}

// The data as reg.exe shows it.
std::string DataText(const qzhost::RegValue& v) {
  std::string d = v.data;
  switch (v.type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
      return d.substr(0, d.find('\0'));
    case REG_DWORD: {
      if (d.size() != 4) return HexBytes(d);
      const unsigned char* b = reinterpret_cast<const unsigned char*>(d.data());
      char text[16];
      snprintf(
          text, sizeof text, "0x%x",
          static_cast<unsigned>(b[0] | b[1] << 8 | b[2] << 16 | static_cast<unsigned>(b[3]) << 24));
      return text;
    }
    case REG_MULTI_SZ: {
      while (!d.empty() && d.back() == '\0') d.pop_back();
      std::string out;
      for (char c : d) out += c == '\0' ? std::string("\\0") : std::string(1, c);
      return out;
    }
    default:
      return HexBytes(d);
  }
}

std::string ValueName(const std::string& name) { return name.empty() ? "(Default)" : name; }

int BadKey(const std::string& key) {
  return Complain(kExitFailed, "ERROR: Invalid key name '" + key + "'.");
}

// --- query -------------------------------------------------------------------

struct QueryOut {
  bool json = false;
  std::vector<std::string> rows;
  void Value(const std::string& path, const qzhost::RegValue& v) {
    if (json)
      rows.push_back(qzhost::JsonObject()
                         .Add("key", path)
                         .Add("name", v.name)
                         .Add("type", TypeText(v.type))
                         .Add("data", DataText(v))
                         .Text());
    else
      printf("    %s    %s    %s\n", ValueName(v.name).c_str(), TypeText(v.type).c_str(),
             DataText(v).c_str());
  }
};

// `depth` levels below its root: /s never goes deeper than Windows allows.
DWORD QueryTree(qzhost::RegStore* store, qzhost::RegKeyId id, const std::string& path, bool recurse,
                QueryOut* out, int depth) {
  if (depth > qzhost::kRegMaxDepth) return ERROR_BADDB;
  std::vector<qzhost::RegValue> values;
  std::vector<std::string> names;
  std::vector<qzhost::RegKeyId> ids;
  DWORD error = store->ListValues(id, &values);
  if (error == ERROR_SUCCESS) error = store->ListChildren(id, &names, &ids);
  if (error != ERROR_SUCCESS) return error;
  if (!out->json) printf("%s\n", path.c_str());
  for (const qzhost::RegValue& v : values) out->Value(path, v);
  if (!out->json && (!values.empty() || recurse)) printf("\n");
  for (size_t i = 0; i < names.size() && error == ERROR_SUCCESS; ++i) {
    if (recurse)
      error = QueryTree(store, ids[i], path + "\\" + names[i], true, out, depth + 1);
    else if (!out->json)
      printf("%s\\%s\n", path.c_str(), names[i].c_str());
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
  if (a.hasName) {
    qzhost::RegValue v;
    error = store->GetValue(id, a.name, &v);
    if (error == ERROR_FILE_NOT_FOUND) return Complain(kExitFailed, kNotFound);
    if (error != ERROR_SUCCESS)
      return CheckMachineFault(Complain(kExitFailed, "cannot read the registry"));
    if (!a.json) printf("\n%s\n", path.c_str());
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
  }
  return kExitOk;
}

// --- add ---------------------------------------------------------------------

bool ParseDword(const std::string& text, std::string* data) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  unsigned long long v = strtoull(text.c_str(), &end, 0);
  if (*end != '\0' || errno != 0 || v > 0xFFFFFFFFull || text[0] == '-') return false;
  *data = std::string{static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                      static_cast<char>(v >> 24)};
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
  const TypeName* known = nullptr;
  for (const TypeName& t : kTypes)
    if (strcasecmp(a.type.c_str(), t.name) == 0) known = &t;
  if (known == nullptr)
    return *status = Complain(kExitUsage, "unknown /t type '" + a.type + "'"), false;
  *type = known->type;
  bool ok = true;
  switch (*type) {
    case REG_DWORD:
      ok = ParseDword(a.hasData ? a.data : "0", data);
      break;
    case REG_BINARY:
    case REG_NONE:
      ok = ParseBinary(a.data, data);
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
    default:
      *data = a.data + '\0';
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
  printf("%s\n", kDone);
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
  printf("%s\n", kDone);
  return kExitOk;
}

template <int (*Run)(qzhost::RegStore*, const VerbArgs&)>
int Verb(const Args& args, const char* verb, const char* allowed) {
  VerbArgs a;
  if (int status = ParseVerb(args, verb, allowed, &a)) return status;
  int status = kExitOk;
  qzhost::RegStore* store = ExistingRegistry(&status);
  return store == nullptr ? status : Run(store, a);
}

// A query reads one snapshot, never half of a change committed meanwhile.
int RunPinnedQuery(qzhost::RegStore* store, const VerbArgs& a) {
  store->PinReadSnapshot();
  int status = RunQuery(store, a);
  store->UnpinReadSnapshot();
  return status;
}

}  // namespace

int Query(const Args& args) { return Verb<RunPinnedQuery>(args, "query", " v ve s json "); }
int Add(const Args& args) { return Verb<RunAdd>(args, "add", " v ve t sep d f "); }
int Delete(const Args& args) { return Verb<RunDelete>(args, "delete", " v ve va f "); }

}  // namespace qzreg
