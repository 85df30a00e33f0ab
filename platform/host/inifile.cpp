// The text of one profile (INI) file: Windows' reading rules and line-exact edits.
#include "platform/host/inifile.h"

#include <algorithm>
#include <cstring>

#include "platform/host/codepage.h"

namespace qzhost {

struct IniFile::Section {
  uint32_t headerStart;  // the "[name]" line
  uint32_t bodyStart;    // the line after it
  uint32_t end;          // the next header line, or the end of the text
  uint32_t nameStart;
  uint32_t nameSize;
};

// Open-addressed table of a section's key lines: each slot holds the start
// offset of the first line of a name (+1, 0 free) and the name's hash, so
// that probing compares names only when their hashes are equal.
struct IniFile::KeyIndex {
  std::vector<uint32_t> slots;   // a power of two in size
  std::vector<uint32_t> hashes;  // of the names in `slots`
  size_t count = 0;
};

struct IniFile::Line {
  enum Kind { kOther, kSection, kComment, kKey };
  uint32_t start = 0;
  uint32_t contentEnd = 0;  // before "\r\n" or "\n"
  uint32_t next = 0;        // start of the following line
  Kind kind = kOther;
  std::string_view name;   // section or key name, trimmed
  std::string_view value;  // key value, trimmed
};

namespace {

bool IsBlank(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f' || c == 0x1A;
}

unsigned char FoldAsciiByte(unsigned char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

// Calls fn(byte) for each byte of `name` as it takes part in comparisons:
// single-byte letters folded, both bytes of a double-byte character as they are.
template <typename Fn>
void ForEachFolded(std::string_view name, unsigned codePage, Fn fn) {
  for (size_t i = 0; i < name.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    if (IsLeadByteOf(codePage, c) && i + 1 < name.size()) {
      fn(c);
      fn(static_cast<unsigned char>(name[++i]));
    } else {
      fn(FoldAsciiByte(c));
    }
  }
}

size_t TableSizeFor(size_t count) {
  size_t size = 8;
  while (size < count * 2) size *= 2;
  return size;
}

// The name of a header line's content after '[': up to the last ']' that is
// a character of its own (not the second byte of a double-byte character).
std::string_view HeaderName(std::string_view rest, unsigned codePage) {
  size_t close = std::string_view::npos;
  for (size_t i = 0; i < rest.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(rest[i]);
    if (IsLeadByteOf(codePage, c) && i + 1 < rest.size())
      ++i;
    else if (c == ']')
      close = i;
  }
  return TrimProfileBlanks(rest.substr(0, close));
}

std::string_view Unquoted(std::string_view value) {
  if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
    return value.substr(1, value.size() - 2);
  return value;
}

}  // namespace

std::string_view TrimProfileBlanks(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && IsBlank(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

uint32_t ProfileIntOf(std::string_view value, bool isNT) {
  size_t i = 0;
  bool negative = false;
  if (i < value.size() && value[i] == '-') {
    negative = true;
    ++i;
  } else if (i < value.size() && value[i] == '+') {
    if (!isNT) return 0;
    ++i;
  }
  uint32_t n = 0;  // wraps like Windows' own conversion
  for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i)
    n = n * 10u + static_cast<uint32_t>(value[i] - '0');
  return negative ? 0u - n : n;
}

uint32_t HashProfileName(std::string_view name, unsigned codePage) {
  uint32_t h = 2166136261u;  // FNV-1a
  ForEachFolded(name, codePage, [&h](unsigned char c) { h = (h ^ c) * 16777619u; });
  return h;
}

bool SameProfileName(std::string_view a, std::string_view b, unsigned codePage) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char ca = static_cast<unsigned char>(a[i]);
    unsigned char cb = static_cast<unsigned char>(b[i]);
    if (IsLeadByteOf(codePage, ca) && i + 1 < a.size()) {
      if (ca != cb || a[i + 1] != b[i + 1]) return false;
      ++i;
    } else if (FoldAsciiByte(ca) != FoldAsciiByte(cb)) {
      return false;
    }
  }
  return true;
}

IniFile::IniFile(std::string text, unsigned codePage)
    : text_(std::move(text)), codePage_(codePage) {
  const char* nl = static_cast<const char*>(memchr(text_.data(), '\n', text_.size()));
  if (nl != nullptr) crlf_ = nl > text_.data() && nl[-1] == '\r';
  if (text_.size() <= kMaxBytes) ParseSections();
}

IniFile::~IniFile() = default;

bool IniFile::NextLine(uint32_t start, uint32_t end, Line* line) const {
  if (start >= end) return false;
  const char* base = text_.data();
  const char* nl = static_cast<const char*>(memchr(base + start, '\n', end - start));
  line->start = start;
  line->contentEnd = nl ? static_cast<uint32_t>(nl - base) : end;
  line->next = nl ? line->contentEnd + 1 : end;
  if (line->contentEnd > start && base[line->contentEnd - 1] == '\r') --line->contentEnd;
  std::string_view content(base + start, line->contentEnd - start);
  std::string_view lead = TrimProfileBlanks(content);
  line->kind = Line::kOther;
  line->name = line->value = {};
  if (lead.empty()) return true;
  if (lead[0] == '[') {
    line->kind = Line::kSection;
    line->name = HeaderName(content.substr(lead.data() - content.data() + 1), codePage_);
  } else if (lead[0] == ';') {
    line->kind = Line::kComment;
  } else if (size_t eq = content.find('='); eq != std::string_view::npos) {
    line->kind = Line::kKey;
    line->name = TrimProfileBlanks(content.substr(0, eq));
    line->value = TrimProfileBlanks(content.substr(eq + 1));
  }
  return true;
}

void IniFile::ParseSections() {
  uint32_t size = static_cast<uint32_t>(text_.size());
  const char* base = text_.data();
  Line line;
  for (uint32_t at = 0; at < size;) {
    // Only header lines are parsed: their first non-blank byte is '['.
    uint32_t first = at;
    while (first < size && base[first] != '\n' && IsBlank(static_cast<unsigned char>(base[first])))
      ++first;
    if (first == size || base[first] != '[') {
      const void* nl = memchr(base + first, '\n', size - first);
      at = nl ? static_cast<uint32_t>(static_cast<const char*>(nl) - base) + 1 : size;
      continue;
    }
    NextLine(at, size, &line);
    at = line.next;
    if (!sections_.empty()) sections_.back().end = line.start;
    uint32_t nameStart = static_cast<uint32_t>(line.name.data() - text_.data());
    sections_.push_back(
        {line.start, line.next, size, nameStart, static_cast<uint32_t>(line.name.size())});
  }
  sectionSlots_.assign(TableSizeFor(sections_.size()), 0);
  size_t mask = sectionSlots_.size() - 1;
  for (uint32_t i = 0; i < sections_.size(); ++i) {
    std::string_view name(text_.data() + sections_[i].nameStart, sections_[i].nameSize);
    size_t slot = HashProfileName(name, codePage_) & mask;
    for (;; slot = (slot + 1) & mask) {
      uint32_t held = sectionSlots_[slot];
      if (held == 0) {
        sectionSlots_[slot] = i + 1;
        break;
      }
      const Section& other = sections_[held - 1];
      if (SameProfileName(name, {text_.data() + other.nameStart, other.nameSize}, codePage_))
        break;  // the first section of that name wins
    }
  }
  keyIndexes_.resize(sections_.size());
  scanned_.assign(sections_.size(), false);
}

const IniFile::Section* IniFile::FindSection(std::string_view name) const {
  name = TrimProfileBlanks(name);
  size_t mask = sectionSlots_.size() - 1;
  if (sectionSlots_.empty()) return nullptr;
  for (size_t slot = HashProfileName(name, codePage_) & mask;; slot = (slot + 1) & mask) {
    uint32_t held = sectionSlots_[slot];
    if (held == 0) return nullptr;
    const Section& s = sections_[held - 1];
    if (SameProfileName(name, {text_.data() + s.nameStart, s.nameSize}, codePage_)) return &s;
  }
}

// Adds the key line at `start` unless an earlier line has the same name.
void IniFile::AddKey(KeyIndex* index, const Section& section, uint32_t start,
                     std::string_view name) const {
  const uint32_t hash = HashProfileName(name, codePage_);
  const size_t mask = index->slots.size() - 1;
  Line other;
  for (size_t slot = hash & mask;; slot = (slot + 1) & mask) {
    uint32_t held = index->slots[slot];
    if (held == 0) {
      index->slots[slot] = start + 1;
      index->hashes[slot] = hash;
      ++index->count;
      return;
    }
    if (index->hashes[slot] != hash) continue;
    NextLine(held - 1, section.end, &other);
    if (SameProfileName(name, other.name, codePage_)) return;  // the first key wins
  }
}

const IniFile::KeyIndex& IniFile::KeysOf(const Section& section) const {
  std::unique_ptr<KeyIndex>& index = keyIndexes_[&section - sections_.data()];
  if (index) return *index;
  index = std::make_unique<KeyIndex>();
  // Room for every line of the section at once, so the table never grows.
  const char* body = text_.data() + section.bodyStart;
  size_t lines = 1 + static_cast<size_t>(std::count(body, text_.data() + section.end, '\n'));
  index->slots.assign(TableSizeFor(lines), 0);
  index->hashes.assign(index->slots.size(), 0);
  Line line;
  for (uint32_t at = section.bodyStart; NextLine(at, section.end, &line); at = line.next)
    if (line.kind == Line::kKey) AddKey(index.get(), section, line.start, line.name);
  return *index;
}

// The first lookup in a section reads its lines once; from the second on,
// an index of its keys pays (a run usually asks a big section one thing).
bool IniFile::FindKeyLine(const Section& section, std::string_view key, Line* line) const {
  key = TrimProfileBlanks(key);
  const size_t number = &section - sections_.data();
  if (!keyIndexes_[number] && !scanned_[number]) {
    scanned_[number] = true;
    for (uint32_t at = section.bodyStart; NextLine(at, section.end, line); at = line->next)
      if (line->kind == Line::kKey && SameProfileName(key, line->name, codePage_)) return true;
    return false;
  }
  const KeyIndex& index = KeysOf(section);
  const uint32_t hash = HashProfileName(key, codePage_);
  size_t mask = index.slots.size() - 1;
  for (size_t slot = hash & mask;; slot = (slot + 1) & mask) {
    uint32_t held = index.slots[slot];
    if (held == 0) return false;
    if (index.hashes[slot] != hash) continue;
    NextLine(held - 1, section.end, line);
    if (SameProfileName(key, line->name, codePage_)) return true;
  }
}

bool IniFile::HasSection(std::string_view section) const { return FindSection(section) != nullptr; }

bool IniFile::FindValue(std::string_view section, std::string_view key,
                        std::string_view* value) const {
  const Section* s = FindSection(section);
  Line line;
  if (s == nullptr || !FindKeyLine(*s, key, &line)) return false;
  *value = Unquoted(line.value);
  return true;
}

namespace {
size_t LineAt(const std::string& text, uint32_t offset) {
  return 1 + static_cast<size_t>(std::count(text.begin(), text.begin() + offset, '\n'));
}
}  // namespace

size_t IniFile::SectionLine(std::string_view section) const {
  const Section* s = FindSection(section);
  return s == nullptr ? 0 : LineAt(text_, s->headerStart);
}

size_t IniFile::KeyLine(std::string_view section, std::string_view key) const {
  const Section* s = FindSection(section);
  Line line;
  if (s == nullptr || !FindKeyLine(*s, key, &line)) return 0;
  return LineAt(text_, line.start);
}

std::vector<std::string_view> IniFile::SectionNames() const {
  std::vector<std::string_view> names;
  for (const Section& s : sections_) {
    std::string_view name(text_.data() + s.nameStart, s.nameSize);
    if (FindSection(name) == &s) names.push_back(name);
  }
  return names;
}

std::string_view IniFile::SectionBody(std::string_view section) const {
  const Section* s = FindSection(section);
  if (s == nullptr) return std::string_view();
  return std::string_view(text_).substr(s->bodyStart, s->end - s->bodyStart);
}

std::vector<std::string_view> IniFile::KeyNames(std::string_view section) const {
  std::vector<std::string_view> names;
  const Section* s = FindSection(section);
  if (s == nullptr) return names;
  // One reading in file order; a table of the names so far (index + 1, with
  // their hashes) leaves out later lines of a name.
  const char* body = text_.data() + s->bodyStart;
  const size_t lines = 1 + static_cast<size_t>(std::count(body, text_.data() + s->end, '\n'));
  std::vector<uint32_t> slots(TableSizeFor(lines), 0), hashes(slots.size(), 0);
  const size_t mask = slots.size() - 1;
  Line line;
  for (uint32_t at = s->bodyStart; NextLine(at, s->end, &line); at = line.next) {
    if (line.kind != Line::kKey || line.name.empty()) continue;
    const uint32_t hash = HashProfileName(line.name, codePage_);
    size_t slot = hash & mask;
    while (slots[slot] != 0 &&
           !(hashes[slot] == hash && SameProfileName(names[slots[slot] - 1], line.name, codePage_)))
      slot = (slot + 1) & mask;
    if (slots[slot] != 0) continue;  // the first line of a name wins
    names.push_back(line.name);
    slots[slot] = static_cast<uint32_t>(names.size());
    hashes[slot] = hash;
  }
  return names;
}

bool IniFile::SetValue(std::string_view section, std::string_view key, std::string_view value,
                       std::string* out) const {
  const Section* s = FindSection(section);
  const std::string_view eol = LineEnd();
  if (s == nullptr) {
    *out = text_;
    if (!out->empty() && out->back() != '\n') out->append(eol);
    out->append("[").append(section).append("]").append(eol);
    out->append(key).append("=").append(value).append(eol);
    return true;
  }
  // One reading of the section finds the key, or where a new one goes:
  // after the section's last key (or its header), so new keys stay together.
  Line line;
  bool found = false;
  uint32_t at = s->bodyStart;
  if (keyIndexes_[s - sections_.data()]) {
    found = FindKeyLine(*s, key, &line);
  } else {
    const std::string_view trimmed = TrimProfileBlanks(key);
    for (uint32_t i = s->bodyStart; !found && NextLine(i, s->end, &line); i = line.next) {
      if (line.kind != Line::kKey) continue;
      found = SameProfileName(trimmed, line.name, codePage_);
      at = line.next;
    }
  }
  if (found) {
    if (line.value == value) return false;
    *out = text_.substr(0, line.start);
    out->append(line.name).append("=").append(value);
    out->append(text_, line.contentEnd, std::string::npos);
    return true;
  }
  if (keyIndexes_[s - sections_.data()]) {
    for (uint32_t i = s->bodyStart; NextLine(i, s->end, &line); i = line.next)
      if (line.kind == Line::kKey) at = line.next;
  }
  *out = text_.substr(0, at);
  if (at == 0 || text_[at - 1] != '\n') out->append(eol);
  out->append(key).append("=").append(value).append(eol);
  out->append(text_, at, std::string::npos);
  return true;
}

bool IniFile::DeleteKey(std::string_view section, std::string_view key, std::string* out) const {
  const Section* s = FindSection(section);
  if (s == nullptr) return false;
  key = TrimProfileBlanks(key);
  std::string result;
  uint32_t copied = 0;
  Line line;
  for (uint32_t at = s->bodyStart; NextLine(at, s->end, &line); at = line.next) {
    if (line.kind != Line::kKey || !SameProfileName(line.name, key, codePage_)) continue;
    result.append(text_, copied, line.start - copied);
    copied = line.next;
  }
  if (copied == 0) return false;
  result.append(text_, copied, std::string::npos);
  *out = std::move(result);
  return true;
}

bool IniFile::DeleteSection(std::string_view section, std::string* out) const {
  section = TrimProfileBlanks(section);
  std::string result;
  uint32_t copied = 0;
  bool removed = false;
  for (const Section& s : sections_) {
    if (!SameProfileName({text_.data() + s.nameStart, s.nameSize}, section, codePage_)) continue;
    result.append(text_, copied, s.headerStart - copied);
    copied = s.end;
    removed = true;
  }
  if (!removed) return false;
  result.append(text_, copied, std::string::npos);
  *out = std::move(result);
  return true;
}

}  // namespace qzhost
