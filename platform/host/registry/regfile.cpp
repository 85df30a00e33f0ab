// .reg import and export.
#include "platform/host/registry/regfile.h"

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <vector>

#include "platform/host/machine/codepage.h"
#include "platform/host/machine/cpconvert.h"
#include "platform/host/machine/machine.h"
#include "platform/host/machine/seed.h"

namespace qzhost {
namespace {

const DWORD kErrorInvalidData = 13;  // ERROR_INVALID_DATA
const char kHeader4[] = "REGEDIT4";
const char kHeader5[] = "Windows Registry Editor Version 5.00";
const size_t kMaxKeyName = 255;
const size_t kMaxValueName = 16383;
const size_t kHexLineWidth = 77;  // regedit breaks hex data before column 80

enum class OpKind { kKey, kDeleteKey, kValue, kDeleteValue, kSkippedKey };

// Roots of Windows that this registry does not hold: their keys are skipped.
const char* const kForeignRoots[][2] = {{"HKEY_CURRENT_CONFIG", "HKCC"}, {"HKEY_DYN_DATA", "HKDD"}};

// What parsing needs besides the text.
struct ParseState {
  unsigned codePage = 1252;
  std::vector<std::string> skippedRoots;  // one entry per foreign root met
};

struct RegOp {
  OpKind kind;
  size_t line;
  RegKeyId root = kNoKey;
  std::vector<std::string> path;
  std::string name;
  DWORD type = REG_NONE;
  std::string data;
};

struct LogicalLine {
  size_t number;
  std::string text;
};

bool Fail(RegFileError* error, size_t line, const std::string& message) {
  error->line = line;
  error->message = message;
  return false;
}

std::string TrimBlanks(const std::string& s) {
  size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return {};
  size_t e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

std::u16string Utf16Units(const std::string& bytes, size_t from) {
  std::u16string units;
  for (size_t i = from; i + 1 < bytes.size(); i += 2)
    units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                          static_cast<unsigned char>(bytes[i + 1]) << 8));
  return units;
}

std::string Utf16Bytes(const std::u16string& units) {
  std::string bytes;
  for (char16_t u : units)
    bytes += std::string{static_cast<char>(u & 0xFF), static_cast<char>(u >> 8)};
  return bytes;
}

bool NotInCodePage(RegFileError* error, size_t line, char16_t unit, unsigned codePage) {
  char code[16];
  snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(unit));
  return Fail(
      error, line,
      std::string("character ") + code + " has no form in code page " + std::to_string(codePage));
}

// UTF-16LE text (after its byte-order mark) in the code page, line by line so
// that a character it cannot carry is named with its line.
bool NarrowUtf16(const std::string& in, unsigned codePage, std::string* out, RegFileError* error) {
  std::u16string units = Utf16Units(in, 2);
  out->clear();
  size_t line = 1;
  for (size_t at = 0; at < units.size(); ++line) {
    size_t end = units.find(u'\n', at);
    end = end == std::u16string::npos ? units.size() : end + 1;
    std::string narrow;
    char16_t bad = 0;
    if (!Utf16ToCodePage(codePage, units.substr(at, end - at), &narrow, &bad))
      return NotInCodePage(error, line, bad, codePage);
    *out += narrow;
    at = end;
  }
  return true;
}

// Physical lines joined where a line ends in a backslash (hex data goes on).
std::vector<LogicalLine> SplitLines(const std::string& text) {
  std::vector<LogicalLine> lines;
  size_t number = 0, pos = 0;
  bool continuing = false;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::string trimmed = continuing ? TrimBlanks(line) : line;
    if (continuing)
      lines.back().text += trimmed;
    else
      lines.push_back({number, trimmed});
    // Only the ends of the logical line are looked at: a value spread over
    // thousands of lines costs the length of its text, not its square.
    std::string& last = lines.back().text;
    size_t tail = last.find_last_not_of(" \t");
    size_t head = last.find_first_not_of(" \t");
    continuing = tail != std::string::npos && last[tail] == '\\' && last[head] != '[';
    if (continuing) {
      last.erase(tail);
      last.erase(0, head);
    }
  }
  return lines;
}

