// The text of one profile (INI) file: Windows' reading rules and line-exact edits.
#include "platform/host/profile/inifile.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/host/machine/codepage.h"

namespace qzhost {

struct IniFile::Section {
  uint32_t headerStart;  // the "[name]" line
  uint32_t bodyStart;    // the line after it
  uint32_t end;          // the next header line, or the end of the text
  uint32_t nameStart;
  uint32_t nameSize;
};

struct IniFile::Line {
  uint32_t start = 0;
  uint32_t contentEnd = 0;  // before "\r\n" or "\n"
  uint32_t next = 0;        // start of the following line
  std::string_view name;    // section or key name, trimmed; empty for other lines
  std::string_view value;   // key value, trimmed
};

namespace {

// Space, tab, CR, VT, FF and ^Z; one comparison for the bytes above space.
bool IsBlank(unsigned char c) {
  constexpr uint64_t kBlanks = (uint64_t{1} << ' ') | (1u << '\t') | (1u << '\r') | (1u << '\v') |
                               (1u << '\f') | (1u << 0x1A);
  return c <= ' ' && ((kBlanks >> c) & 1) != 0;
}

// Windows' ANSI code pages keep ASCII single-byte, so only bytes from 0x80
// on need asking the code page (names are mostly ASCII).
bool IsLead(unsigned char c, unsigned codePage) { return c >= 0x80 && IsLeadByteOf(codePage, c); }

// Equality under the naming rules: single-byte letters folded (the code
// page's accented letters too, as the registry folds them), both bytes of a
// double-byte character compared as they are.
inline bool SameName(std::string_view a, std::string_view b, unsigned codePage) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char ca = static_cast<unsigned char>(a[i]);
    unsigned char cb = static_cast<unsigned char>(b[i]);
    if (ca != cb) {
      // Bytes that differ are equal only as letters of different case, the
      // code page's accented ones too; a lead byte folds to itself, so it
      // never passes.
      if (FoldNameByte(codePage, ca) != FoldNameByte(codePage, cb)) return false;
    } else if (IsLead(ca, codePage) && i + 1 < a.size()) {
      ++i;
      if (a[i] != b[i]) return false;
    }
  }
  return true;
}

// A hash of the bytes as SameName compares them. Runs of eight ASCII bytes
// are taken a word at a time; whether a run is taken so depends only on
// byte values equal names share, so equal names hash alike.
uint32_t NameHash(std::string_view name, unsigned codePage) {
  uint64_t h = 0xcbf29ce484222325u;
  const uint64_t prime = 0x100000001b3u;  // FNV-1a's, for single bytes
  for (size_t i = 0; i < name.size();) {
    if (name.size() - i >= 8) {
      uint64_t word;
      memcpy(&word, name.data() + i, 8);
      if ((word & 0x8080808080808080u) == 0) {
        h = (h ^ FoldAsciiWord(word)) * 0x9e3779b97f4a7c15u;
        h ^= h >> 32;
        i += 8;
        continue;
      }
    }
    unsigned char c = static_cast<unsigned char>(name[i++]);
    if (IsLead(c, codePage) && i < name.size()) {
      h = (h ^ c) * prime;
      c = static_cast<unsigned char>(name[i++]);
    } else {
      c = FoldNameByte(codePage, c);
    }
    h = (h ^ c) * prime;
  }
  // Spreads every byte into the low bits that pick a slot.
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdu;
  h ^= h >> 33;
  return static_cast<uint32_t>(h);
}

size_t TableSizeFor(size_t count) {
  size_t size = 8;
  while (size < count * 2) size *= 2;
  return size;
}

// The name of a header line's content after '[': up to the first ']' that
// is a character of its own (not the second byte of a double-byte
// character), or the line's end; Windows reads "[a]b]" as section "a".
std::string_view HeaderName(std::string_view rest, unsigned codePage) {
  size_t close = rest.size();
  for (size_t i = 0; i < rest.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(rest[i]);
    if (c == ']') {
      close = i;
      break;
    }
    if (IsLead(c, codePage) && i + 1 < rest.size()) ++i;
  }
  return TrimProfileBlanks(rest.substr(0, close));
}

std::string_view Unquoted(std::string_view value) {
  if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
    return value.substr(1, value.size() - 2);
  return value;
}

// Lines end in "\r\n", "\n" or a lone "\r": Windows' reader ends a line at
// either byte. Files with a lone CR are rare, so the readers below take
// `crBreaks` (the text has one) and look only for "\n" without it.

