// Windows' linguistic string comparison, as far as the program needs it.
//
// Facts followed (Microsoft's CompareString and lstrcmpi pages, "Sorting":
// word sort; Wine's locale tests, whose tables follow Windows'):
// - comparison is by levels: characters without regard to case first, then
//   case (lower case before upper case where nothing else differs);
// - a character of no weight, such as the soft hyphen (U+00AD, 0xAD in code
//   page 1252), is ignored: "TCP/I<0xAD>P" equals "TCP/IP"; so is a NUL
//   within the compared length, as on XP: ("a", 1) equals ("a\0\0", 4);
// - in a word sort the hyphen and the apostrophe count only when the strings
//   are otherwise equal, so "co-op" and "coop" still differ; a string sort
//   (SORT_STRINGSORT) weighs them as the signs they are ("-o" before "/m");
// - NORM_IGNORESYMBOLS leaves signs and spaces out ("a." equals "a");
// - a no-break space is not a space, and a control character within the
//   compared length counts like any other character.
#include "platform/host/process/wordsort.h"

#include <array>
#include <cstdint>
#include <string>

#include "platform/host/machine/codepage.h"

namespace qzhost {
namespace {

// One character of a string, as the levels see it.
struct SortChar {
  uint32_t base;  // upper-cased, as Unicode (double-byte: its two bytes)
  bool lower;     // a letter that upper-casing changed
};

// Punctuation and other signs of ASCII sort before digits, digits before
// letters ("_a" before "Z"); characters from U+0080 on after them, by value.
constexpr uint32_t WeightOf(uint32_t unicode) {
  if (unicode >= '0' && unicode <= '9') return 0x100u + unicode;
  if (unicode >= 'A' && unicode <= 'Z') return 0x200u + unicode;
  if (unicode < 0x80) return unicode;
  return 0x300u + unicode;
}

}  // namespace

// The first level's weight of each ASCII character that every code page
// reads alike and the level never skips, letters as capitals; 0 for the rest
// (NUL, the hyphen, the apostrophe, bytes from 0x80 on), which need the whole
// comparison.
static constexpr std::array<uint32_t, 256> FirstWeights() {
  std::array<uint32_t, 256> weights{};
  for (uint32_t c = 1; c < 0x80; ++c) {
    if (c != '-' && c != '\'') weights[c] = WeightOf(c >= 'a' && c <= 'z' ? c - 0x20u : c);
  }
  return weights;
}
const std::array<uint32_t, 256> kFirstWordWeights = FirstWeights();

namespace {

// Signs and spaces, which NORM_IGNORESYMBOLS leaves out: ASCII's, tab and
// line ends among them (Wine's locale tests strip "\tJUST! A, ...\r\n" to
// "justa..."), and of the characters from U+0080 on the Latin-1 signs and
// the general punctuation, currency and letter-like signs of code page 1252.
bool IsSymbol(uint32_t u) {
  if (u >= 0x09 && u <= 0x0D) return true;
  if (u < 0x80)
    return u >= 0x20 && u < 0x7F && !(u >= '0' && u <= '9') && !(u >= 'A' && u <= 'Z') &&
           !(u >= 'a' && u <= 'z');
  if (u >= 0xA0 && u <= 0xBF) return u != 0xAA && u != 0xB5 && u != 0xBA;
  return u == 0xD7 || u == 0xF7 || u == 0x2C6 || u == 0x2DC || (u >= 0x2000 && u < 0x2200);
}

// The base letter of an accented capital of Latin-1 and of the carons and
// diaeresis of code page 1252, for NORM_IGNORENONSPACE.
uint32_t BaseLetterOf(uint32_t u) {
  static const char kLatin1[] = "AAAAAA\0CEEEEIIII\0NOOOOO\0OUUUUY";  // U+00C0-U+00DD
  if (u >= 0xC0 && u <= 0xDD && kLatin1[u - 0xC0] != '\0') return kLatin1[u - 0xC0];
  if (u == 0x160) return 'S';
  if (u == 0x17D) return 'Z';
  if (u == 0x178) return 'Y';
  return u;
}

enum class Part { kSkipped, kSpecial, kBase };

// What level one makes of a single-byte character: nothing, a hyphen or
// apostrophe of the last level, or a base (*base, *lower).
Part PartOf(unsigned char c, unsigned codePage, const SortOptions& options, uint32_t* base,
            bool* lower) {
  if (c == 0 || (codePage == 1252 && c == 0xAD)) return Part::kSkipped;  // no weight
  if ((c == '-' || c == '\'') && !options.stringSort)
    return options.ignoreSymbols ? Part::kSkipped : Part::kSpecial;
  const unsigned char upper = UpperByteOf(codePage, c);
  uint32_t unicode = UnicodeOfByte(codePage, upper);
  if (options.ignoreSymbols && IsSymbol(unicode)) return Part::kSkipped;
  if (options.ignoreNonSpace) unicode = BaseLetterOf(unicode);
  *base = WeightOf(unicode);
  *lower = upper != c;
  return Part::kBase;
}

struct Keys {
  std::u32string chars;  // level one: what remains after the skipped ones
  std::string lowers;    // level two: the case of each of them
  std::string specials;  // last level: hyphens and apostrophes with their places
};

Keys KeysOf(std::string_view s, unsigned codePage, const SortOptions& options) {
  Keys keys;
  for (size_t i = 0; i < s.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (IsLeadByteOf(codePage, c) && i + 1 < s.size()) {
      keys.chars.push_back(0x1000000u + c * 256u + static_cast<unsigned char>(s[++i]));
      keys.lowers.push_back(0);
      continue;
    }
    uint32_t base = 0;
    bool lower = false;
    switch (PartOf(c, codePage, options, &base, &lower)) {
      case Part::kSkipped:
        break;
      case Part::kSpecial:
        keys.specials.push_back(static_cast<char>(c));
        keys.specials.append(std::to_string(keys.chars.size())).push_back(';');
        break;
      case Part::kBase:
        keys.chars.push_back(base);
        keys.lowers.push_back(lower ? 1 : 0);
        break;
    }
  }
  return keys;
}

int Sign(int x) { return x < 0 ? -1 : x > 0 ? 1 : 0; }

// The next character of level one at *i, past those that level skips; false
// at the end. The same characters as KeysOf's, made one at a time, so that
// strings that differ there (nearly every pair the program compares) are
// told apart without building their keys.
bool NextBase(std::string_view s, size_t* i, unsigned codePage, const SortOptions& options,
              uint32_t* base) {
  const bool plain = !options.stringSort && !options.ignoreSymbols;
  while (*i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[(*i)++]);
    // ASCII is ASCII in every code page: no lead byte, ASCII's cases.
    if (plain && c < 0x80 && c != 0) {
      if (c == '-' || c == '\'') continue;
      *base = WeightOf(c >= 'a' && c <= 'z' ? c - ('a' - 'A') : c);
      return true;
    }
    if (IsLeadByteOf(codePage, c) && *i < s.size()) {
      *base = 0x1000000u + c * 256u + static_cast<unsigned char>(s[(*i)++]);
      return true;
    }
    bool lower = false;
    if (PartOf(c, codePage, options, base, &lower) == Part::kBase) return true;
  }
  return false;
}

int CompareBases(std::string_view a, std::string_view b, unsigned codePage,
                 const SortOptions& options) {
  size_t i = 0, j = 0;
  for (;;) {
    uint32_t x = 0, y = 0;
    const bool moreA = NextBase(a, &i, codePage, options, &x);
    const bool moreB = NextBase(b, &j, codePage, options, &y);
    if (!moreA || !moreB) return moreA == moreB ? 0 : moreA ? 1 : -1;
    if (x != y) return x < y ? -1 : 1;
  }
}

}  // namespace

int CompareWordSort(std::string_view a, std::string_view b, const SortOptions& options,
                    unsigned codePage) {
  if (a == b) return 0;
  if (int c = CompareBases(a, b, codePage, options)) return c;
  // Equal at level one: the later levels decide.
  const Keys ka = KeysOf(a, codePage, options), kb = KeysOf(b, codePage, options);
  if (!options.ignoreCase && ka.lowers != kb.lowers) return ka.lowers > kb.lowers ? -1 : 1;
  if (ka.specials.size() != kb.specials.size())
    return ka.specials.size() < kb.specials.size() ? -1 : 1;
  return Sign(ka.specials.compare(kb.specials));
}

int CompareWordSort(std::string_view a, std::string_view b, bool ignoreCase, unsigned codePage) {
  SortOptions options;
  options.ignoreCase = ignoreCase;
  return CompareWordSort(a, b, options, codePage);
}

int CompareWordSortZ(const char* a, const char* b, bool ignoreCase, unsigned codePage) {
  int order = 0;
  if (CompareFirstChars(a, b, &order)) return order;
  return CompareWordSort(a, b, ignoreCase, codePage);
}

}  // namespace qzhost