// True for a root of Windows this registry does not hold; notes it once.
bool SkipsForeignRoot(const std::string& rootName, ParseState* state) {
  std::string upper = RegUpperName(1252, rootName);
  for (const auto& root : kForeignRoots) {
    if (upper != root[0] && upper != root[1]) continue;
    auto& seen = state->skippedRoots;
    if (std::find(seen.begin(), seen.end(), root[0]) == seen.end()) seen.push_back(root[0]);
    return true;
  }
  return false;
}

// Removes backslashes at the end that are characters of their own.
void DropTrailingBackslashes(unsigned codePage, std::string* path) {
  while (!path->empty()) {
    const char* start = path->c_str();
    const char* last = PrevCharOf(codePage, start, start + path->size());
    if (last != start + path->size() - 1 || *last != '\\') return;
    path->pop_back();
  }
}

bool ParseSection(const LogicalLine& line, ParseState* state, RegOp* op, RegFileError* error) {
  std::string text = TrimBlanks(line.text);
  if (text.size() < 2 || text.back() != ']') return Fail(error, line.number, "section without ']'");
  text = text.substr(1, text.size() - 2);
  op->kind = OpKind::kKey;
  op->line = line.number;
  if (!text.empty() && text[0] == '-') {
    op->kind = OpKind::kDeleteKey;
    text.erase(0, 1);
  }
  // A double-byte character whose second byte is 0x5C stays in its name.
  const unsigned codePage = state->codePage;
  DropTrailingBackslashes(codePage, &text);
  size_t slash = FindCharOffset(codePage, text, '\\');
  op->root = RootKeyIdByName(text.substr(0, slash));
  if (op->root == kNoKey && SkipsForeignRoot(text.substr(0, slash), state)) {
    op->kind = OpKind::kSkippedKey;
    return true;
  }
  if (op->root == kNoKey) return Fail(error, line.number, "unknown root key in [" + text + "]");
  while (slash != std::string::npos) {
    size_t next = FindCharOffset(codePage, text, '\\', slash + 1);
    std::string name = text.substr(slash + 1, next == std::string::npos ? next : next - slash - 1);
    if (name.empty()) return Fail(error, line.number, "empty key name");
    if (name.size() > kMaxKeyName) return Fail(error, line.number, "key name over 255 characters");
    op->path.push_back(name);
    slash = next;
  }
  if (op->path.size() > static_cast<size_t>(kRegMaxDepth))
    return Fail(error, line.number,
                "a key more than " + std::to_string(kRegMaxDepth) +
                    " levels below its root (Windows allows " + std::to_string(kRegMaxDepth) + ")");
  return true;
}

// Reads a quoted string at text[*pos] (just after the opening quote). A
// double-byte character whose second byte is 0x5C or 0x22 is one character,
// no escape and no quote.
bool ParseQuoted(const std::string& text, size_t* pos, std::string* out, size_t line,
                 unsigned codePage, RegFileError* error) {
  out->clear();
  for (size_t i = *pos; i < text.size(); ++i) {
    char c = text[i];
    if (IsLeadByteOf(codePage, static_cast<unsigned char>(c)) && i + 1 < text.size()) {
      out->append(text, i, 2);
      ++i;
      continue;
    }
    if (c == '"') {
      *pos = i + 1;
      return true;
    }
    if (c == '\\') {
      if (++i >= text.size()) break;
      if (text[i] != '\\' && text[i] != '"') return Fail(error, line, "unknown escape in string");
      c = text[i];
    }
    out->push_back(c);
  }
  return Fail(error, line, "string without closing quote");
}