// Where the line from `at` stops (its line end or `end`), with *next set to
// the following line's start. Without crBreaks a CRLF's "\r" stays in the
// line, where it counts as a blank.
inline uint32_t LineStop(const char* base, uint32_t at, uint32_t end, bool crBreaks,
                         uint32_t* next) {
  if (!crBreaks) {
    const char* nl = static_cast<const char*>(memchr(base + at, '\n', end - at));
    const uint32_t stop = nl ? static_cast<uint32_t>(nl - base) : end;
    *next = nl ? stop + 1 : end;
    return stop;
  }
  uint32_t stop = at;
  while (stop < end && base[stop] != '\n' && base[stop] != '\r') ++stop;
  *next = stop == end ? end : stop + 1;
  if (stop + 1 < end && base[stop] == '\r' && base[stop + 1] == '\n') *next = stop + 2;
  return stop;
}

bool EndsLine(char c) { return c == '\n' || c == '\r'; }

// Whether a "\r" not followed by "\n" is in the text: sixteen bytes at a
// time, each compared with "\r" and the byte after it with "\n".
bool HasLoneCr(std::string_view text) {
  const char* p = text.data();
  const char* const end = p + text.size();
#if defined(__SSE2__)
  const __m128i cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n');
  auto lone = [&](const char* at) {
    const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 1));
    return _mm_andnot_si128(_mm_cmpeq_epi8(next, lf), _mm_cmpeq_epi8(here, cr));
  };
  for (; end - p > 64; p += 64) {  // four blocks per test: the test is the slow part
    const __m128i any =
        _mm_or_si128(_mm_or_si128(lone(p), lone(p + 16)), _mm_or_si128(lone(p + 32), lone(p + 48)));
    if (_mm_movemask_epi8(any)) return true;
  }
  for (; end - p > 16; p += 16)
    if (_mm_movemask_epi8(lone(p))) return true;
#endif
  for (; p < end; ++p)
    if (*p == '\r' && (p + 1 == end || p[1] != '\n')) return true;
  return false;
}

// The start of the line holding the '[' at `bracket` when that '[' is the
// line's first non-blank byte (the line is a header), else false. Only
// blanks are passed, so a lone "\r" is told by the byte after it.
bool HeaderLineStart(const char* base, uint32_t bracket, uint32_t* start) {
  uint32_t at = bracket;
  for (; at > 0 && base[at - 1] != '\n' && !(base[at - 1] == '\r' && base[at] != '\n'); --at)
    if (!IsBlank(static_cast<unsigned char>(base[at - 1]))) return false;
  *start = at;
  return true;
}

// A key line's name; no name at all (a null data()) for comments, headers,
// blank lines and lines without '='. Only the name is trimmed: scans of a
// section need nothing else from the lines they pass. One view, without a
// flag beside it, comes back in registers: a per-line result read back from
// memory stalled the loops that call this.
std::string_view KeyNameOf(std::string_view content) {
  size_t first = 0;
  while (first < content.size() && IsBlank(static_cast<unsigned char>(content[first]))) ++first;
  if (first == content.size() || content[first] == ';' || content[first] == '[') return {};
  size_t eq = content.find('=', first);
  if (eq == std::string_view::npos) return {};
  while (eq > first && IsBlank(static_cast<unsigned char>(content[eq - 1]))) --eq;
  return content.substr(first, eq - first);
}

// Whether a line's content (its line end left out) is a key line named
// `key`, as KeyNameOf would find, for a `key` without surrounding blanks and
// without '=' (no name has either). Lines of other names are left at their
// first differing byte, without a search for their '='.
bool IsKeyLineOf(std::string_view content, std::string_view key, unsigned codePage) {
  size_t at = 0;
  while (at < content.size() && IsBlank(static_cast<unsigned char>(content[at]))) ++at;
  if (at == content.size() || content[at] == ';' || content[at] == '[') return false;
  if (content.size() - at < key.size() || !SameName(key, content.substr(at, key.size()), codePage))
    return false;
  for (at += key.size(); at < content.size(); ++at)
    if (!IsBlank(static_cast<unsigned char>(content[at]))) return content[at] == '=';
  return false;
}

