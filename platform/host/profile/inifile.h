// The text of one profile (INI) file: Windows' reading rules and line-exact edits.
//
// The file is kept as one buffer; parsing finds the section headers once. A
// section's first lookup reads its lines; from the second on, an index of its
// keys makes lookups a hash probe. Nothing is copied per line. Edits return a
// new text in which only the affected lines differ: comments, blank lines,
// other keys and order stay.
#ifndef QZINST32_PLATFORM_HOST_INIFILE_H_
#define QZINST32_PLATFORM_HOST_INIFILE_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qzhost {

// Windows' reading rules, as this class applies them:
// - a line ends at "\r\n", "\n" or a lone "\r";
// - a line whose first non-blank character is '[' starts a section; its name
//   runs to the first ']' (or the line's end) without surrounding blanks;
// - a line whose first non-blank character is ';' is a comment;
// - any other line with '=' is a key: name before the first '=', value after
//   it, both without surrounding blanks; a line without '=' is not a key;
// - names compare without regard to case (ASCII letters; double-byte
//   characters of the code page are compared byte for byte);
// - the first of several sections, or of several keys in a section, wins;
// - names a caller passes lose surrounding spaces, but not tabs.
class IniFile {
 public:
  // Files are limited to what 32-bit offsets can address.
  static constexpr size_t kMaxBytes = size_t{1} << 31;

  // `text` must not be larger than kMaxBytes.
  explicit IniFile(std::string text, unsigned codePage = 1252);
  ~IniFile();
  IniFile(const IniFile&) = delete;
  IniFile& operator=(const IniFile&) = delete;

  const std::string& text() const { return text_; }
  // The line end new lines get: the file's first one, "\r\n" when it has none.
  const char* LineEnd() const { return crlf_ ? "\r\n" : "\n"; }

  bool HasSection(std::string_view section) const;
  // The key's value without surrounding blanks, and without one pair of
  // matching quotes ('...' or "...") around it. False when absent.
  bool FindValue(std::string_view section, std::string_view key, std::string_view* value) const;
  // Section names of every header in file order, a name met again and
  // names differing only in case included (as Windows lists them).
  std::vector<std::string_view> SectionNames() const;
  // Key names of the (first) section in file order, each name once; empty
  // names ("=value" lines) are left out.
  std::vector<std::string_view> KeyNames(std::string_view section) const;
  // The same names with their repeats, for a caller that drops repeats by a
  // looser sameness of its own (any two names SameName holds equal must be
  // equal to it too): it then lists what it would list from KeyNames, without
  // the cost of telling repeats apart twice.
  void ForEachKeyName(std::string_view section,
                      const std::function<void(std::string_view)>& visit) const;
  // How many lines the (first) section has below its header: at least as many
  // as its key names.
  size_t LineCount(std::string_view section) const;

  // The lines of the (first) section below its header, as they stand; empty
  // when there is no such section. Equal bodies give equal KeyNames.
  std::string_view SectionBody(std::string_view section) const;
  // 1-based line numbers, for messages: the (first) section's header line and
  // the line of the key that FindValue reads; 0 when absent.
  size_t SectionLine(std::string_view section) const;
  size_t KeyLine(std::string_view section, std::string_view key) const;

  // Edits: true with *out set to the new text, false when nothing changes.
  // Sets key=value: replaces the first such key's line, else adds the line
  // after the section's last key, else appends the section at the end.
  bool SetValue(std::string_view section, std::string_view key, std::string_view value,
                std::string* out) const;
  // Removes every line of the key in the (first) section.
  bool DeleteKey(std::string_view section, std::string_view key, std::string* out) const;
  // Removes every section of that name: its header, entries and blank lines;
  // its comment lines stay where they were.
  bool DeleteSection(std::string_view section, std::string* out) const;

 private:
  struct Section;
  struct KeyIndex;
  struct Line;

  void ParseSections();
  const Section* FindSection(std::string_view name) const;
  const KeyIndex& KeysOf(const Section& section) const;
  bool ScanForKey(const Section& section, std::string_view key, Line* line) const;
  bool FindKeyLine(const Section& section, std::string_view key, Line* line) const;
  bool CrBreaks() const;
  bool NextLine(uint32_t start, uint32_t end, Line* line) const;
  // As above; with crBreaks false only "\n" ends a line.
  bool NextLine(uint32_t start, uint32_t end, bool crBreaks, Line* line) const;

  std::string text_;
  unsigned codePage_;
  bool crlf_ = true;
  // Whether a lone "\r" ends a line somewhere in the text: -1 until the
  // first read of a section's lines asks (the headers need no answer).
  mutable int crBreaks_ = -1;
  std::vector<Section> sections_;
  std::vector<uint32_t> sectionSlots_;  // open addressing: section index + 1, 0 free
  mutable std::vector<std::unique_ptr<KeyIndex>> keyIndexes_;  // built on the second lookup
  mutable std::vector<bool> scanned_;  // a section looked up once, without its index
  // What that one lookup did not find.
  mutable size_t missedSection_ = ~size_t{0};
  mutable std::string missedKey_;
};

// Case-insensitive name equality and hash under the rules above.
bool SameProfileName(std::string_view a, std::string_view b, unsigned codePage);
uint32_t HashProfileName(std::string_view name, unsigned codePage);
// `s` without leading and trailing blanks (space, tab, CR, VT, FF, ^Z), as
// names and values in the file are read.
std::string_view TrimProfileBlanks(std::string_view s);
// `s` without leading and trailing spaces: a section or key name a caller
// passes keeps its tabs (Windows' profile calls trim spaces only).
std::string_view TrimCallerName(std::string_view s);

// GetPrivateProfileIntA's reading of a value: the leading decimal number,
// modulo 2^32 ("42A9" is 42, "B42" is 0, "-5" is 0xFFFFFFFB). A leading '+'
// is accepted on NT and gives 0 on Windows 9x.
uint32_t ProfileIntOf(std::string_view value, bool isNT);

}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_INIFILE_H_