bool OnlyCommentFollows(const std::string& text, size_t pos) {
  std::string rest = TrimBlanks(text.substr(std::min(pos, text.size())));
  return rest.empty() || rest[0] == ';';
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool ParseHexBytes(const std::string& text, std::string* out, size_t line, RegFileError* error) {
  out->clear();
  std::string data = text.substr(0, text.find(';'));
  size_t i = 0;
  while (true) {
    while (i < data.size() && (data[i] == ' ' || data[i] == '\t')) ++i;
    if (i >= data.size()) return true;
    int hi = HexDigit(data[i]), lo = i + 1 < data.size() ? HexDigit(data[i + 1]) : -1;
    if (hi < 0) return Fail(error, line, "bad hex byte");
    i += lo < 0 ? 1 : 2;
    out->push_back(static_cast<char>(lo < 0 ? hi : hi * 16 + lo));
    while (i < data.size() && (data[i] == ' ' || data[i] == '\t')) ++i;
    if (i < data.size() && data[i] != ',') return Fail(error, line, "bad hex byte list");
    ++i;
  }
}

bool IsStringType(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// Version 5.00 files hold the string types' hex data as UTF-16LE.
bool NarrowHexString(std::string* data, unsigned codePage, size_t line, RegFileError* error) {
  if (data->size() % 2 != 0) return Fail(error, line, "odd byte count in UTF-16 data");
  std::string out;
  char16_t bad = 0;
  if (!Utf16ToCodePage(codePage, Utf16Units(*data, 0), &out, &bad))
    return NotInCodePage(error, line, bad, codePage);
  *data = out;
  return true;
}

bool ParseData(const std::string& text, RegFileVersion version, unsigned codePage, RegOp* op,
               RegFileError* error) {
  size_t line = op->line;
  if (text == "-" || (text.size() > 1 && text[0] == '-' && OnlyCommentFollows(text, 1))) {
    op->kind = OpKind::kDeleteValue;
    return true;
  }
  if (!text.empty() && text[0] == '"') {
    size_t pos = 1;
    if (!ParseQuoted(text, &pos, &op->data, line, codePage, error)) return false;
    if (!OnlyCommentFollows(text, pos)) return Fail(error, line, "text after the string");
    op->type = REG_SZ;
    op->data.push_back('\0');
    return true;
  }
  if (text.compare(0, 6, "dword:") == 0) {
    std::string digits = TrimBlanks(text.substr(6, text.find(';') - 6));
    if (digits.empty() || digits.size() > 8 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return HexDigit(c) >= 0; }))
      return Fail(error, line, "bad dword value");
    uint32_t v = static_cast<uint32_t>(strtoul(digits.c_str(), nullptr, 16));
    op->type = REG_DWORD;
    op->data = std::string{static_cast<char>(v), static_cast<char>(v >> 8),
                           static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
    return true;
  }
  size_t colon = text.find(':');
  std::string kind = text.substr(0, colon);
  if (colon == std::string::npos) return Fail(error, line, "unknown value data");
  if (kind == "hex") {
    op->type = REG_BINARY;
  } else if (kind.size() > 5 && kind.compare(0, 4, "hex(") == 0 && kind.back() == ')') {
    std::string digits = kind.substr(4, kind.size() - 5);
    if (digits.empty() || digits.size() > 8 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return HexDigit(c) >= 0; }))
      return Fail(error, line, "bad value type in " + kind);
    op->type = static_cast<DWORD>(strtoul(digits.c_str(), nullptr, 16));
  } else {
    return Fail(error, line, "unknown value data");
  }
  if (!ParseHexBytes(text.substr(colon + 1), &op->data, line, error)) return false;
  if (version == RegFileVersion::kVersion5 && IsStringType(op->type))
    return NarrowHexString(&op->data, codePage, line, error);
  return true;
}

bool ParseValue(const LogicalLine& line, RegFileVersion version, unsigned codePage, RegOp* op,
                RegFileError* error) {
  const std::string& text = line.text;
  op->kind = OpKind::kValue;
  op->line = line.number;
  size_t pos = 0;
  while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
  if (text[pos] == '@') {
    ++pos;
  } else {
    ++pos;
    if (!ParseQuoted(text, &pos, &op->name, line.number, codePage, error)) return false;
    if (op->name.size() > kMaxValueName)
      return Fail(error, line.number, "value name over 16383 characters");
  }
  while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
  if (pos >= text.size() || text[pos] != '=') return Fail(error, line.number, "'=' expected");
  return ParseData(TrimBlanks(text.substr(pos + 1)), version, codePage, op, error);
}