// Calls fn(start, next, content) for each line of [begin, end) in file order
// until fn returns false: `next` is the following line's start, `content`
// the line up to its line end (see LineStop).
template <typename Fn>
void ForEachLine(std::string_view text, uint32_t begin, uint32_t end, bool crBreaks, Fn fn) {
  const char* base = text.data();
  for (uint32_t at = begin; at < end;) {
    uint32_t next;
    const uint32_t stop = LineStop(base, at, end, crBreaks, &next);
    if (!fn(at, next, text.substr(at, stop - at))) return;
    at = next;
  }
}

// Calls fn(start, next, name) for each key line of [begin, end) in file
// order until fn returns false.
template <typename Fn>
void ForEachKeyLine(std::string_view text, uint32_t begin, uint32_t end, bool crBreaks, Fn fn) {
  ForEachLine(text, begin, end, crBreaks,
              [&fn](uint32_t start, uint32_t next, std::string_view content) {
                const std::string_view name = KeyNameOf(content);
                return name.data() == nullptr || fn(start, next, name);
              });
}

// The last key line of [begin, end): where it starts, where the line after
// it starts, and its key's name; false when there is no key. Read from the
// end: keys rarely have much after them.
bool FindLastKeyLine(std::string_view text, uint32_t begin, uint32_t end, bool crBreaks,
                     uint32_t* start, uint32_t* next, std::string_view* name) {
  for (*next = end; *next > begin; *next = *start) {
    uint32_t stop =
        text[*next - 1] == '\n' || (crBreaks && text[*next - 1] == '\r') ? *next - 1 : *next;
    if (crBreaks && stop < *next && stop > begin && text[stop] == '\n' && text[stop - 1] == '\r')
      --stop;
    *start = stop;
    while (*start > begin && text[*start - 1] != '\n' && !(crBreaks && text[*start - 1] == '\r'))
      --*start;
    *name = KeyNameOf(text.substr(*start, stop - *start));
    if (name->data() != nullptr) return true;
  }
  return false;
}

// Where the line after the last key line of [begin, end) starts; `begin`
// when there is no key.
uint32_t AfterLastKeyLine(std::string_view text, uint32_t begin, uint32_t end, bool crBreaks) {
  uint32_t start = 0, next = 0;
  std::string_view name;
  return FindLastKeyLine(text, begin, end, crBreaks, &start, &next, &name) ? next : begin;
}

// `text` with [from, to) replaced by `pieces`, built in one allocation.
std::string Spliced(std::string_view text, size_t from, size_t to,
                    std::initializer_list<std::string_view> pieces) {
  size_t size = text.size() - (to - from);
  for (std::string_view piece : pieces) size += piece.size();
  std::string out;
  out.reserve(size);
  out.append(text.substr(0, from));
  for (std::string_view piece : pieces) out.append(piece);
  out.append(text.substr(to));
  return out;
}

// Open-addressed set of distinct names, sized once for at most `most`: a
// slot holds the number its owner gives a name (0 is free) and the name's
// hash, side by side, so that a probe reads one place and compares names
// only when hashes are equal.
class NameTable {
 public:
  explicit NameTable(size_t most) : slots_(TableSizeFor(most)) {}
  // The slot of the name with `hash` for which same(number) holds, else the
  // free slot where that name goes.
  template <typename Same>
  size_t Find(uint32_t hash, Same same) const {
    const size_t mask = slots_.size() - 1;
    for (size_t at = hash & mask;; at = (at + 1) & mask) {
      const Slot& slot = slots_[at];
      if (slot.number == 0 || (slot.hash == hash && same(slot.number))) return at;
    }
  }
  uint32_t At(size_t slot) const { return slots_[slot].number; }
  // Fills the free `slot` that Find returned for `hash`.
  void Put(size_t slot, uint32_t hash, uint32_t number) { slots_[slot] = {number, hash}; }

 private:
  struct Slot {
    uint32_t number = 0;
    uint32_t hash = 0;
  };
  std::vector<Slot> slots_;
};

// How many lines [begin, end) of `text` has, the last one unended included:
// a bound for the names of a section. The '\n's are counted eight bytes at a
// time: in `x` a byte is zero where one was, and adding 0x7f to a byte's low
// seven bits sets its top bit, without a carry, unless it is zero.
size_t LinesIn(std::string_view text, uint32_t begin, uint32_t end, bool crBreaks) {
  const uint64_t ones = 0x0101010101010101u, low7 = ones * 0x7f;
  size_t count = 1;
  uint32_t at = begin;
  for (; end - at >= 8; at += 8) {
    uint64_t word;
    memcpy(&word, text.data() + at, 8);
    const uint64_t x = word ^ (ones * '\n');
    const uint64_t zeros = (~(((x & low7) + low7) | x) >> 7) & ones;
    count += (zeros * ones) >> 56;
  }
  for (; at < end; ++at) count += text[at] == '\n';
  if (crBreaks)
    count += static_cast<size_t>(std::count(text.begin() + begin, text.begin() + end, '\r'));
  return count;
}

}  // namespace

