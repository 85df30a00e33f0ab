// Windows' linguistic string comparison (lstrcmpA, lstrcmpiA, CompareStringA)
// as far as the program's comparisons of names need it.
#ifndef QZINST32_PLATFORM_HOST_WORDSORT_H_
#define QZINST32_PLATFORM_HOST_WORDSORT_H_

#include <string_view>

namespace qzhost {

// Compares two ANSI strings of the code page as Windows' word sort does; <0,
// 0 or >0. Equality follows Windows; unequal strings are ordered as Windows
// orders ASCII (signs, then digits, then letters), other characters after
// them by their Unicode values, without the locale's full sort table.
int CompareWordSort(std::string_view a, std::string_view b, bool ignoreCase, unsigned codePage);
// The same of two NUL-terminated strings: those whose first characters
// differ at the first level (nearly every pair a search of a list compares)
// are told apart without measuring them.
int CompareWordSortZ(const char* a, const char* b, bool ignoreCase, unsigned codePage);

}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_WORDSORT_H_