bool ParseHeader(const std::vector<LogicalLine>& lines, RegFileVersion* version,
                 RegFileError* error) {
  std::string first = lines.empty() ? std::string() : TrimBlanks(lines[0].text);
  if (first == kHeader4)
    *version = RegFileVersion::kRegedit4;
  else if (first == kHeader5)
    *version = RegFileVersion::kVersion5;
  else
    return Fail(error, 1,
                "not a .reg file (first line must be REGEDIT4 or " + std::string(kHeader5) + ")");
  return true;
}

bool ParseRegText(const std::string& raw, ParseState* state, std::vector<RegOp>* ops,
                  RegFileError* error) {
  std::string text = raw;
  if (text.size() >= 2 && text[0] == '\xFF' && text[1] == '\xFE') {
    if (!NarrowUtf16(raw, state->codePage, &text, error)) return false;
  } else if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    text.erase(0, 3);
  }
  std::vector<LogicalLine> lines = SplitLines(text);
  RegFileVersion version;
  if (!ParseHeader(lines, &version, error)) return false;
  bool inKey = false, inDeleted = false, inSkipped = false;
  for (size_t i = 1; i < lines.size(); ++i) {
    std::string trimmed = TrimBlanks(lines[i].text);
    if (trimmed.empty() || trimmed[0] == ';') continue;
    RegOp op;
    if (trimmed[0] == '[') {
      if (!ParseSection(lines[i], state, &op, error)) return false;
      inKey = op.kind == OpKind::kKey;
      inSkipped = op.kind == OpKind::kSkippedKey;
      inDeleted = op.kind == OpKind::kDeleteKey;
      if (inSkipped) continue;
    } else if (inSkipped) {
      continue;
    } else if (trimmed[0] == '"' || trimmed[0] == '@') {
      if (inDeleted) return Fail(error, lines[i].number, "value under a deleted key");
      if (!inKey) return Fail(error, lines[i].number, "value before any [key]");
      if (!ParseValue(lines[i], version, state->codePage, &op, error)) return false;
    } else {
      return Fail(error, lines[i].number, "unexpected text");
    }
    ops->push_back(std::move(op));
  }
  return true;
}

// Opens the key, creating what is missing; counts the keys it made when
// there is a summary (seeding has none and spares the lookups).
DWORD CreatePath(RegStore* store, const RegOp& op, RegKeyId* id, RegImportSummary* summary) {
  *id = op.root;
  for (const std::string& name : op.path) {
    RegKeyId child = kNoKey;
    DWORD result = ERROR_SUCCESS;
    if (summary == nullptr) {
      result = store->CreateChild(*id, name, &child);
      if (result != ERROR_SUCCESS) return result;
      *id = child;
      continue;
    }
    result = store->FindChild(*id, name, &child);
    if (result == ERROR_SUCCESS && child == kNoKey) {
      result = store->CreateChild(*id, name, &child);
      ++summary->keysAdded;
    }
    if (result != ERROR_SUCCESS) return result;
    *id = child;
  }
  return ERROR_SUCCESS;
}

DWORD SetCountedValue(RegStore* store, RegKeyId key, const RegOp& op, RegImportSummary* summary) {
  if (summary == nullptr) return store->SetValue(key, op.name, op.type, op.data);
  RegValue old;
  DWORD result = store->GetValue(key, op.name, &old);
  if (result == ERROR_FILE_NOT_FOUND)
    ++summary->valuesAdded;
  else if (result != ERROR_SUCCESS)
    return result;
  else if (old.type != op.type || old.data != op.data)
    ++summary->valuesChanged;
  return store->SetValue(key, op.name, op.type, op.data);
}

DWORD ApplyOp(RegStore* store, const RegOp& op, RegKeyId* current, RegFileError* error,
              RegImportSummary* summary) {
  DWORD result = ERROR_SUCCESS;
  RegKeyId id = op.root;
  switch (op.kind) {
    case OpKind::kKey:
      result = CreatePath(store, op, &id, summary);
      *current = id;
      break;
    case OpKind::kSkippedKey:
      break;
    case OpKind::kDeleteKey:
      if (op.path.empty())
        return Fail(error, op.line, "a root key cannot be deleted"), kErrorInvalidData;
      for (size_t i = 0; result == ERROR_SUCCESS && id != kNoKey && i < op.path.size(); ++i)
        result = store->FindChild(id, op.path[i], &id);
      if (result == ERROR_SUCCESS && id != kNoKey) {
        result = store->DeleteTree(id);
        if (summary != nullptr) ++summary->keysDeleted;
      }
      break;
    case OpKind::kValue:
      result = SetCountedValue(store, *current, op, summary);
      break;
    case OpKind::kDeleteValue:
      result = store->DeleteValue(*current, op.name);
      if (result == ERROR_SUCCESS && summary != nullptr) ++summary->valuesDeleted;
      if (result == ERROR_FILE_NOT_FOUND) result = ERROR_SUCCESS;
      break;
  }
  if (result != ERROR_SUCCESS)
    Fail(error, op.line, "the registry refused the change (error " + std::to_string(result) + ")");
  return result;
}