// A section's key lines: the first line of each name, numbered by its start
// offset + 1.
struct IniFile::KeyIndex {
  explicit KeyIndex(size_t most) : lines(most) {}
  NameTable lines;
};

std::string_view TrimProfileBlanks(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && IsBlank(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

std::string_view TrimCallerName(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && s[b] == ' ') ++b;
  while (e > b && s[e - 1] == ' ') --e;
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
  return NameHash(name, codePage);
}

bool SameProfileName(std::string_view a, std::string_view b, unsigned codePage) {
  return SameName(a, b, codePage);
}

IniFile::IniFile(std::string text, unsigned codePage)
    : text_(std::move(text)), codePage_(codePage) {
  const char* nl = static_cast<const char*>(memchr(text_.data(), '\n', text_.size()));
  if (nl != nullptr) crlf_ = nl > text_.data() && nl[-1] == '\r';
  if (text_.size() <= kMaxBytes) ParseSections();
}

IniFile::~IniFile() = default;

bool IniFile::CrBreaks() const {
  if (crBreaks_ < 0) crBreaks_ = HasLoneCr(text_) ? 1 : 0;
  return crBreaks_ != 0;
}

bool IniFile::NextLine(uint32_t start, uint32_t end, Line* line) const {
  return NextLine(start, end, CrBreaks(), line);
}

bool IniFile::NextLine(uint32_t start, uint32_t end, bool crBreaks, Line* line) const {
  if (start >= end) return false;
  const char* base = text_.data();
  line->start = start;
  line->contentEnd = LineStop(base, start, end, crBreaks, &line->next);
  if (line->contentEnd > start && base[line->contentEnd - 1] == '\r') --line->contentEnd;
  std::string_view content(base + start, line->contentEnd - start);
  std::string_view lead = TrimProfileBlanks(content);
  line->name = line->value = {};
  if (lead.empty() || lead[0] == ';') return true;
  if (lead[0] == '[') {
    line->name = HeaderName(content.substr(lead.data() - content.data() + 1), codePage_);
  } else if (size_t eq = content.find('='); eq != std::string_view::npos) {
    line->name = TrimProfileBlanks(content.substr(0, eq));
    line->value = TrimProfileBlanks(content.substr(eq + 1));
  }
  return true;
}

void IniFile::ParseSections() {
  const uint32_t size = static_cast<uint32_t>(text_.size());
  const char* base = text_.data();
  Line line;
  // Headers are found by their '[': the lines between them are not read.
  for (uint32_t at = 0; at < size;) {
    const char* open = static_cast<const char*>(memchr(base + at, '[', size - at));
    if (open == nullptr) break;
    const uint32_t bracket = static_cast<uint32_t>(open - base);
    uint32_t start;
    if (!HeaderLineStart(base, bracket, &start)) {
      at = bracket + 1;
      continue;
    }
    NextLine(start, size, true, &line);  // a header line ends at its first break
    at = line.next;
    if (!sections_.empty()) sections_.back().end = line.start;
    uint32_t nameStart = static_cast<uint32_t>(line.name.data() - base);
    sections_.push_back(
        {line.start, line.next, size, nameStart, static_cast<uint32_t>(line.name.size())});
  }
  sectionSlots_.assign(TableSizeFor(sections_.size()), 0);
  size_t mask = sectionSlots_.size() - 1;
  for (uint32_t i = 0; i < sections_.size(); ++i) {
    std::string_view name(text_.data() + sections_[i].nameStart, sections_[i].nameSize);
    size_t slot = NameHash(name, codePage_) & mask;
    for (;; slot = (slot + 1) & mask) {
      uint32_t held = sectionSlots_[slot];
      if (held == 0) {
        sectionSlots_[slot] = i + 1;
        break;
      }
      const Section& other = sections_[held - 1];
      if (SameName(name, {text_.data() + other.nameStart, other.nameSize}, codePage_))
        break;  // the first section of that name wins
    }
  }
  keyIndexes_.resize(sections_.size());
  scanned_.assign(sections_.size(), false);
}

const IniFile::Section* IniFile::FindSection(std::string_view name) const {
  name = TrimCallerName(name);
  size_t mask = sectionSlots_.size() - 1;
  if (sectionSlots_.empty()) return nullptr;
  for (size_t slot = NameHash(name, codePage_) & mask;; slot = (slot + 1) & mask) {
    uint32_t held = sectionSlots_[slot];
    if (held == 0) return nullptr;
    const Section& s = sections_[held - 1];
    if (SameName(name, {text_.data() + s.nameStart, s.nameSize}, codePage_)) return &s;
  }
}

const IniFile::KeyIndex& IniFile::KeysOf(const Section& section) const {
  std::unique_ptr<KeyIndex>& index = keyIndexes_[&section - sections_.data()];
  if (index) return *index;
  index = std::make_unique<KeyIndex>(LinesIn(text_, section.bodyStart, section.end, CrBreaks()));
  NameTable& lines = index->lines;
  Line other;
  ForEachKeyLine(text_, section.bodyStart, section.end, CrBreaks(),
                 [&](uint32_t start, uint32_t, std::string_view name) {
                   const uint32_t hash = NameHash(name, codePage_);
                   const size_t slot = lines.Find(hash, [&](uint32_t held) {
                     NextLine(held - 1, section.end, &other);
                     return SameName(name, other.name, codePage_);
                   });
                   if (lines.At(slot) == 0) lines.Put(slot, hash, start + 1);  // first one wins
                   return true;
                 });
  return *index;
}

// The first line of `key` in the section, read line by line.
bool IniFile::ScanForKey(const Section& section, std::string_view key, Line* line) const {
  // Names have neither surrounding blanks nor '='.
  if (key != TrimProfileBlanks(key) || key.find('=') != std::string_view::npos) return false;
  uint32_t found = 0;  // start + 1
  ForEachLine(text_, section.bodyStart, section.end, CrBreaks(),
              [&](uint32_t start, uint32_t, std::string_view content) {
                if (IsKeyLineOf(content, key, codePage_)) found = start + 1;
                return found == 0;
              });
  return found != 0 && NextLine(found - 1, section.end, line);
}

// The first lookup in a section reads its lines once; from the second on,
// an index of its keys pays (a run usually asks a big section one thing).
bool IniFile::FindKeyLine(const Section& section, std::string_view key, Line* line) const {
  key = TrimCallerName(key);
  const size_t number = &section - sections_.data();
  if (!keyIndexes_[number] && !scanned_[number]) {
    scanned_[number] = true;
    if (ScanForKey(section, key, line)) return true;
    missedSection_ = number;
    missedKey_.assign(key);
    return false;
  }
  const NameTable& lines = KeysOf(section).lines;
  const size_t slot = lines.Find(NameHash(key, codePage_), [&](uint32_t held) {
    NextLine(held - 1, section.end, line);
    return SameName(key, line->name, codePage_);
  });
  return lines.At(slot) != 0 && NextLine(lines.At(slot) - 1, section.end, line);
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
// The 1-based number of the line at `offset`; with crBreaks a lone "\r"
// ends a line too.
size_t LineAt(const std::string& text, uint32_t offset, bool crBreaks) {
  size_t lines = 1 + static_cast<size_t>(std::count(text.begin(), text.begin() + offset, '\n'));
  for (uint32_t i = 0; crBreaks && i < offset; ++i)
    lines += text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n');
  return lines;
}
}  // namespace

size_t IniFile::SectionLine(std::string_view section) const {
  const Section* s = FindSection(section);
  return s == nullptr ? 0 : LineAt(text_, s->headerStart, CrBreaks());
}

size_t IniFile::KeyLine(std::string_view section, std::string_view key) const {
  const Section* s = FindSection(section);
  Line line;
  if (s == nullptr || !FindKeyLine(*s, key, &line)) return 0;
  return LineAt(text_, line.start, CrBreaks());
}

std::vector<std::string_view> IniFile::SectionNames() const {
  std::vector<std::string_view> names;
  names.reserve(sections_.size());
  for (const Section& s : sections_) names.emplace_back(text_.data() + s.nameStart, s.nameSize);
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
  // One reading in file order; the names so far (numbered by their place
  // + 1) leave out later lines of a name.
  NameTable seen(LinesIn(text_, s->bodyStart, s->end, CrBreaks()));
  ForEachKeyLine(
      text_, s->bodyStart, s->end, CrBreaks(), [&](uint32_t, uint32_t, std::string_view name) {
        if (name.empty()) return true;
        const uint32_t hash = NameHash(name, codePage_);
        const size_t slot = seen.Find(
            hash, [&](uint32_t held) { return SameName(names[held - 1], name, codePage_); });
        if (seen.At(slot) == 0) {
          names.push_back(name);
          seen.Put(slot, hash, static_cast<uint32_t>(names.size()));
        }
        return true;
      });
  return names;
}

void IniFile::ForEachKeyName(std::string_view section,
                             const std::function<void(std::string_view)>& visit) const {
  const Section* s = FindSection(section);
  if (s == nullptr) return;
  ForEachKeyLine(text_, s->bodyStart, s->end, CrBreaks(),
                 [&](uint32_t, uint32_t, std::string_view name) {
                   if (!name.empty()) visit(name);
                   return true;
                 });
}

size_t IniFile::LineCount(std::string_view section) const {
  const Section* s = FindSection(section);
  return s == nullptr ? 0 : LinesIn(text_, s->bodyStart, s->end, CrBreaks());
}

bool IniFile::SetValue(std::string_view section, std::string_view key, std::string_view value,
                       std::string* out) const {
  const Section* s = FindSection(section);
  const std::string_view eol = LineEnd();
  if (s == nullptr) {
    const size_t end = text_.size();
    const std::string_view ended = end == 0 || EndsLine(text_[end - 1]) ? "" : eol;
    *out = Spliced(text_, end, end, {ended, "[", section, "]", eol, key, "=", value, eol});
    return true;
  }
  // An edit reads the section once unless its index is there already; it
  // neither builds the index nor counts as a lookup. A key that the one
  // lookup did not find (a write after a read that found nothing) is not
  // looked for again: the text does not change.
  Line line;
  const size_t number = s - sections_.data();
  const std::string_view trimmed = TrimCallerName(key);
  bool found = false;
  if (keyIndexes_[number]) {
    found = FindKeyLine(*s, key, &line);
  } else if (number != missedSection_ || trimmed != missedKey_) {
    found = ScanForKey(*s, trimmed, &line);
  }
  if (found) {
    if (line.value == value) return false;
    *out = Spliced(text_, line.start, line.contentEnd, {line.name, "=", value});
    return true;
  }
  // New keys go after the section's last key (or its header), so they stay
  // together.
  const uint32_t at = AfterLastKeyLine(text_, s->bodyStart, s->end, CrBreaks());
  const std::string_view ended = at == 0 || !EndsLine(text_[at - 1]) ? eol : "";
  *out = Spliced(text_, at, at, {ended, key, "=", value, eol});
  return true;
}

bool IniFile::DeleteKey(std::string_view section, std::string_view key, std::string* out) const {
  const Section* s = FindSection(section);
  if (s == nullptr) return false;
  key = TrimCallerName(key);
  std::string result;
  uint32_t copied = 0;
  ForEachKeyLine(text_, s->bodyStart, s->end, CrBreaks(),
                 [&](uint32_t start, uint32_t next, std::string_view name) {
                   if (!SameName(name, key, codePage_)) return true;
                   result.append(text_, copied, start - copied);
                   copied = next;
                   return true;
                 });
  if (copied == 0) return false;
  result.append(text_, copied, std::string::npos);
  *out = std::move(result);
  return true;
}

bool IniFile::DeleteSection(std::string_view section, std::string* out) const {
  section = TrimCallerName(section);
  std::string result;
  uint32_t copied = 0;
  bool removed = false;
  for (const Section& s : sections_) {
    if (!SameName({text_.data() + s.nameStart, s.nameSize}, section, codePage_)) continue;
    result.append(text_, copied, s.headerStart - copied);
    // Windows keeps the section's comment lines; the header, its entries
    // and blank lines go.
    ForEachLine(text_, s.bodyStart, s.end, CrBreaks(),
                [&](uint32_t start, uint32_t next, std::string_view content) {
                  std::string_view lead = TrimProfileBlanks(content);
                  if (!lead.empty() && lead[0] == ';') result.append(text_, start, next - start);
                  return true;
                });
    copied = s.end;
    removed = true;
  }
  if (!removed) return false;
  result.append(text_, copied, std::string::npos);
  *out = std::move(result);
  return true;
}

}  // namespace qzhost
