// Windows' linguistic string comparison (lstrcmpA, lstrcmpiA, CompareStringA)
// as far as the program's comparisons of names need it.
#ifndef QZINST32_PLATFORM_HOST_WORDSORT_H_
#define QZINST32_PLATFORM_HOST_WORDSORT_H_

#include <stdint.h>

#include <array>
#include <string_view>

namespace qzhost {

// How CompareStringA's flags change the comparison.
struct SortOptions {
  bool ignoreCase = false;      // NORM_IGNORECASE
  bool stringSort = false;      // SORT_STRINGSORT: hyphens and apostrophes weigh as signs
  bool ignoreSymbols = false;   // NORM_IGNORESYMBOLS: signs and spaces weigh nothing
  bool ignoreNonSpace = false;  // NORM_IGNORENONSPACE: accented letters as their base letters
};

// Compares two ANSI strings of the code page as Windows' word sort does; <0,
// 0 or >0. Equality follows Windows; unequal strings are ordered as Windows
// orders ASCII (signs, then digits, then letters), other characters after
// them by their Unicode values, without the locale's full sort table.
int CompareWordSort(std::string_view a, std::string_view b, const SortOptions& options,
                    unsigned codePage);
int CompareWordSort(std::string_view a, std::string_view b, bool ignoreCase, unsigned codePage);
// The same of two NUL-terminated strings: those whose first characters
// differ at the first level (nearly every pair a search of a list compares)
// are told apart without measuring them.
int CompareWordSortZ(const char* a, const char* b, bool ignoreCase, unsigned codePage);

// See CompareFirstChars.
extern const std::array<uint32_t, 256> kFirstWordWeights;

// True, with *order, when two NUL-terminated strings differ at the first
// level in their first characters, plain ASCII in every code page: the
// answer of the whole comparison, known without the code page.
inline bool CompareFirstChars(const char* a, const char* b, int* order) {
  const uint32_t x = kFirstWordWeights[static_cast<unsigned char>(*a)];
  const uint32_t y = kFirstWordWeights[static_cast<unsigned char>(*b)];
  if (x == y || x == 0 || y == 0) return false;
  *order = x < y ? -1 : 1;
  return true;
}

}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_WORDSORT_H_