DWORD ApplyOps(RegStore* store, const std::vector<RegOp>& ops, RegFileError* error,
               RegImportSummary* summary) {
  RegKeyId current = kNoKey;
  for (const RegOp& op : ops) {
    DWORD result = ApplyOp(store, op, &current, error, summary);
    if (result != ERROR_SUCCESS) return result;
  }
  return ERROR_SUCCESS;
}

// Parses the whole text; the summary gets a warning per skipped root.
bool ParseForStore(RegStore* store, const std::string& text, std::vector<RegOp>* ops,
                   RegFileError* error, RegImportSummary* summary) {
  ParseState state;
  state.codePage = store->CodePage();
  if (!ParseRegText(text, &state, ops, error)) return false;
  for (const std::string& root : state.skippedRoots)
    summary->warnings.push_back("skipped the keys under " + root +
                                ", a root this machine does not hold");
  return true;
}

}  // namespace

std::string RegImportSummary::Text() const {
  return std::to_string(keysAdded) + (keysAdded == 1 ? " key" : " keys") + " added, " +
         std::to_string(keysDeleted) + " deleted; " + std::to_string(valuesAdded) +
         (valuesAdded == 1 ? " value" : " values") + " added, " + std::to_string(valuesChanged) +
         " changed, " + std::to_string(valuesDeleted) + " deleted";
}

DWORD ApplyRegText(RegStore* store, const std::string& text, RegFileError* error,
                   RegImportSummary* summary) {
  RegImportSummary warnings;
  std::vector<RegOp> ops;
  if (!ParseForStore(store, text, &ops, error, summary ? summary : &warnings))
    return kErrorInvalidData;
  return ApplyOps(store, ops, error, summary);
}

DWORD ImportRegText(RegStore* store, const std::string& text, RegFileError* error,
                    RegImportSummary* summary) {
  RegImportSummary counted;
  std::vector<RegOp> ops;
  if (!ParseForStore(store, text, &ops, error, &counted)) return kErrorInvalidData;
  RegTransaction tx(store);
  if (tx.Status() != ERROR_SUCCESS) {
    Fail(error, 0, "the registry is busy or cannot be written");
    return tx.Status();
  }
  DWORD result = ApplyOps(store, ops, error, &counted);
  if (result == ERROR_SUCCESS) result = tx.Commit();
  if (result == ERROR_SUCCESS && summary != nullptr) *summary = counted;
  return result;
}

DWORD ImportSeedFiles(RegStore* store, bool isNT, std::string* why) {
  std::string prefix = isNT ? "nt" : "win98";
  std::vector<const SeedFile*> files;
  for (const SeedFile* f = kSeedFiles; f->name != nullptr; ++f) {
    std::string name = f->name;
    if (name.compare(0, prefix.size(), prefix) == 0 && name.size() > 4 &&
        name.compare(name.size() - 4, 4, ".reg") == 0)
      files.push_back(f);
  }
  std::sort(files.begin(), files.end(),
            [](const SeedFile* a, const SeedFile* b) { return strcmp(a->name, b->name) < 0; });
  for (const SeedFile* f : files) {
    RegFileError error;
    if (ApplyRegText(store, std::string(f->data, f->size), &error) != ERROR_SUCCESS) {
      *why = "built-in seed " + std::string(f->name) + " line " + std::to_string(error.line) +
             ": " + error.message;
      return ERROR_REGISTRY_CORRUPT;
    }
  }
  return ERROR_SUCCESS;
}

