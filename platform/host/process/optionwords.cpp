// Nearness of a word to an option word.
#include "platform/host/process/optionwords.h"

#include <ctype.h>
#include <string.h>

#include <vector>

namespace qzhost {
namespace {

// The option's letters: without the leading dashes, the value after '=',
// the separators '-' and '_', in lower case.
std::string Letters(const std::string& word) {
  std::string letters;
  size_t i = word.find_first_not_of('-');
  for (; i < word.size() && word[i] != '='; ++i) {
    char c = word[i];
    if (c != '-' && c != '_') letters += static_cast<char>(tolower(static_cast<unsigned char>(c)));
  }
  return letters;
}

// Edits between a and b (insert, delete, change, swap of neighbours), or
// more than `limit` as soon as that much is certain.
size_t Edits(const std::string& a, const std::string& b, size_t limit) {
  if ((a.size() > b.size() ? a.size() - b.size() : b.size() - a.size()) > limit) return limit + 1;
  std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
  for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    for (size_t j = 1; j <= b.size(); ++j) {
      size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
      size_t best = d[i - 1][j - 1] + cost;
      if (d[i - 1][j] + 1 < best) best = d[i - 1][j] + 1;
      if (d[i][j - 1] + 1 < best) best = d[i][j - 1] + 1;
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1] &&
          d[i - 2][j - 2] + 1 < best)
        best = d[i - 2][j - 2] + 1;
      d[i][j] = best;
    }
  }
  return d[a.size()][b.size()];
}

}  // namespace

bool IsNearOption(const std::string& word, const char* own) {
  if (word.size() < 2 || word[0] != '-') return false;
  size_t n = strlen(own);
  if (word.compare(0, n, own) == 0 && (word.size() == n || word[n] == '=')) return true;
  std::string letters = Letters(word);
  std::string ownLetters = Letters(own);
  if (letters.size() < 4) return false;
  if (letters == ownLetters) return true;
  // A slip of one letter is taken only with both dashes and a word long
  // enough that one letter does not make it another word.
  return word.compare(0, 2, "--") == 0 && ownLetters.size() >= 5 &&
         Edits(letters, ownLetters, 1) <= 1;
}

}  // namespace qzhost
