// Windows' linguistic string comparison, as far as the program needs it.
//
// Facts followed (Microsoft's CompareString and lstrcmpi pages, "Sorting":
// word sort; Wine's locale tests, whose tables follow Windows'):
// - comparison is by levels: characters without regard to case first, then
//   case (lower case before upper case where nothing else differs);
// - a character of no weight, such as the soft hyphen (U+00AD, 0xAD in code
//   page 1252), is ignored: "TCP/I<0xAD>P" equals "TCP/IP";
// - in a word sort the hyphen and the apostrophe count only when the strings
//   are otherwise equal, so "co-op" and "coop" still differ;
// - a no-break space is not a space, and a control character or NUL within
//   the compared length counts like any other character.
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

struct Keys {
  std::u32string chars;  // level one: what remains after the skipped ones
  std::string lowers;    // level two: the case of each of them
  std::string specials;  // last level: hyphens and apostrophes with their places
};

Keys KeysOf(std::string_view s, unsigned codePage) {
  Keys keys;
  for (size_t i = 0; i < s.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (IsLeadByteOf(codePage, c) && i + 1 < s.size()) {
      keys.chars.push_back(0x1000000u + c * 256u + static_cast<unsigned char>(s[++i]));
      keys.lowers.push_back(0);
      continue;
    }
    if (codePage == 1252 && c == 0xAD) continue;  // soft hyphen: no weight
    if (c == '-' || c == '\'') {
      keys.specials.push_back(static_cast<char>(c));
      keys.specials.append(std::to_string(keys.chars.size())).push_back(';');
      continue;
    }
    unsigned char upper = UpperByteOf(codePage, c);
    keys.chars.push_back(WeightOf(UnicodeOfByte(codePage, upper)));
    keys.lowers.push_back(upper != c ? 1 : 0);
  }
  return keys;
}

int Sign(int x) { return x < 0 ? -1 : x > 0 ? 1 : 0; }

// The next character of level one at *i, past those that level skips; false
// at the end. The same characters as KeysOf's, made one at a time, so that
// strings that differ there (nearly every pair the program compares) are
// told apart without building their keys.
bool NextBase(std::string_view s, size_t* i, unsigned codePage, uint32_t* base) {
  while (*i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[(*i)++]);
    if (c < 0x80) {  // ASCII is ASCII in every code page: no lead byte, ASCII's cases
      if (c == '-' || c == '\'') continue;
      *base = WeightOf(c >= 'a' && c <= 'z' ? c - ('a' - 'A') : c);
      return true;
    }
    if (IsLeadByteOf(codePage, c) && *i < s.size()) {
      *base = 0x1000000u + c * 256u + static_cast<unsigned char>(s[(*i)++]);
      return true;
    }
    if ((codePage == 1252 && c == 0xAD) || c == '-' || c == '\'') continue;
    *base = WeightOf(UnicodeOfByte(codePage, UpperByteOf(codePage, c)));
    return true;
  }
  return false;
}

int CompareBases(std::string_view a, std::string_view b, unsigned codePage) {
  size_t i = 0, j = 0;
  for (;;) {
    uint32_t x = 0, y = 0;
    const bool moreA = NextBase(a, &i, codePage, &x);
    const bool moreB = NextBase(b, &j, codePage, &y);
    if (!moreA || !moreB) return moreA == moreB ? 0 : moreA ? 1 : -1;
    if (x != y) return x < y ? -1 : 1;
  }
}

}  // namespace

int CompareWordSort(std::string_view a, std::string_view b, bool ignoreCase, unsigned codePage) {
  if (a == b) return 0;
  if (int c = CompareBases(a, b, codePage)) return c;
  // Equal at level one: the later levels decide.
  const Keys ka = KeysOf(a, codePage), kb = KeysOf(b, codePage);
  if (!ignoreCase && ka.lowers != kb.lowers) return ka.lowers > kb.lowers ? -1 : 1;
  if (ka.specials.size() != kb.specials.size())
    return ka.specials.size() < kb.specials.size() ? -1 : 1;
  return Sign(ka.specials.compare(kb.specials));
}

int CompareWordSortZ(const char* a, const char* b, bool ignoreCase, unsigned codePage) {
  int order = 0;
  if (CompareFirstChars(a, b, &order)) return order;
  return CompareWordSort(a, b, ignoreCase, codePage);
}

}  // namespace qzhost