// --- export ------------------------------------------------------------------

namespace {

// Escapes backslashes and quotes, by characters: the trail byte 0x5C of a
// double-byte character is part of it.
std::string Quote(const std::string& s, unsigned codePage) {
  std::string out = "\"";
  for (size_t i = 0; i < s.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (IsLeadByteOf(codePage, c) && i + 1 < s.size()) {
      out.append(s, i++, 2);
      continue;
    }
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(static_cast<char>(c));
  }
  return out + "\"";
}

// A REG_SZ that a quoted string gives back exactly: one terminator, no line breaks.
bool IsPlainString(const RegValue& v) {
  if (v.type != REG_SZ || v.data.empty() || v.data.back() != '\0') return false;
  return v.data.find_first_of(std::string("\r\n\0", 3)) == v.data.size() - 1;
}

void AppendHex(const std::string& prefix, const std::string& bytes, std::string* out) {
  std::string line = prefix;
  char item[4];
  for (size_t i = 0; i < bytes.size(); ++i) {
    snprintf(item, sizeof item, "%02x", static_cast<unsigned char>(bytes[i]));
    line += item;
    if (i + 1 == bytes.size()) break;
    line += ',';
    if (line.size() + 3 > kHexLineWidth) {
      *out += line + "\\\n";
      line = "  ";
    }
  }
  *out += line + "\n";
}

// False when version 5.00 cannot carry a string value: its text is no text of
// the code page, and its bytes are no UTF-16 that an import could read back.
bool AppendValue(const RegValue& v, RegFileVersion version, unsigned codePage, std::string* out) {
  std::string prefix = v.name.empty() ? "@=" : Quote(v.name, codePage) + "=";
  if (IsPlainString(v)) {
    *out += prefix + Quote(v.data.substr(0, v.data.size() - 1), codePage) + "\n";
  } else if (v.type == REG_DWORD && v.data.size() == 4) {
    const unsigned char* b = reinterpret_cast<const unsigned char*>(v.data.data());
    char dword[24];
    snprintf(
        dword, sizeof dword, "dword:%08x",
        static_cast<unsigned>(b[0] | b[1] << 8 | b[2] << 16 | static_cast<unsigned>(b[3]) << 24));
    *out += prefix + dword + "\n";
  } else if (v.type == REG_BINARY) {
    AppendHex(prefix + "hex:", v.data, out);
  } else {
    std::string data = v.data;
    if (version == RegFileVersion::kVersion5 && IsStringType(v.type)) {
      std::u16string wide;
      if (!CodePageToUtf16(codePage, v.data, &wide)) return false;
      data = Utf16Bytes(wide);
    }
    char kind[24];
    snprintf(kind, sizeof kind, "hex(%x):", static_cast<unsigned>(v.type));
    AppendHex(prefix + kind, data, out);
  }
  return true;
}

// `depth` levels below its root: a walk never goes deeper than Windows
// allows, whatever rows the tables hold.
DWORD ExportKey(RegStore* store, RegKeyId id, const std::string& path, RegFileVersion version,
                std::string* out, int depth) {
  if (depth > kRegMaxDepth) return ERROR_BADDB;
  std::vector<RegValue> values;
  DWORD error = store->ListValues(id, &values);
  if (error != ERROR_SUCCESS) return error;
  *out += "[" + path + "]\n";
  for (const RegValue& v : values)
    if (!AppendValue(v, version, store->CodePage(), out)) return kErrorInvalidData;
  *out += "\n";
  std::vector<std::string> names;
  std::vector<RegKeyId> ids;
  if ((error = store->ListChildren(id, &names, &ids)) != ERROR_SUCCESS) return error;
  for (size_t i = 0; i < names.size() && error == ERROR_SUCCESS; ++i)
    error = ExportKey(store, ids[i], path + "\\" + names[i], version, out, depth + 1);
  return error;
}

std::string WhyNotExported(DWORD error, unsigned codePage) {
  if (error == kErrorInvalidData)
    return "the registry holds text that is not of code page " + std::to_string(codePage);
  return "cannot read the registry";
}

DWORD ExportPinned(RegStore* store, const std::string& keyPath, RegFileVersion version,
                   std::string* text, std::string* why) {
  // A registry that is no tree cannot be walked: a damaged machine.
  if (DWORD error = store->CheckTree(why)) {
    if (error == ERROR_BADDB) ReportMachineFault(*why);
    return error;
  }
  if (keyPath.empty()) {  // every root
    DWORD error = ERROR_SUCCESS;
    for (const char* root :
         {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS"}) {
      if (error == ERROR_SUCCESS)
        error = ExportKey(store, RootKeyIdByName(root), root, version, text, 0);
    }
    if (error != ERROR_SUCCESS) *why = WhyNotExported(error, store->CodePage());
    return error;
  }
  std::string path = keyPath;
  const unsigned codePage = store->CodePage();
  DropTrailingBackslashes(codePage, &path);
  size_t slash = FindCharOffset(codePage, path, '\\');
  RegKeyId id = RootKeyIdByName(path.substr(0, slash));
  if (id == kNoKey) {
    *why = "unknown root key in '" + keyPath + "'";
    return ERROR_FILE_NOT_FOUND;
  }
  std::string canonical = RootKeyName(id);
  int depth = 0;
  while (slash != std::string::npos) {
    size_t next = FindCharOffset(codePage, path, '\\', slash + 1);
    std::string name = path.substr(slash + 1, next == std::string::npos ? next : next - slash - 1);
    slash = next;
    if (name.empty()) continue;
    std::string stored;
    DWORD error = store->FindChild(id, name, &id, &stored);
    if (error != ERROR_SUCCESS) return *why = "cannot read the registry", error;
    if (id == kNoKey) return *why = "no key '" + keyPath + "'", ERROR_FILE_NOT_FOUND;
    canonical += "\\" + stored;
    ++depth;
  }
  DWORD error = ExportKey(store, id, canonical, version, text, depth);
  if (error != ERROR_SUCCESS) *why = WhyNotExported(error, codePage);
  return error;
}

// The text as the registry editor writes it: CRLF, and version 5.00 in
// UTF-16LE with a byte-order mark.
bool EncodeAsRegedit(unsigned codePage, RegFileVersion version, std::string* text,
                     std::string* why) {
  std::string crlf;
  crlf.reserve(text->size() + text->size() / 16);
  for (char c : *text) {
    if (c == '\n') crlf.push_back('\r');
    crlf.push_back(c);
  }
  if (version == RegFileVersion::kRegedit4) return text->swap(crlf), true;
  std::u16string wide;
  if (!CodePageToUtf16(codePage, crlf, &wide))
    return *why = "the registry holds text that is not of code page " + std::to_string(codePage),
           false;
  *text = "\xFF\xFE" + Utf16Bytes(wide);
  return true;
}

}  // namespace

// The whole export reads one snapshot, so it never shows half of a change that
// another process commits meanwhile.
DWORD ExportRegText(RegStore* store, const std::string& keyPath, RegFileVersion version,
                    std::string* text, std::string* why) {
  *text = std::string(version == RegFileVersion::kVersion5 ? kHeader5 : kHeader4) + "\n\n";
  store->PinReadSnapshot();
  DWORD error =
      ExportPinned(store, keyPath.empty() ? "HKEY_LOCAL_MACHINE" : keyPath, version, text, why);
  store->UnpinReadSnapshot();
  if (error == ERROR_SUCCESS && !EncodeAsRegedit(store->CodePage(), version, text, why))
    error = kErrorInvalidData;
  return error;
}

DWORD ExportAllRegText(RegStore* store, RegFileVersion version, std::string* text,
                       std::string* why) {
  *text = std::string(version == RegFileVersion::kVersion5 ? kHeader5 : kHeader4) + "\n\n";
  store->PinReadSnapshot();
  DWORD error = ExportPinned(store, "", version, text, why);
  store->UnpinReadSnapshot();
  if (error == ERROR_SUCCESS && !EncodeAsRegedit(store->CodePage(), version, text, why))
    error = kErrorInvalidData;
  return error;
}

std::string RegValueText(const RegValue& value, RegFileVersion version) {
  std::string text;
  (void)AppendValue(value, version, 1252, &text);
  if (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

}  // namespace qzhost
