// Code page conversions: 1252 by its table here, 932 through iconv.
#include "platform/host/machine/cpconvert.h"

#include <errno.h>
#include <iconv.h>

namespace qzhost {
namespace {

// 0x80-0x9F of code page 1252; the unassigned bytes map to themselves.
const char16_t k1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t From1252(unsigned char c) {
  return c >= 0x80 && c < 0xA0 ? k1252High[c - 0x80] : static_cast<char16_t>(c);
}

bool To1252(char16_t u, char* c) {
  if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) return *c = static_cast<char>(u), true;
  for (int i = 0; i < 32; ++i)
    if (k1252High[i] == u) return *c = static_cast<char>(0x80 + i), true;
  return false;
}

bool AllAscii(const std::string& s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

// One iconv conversion of the whole input; false on any character it cannot
// convert, with *stopAt set to the input offset where it stopped.
bool Iconv(const char* to, const char* from, const std::string& in, std::string* out,
           size_t* stopAt) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return *stopAt = 0, false;
  out->assign(in.size() * 2 + 8, '\0');
  char* src = const_cast<char*>(in.data());
  size_t srcLeft = in.size(), dstLeft = out->size();
  char* dst = &(*out)[0];
  size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
  bool ok = rc != static_cast<size_t>(-1) && iconv(cd, nullptr, nullptr, &dst, &dstLeft) == 0;
  iconv_close(cd);
  *stopAt = in.size() - srcLeft;
  out->resize(out->size() - dstLeft);
  return ok;
}

// Code page 932 as Windows has it gives five single bytes that Shift JIS
// leaves out characters of their own (0x80 and the private-use U+F8F0-F8F3;
// Microsoft's table of the code page, "bestfit932.txt", and Python's cp932
// codec, which follows it); iconv's CP932 refuses them.
const unsigned char k932Singles[5] = {0x80, 0xA0, 0xFD, 0xFE, 0xFF};
const char16_t k932SingleChars[5] = {0x0080, 0xF8F0, 0xF8F1, 0xF8F2, 0xF8F3};

int Index932Single(unsigned char c) {
  for (int i = 0; i < 5; ++i)
    if (k932Singles[i] == c) return i;
  return -1;
}

int Index932SingleChar(char16_t u) {
  for (int i = 0; i < 5; ++i)
    if (k932SingleChars[i] == u) return i;
  return -1;
}

bool Is932Lead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

// A run of Shift JIS text without the five singles, through iconv.
bool RunToUtf16(const std::string& run, std::u16string* out) {
  if (run.empty()) return true;
  std::string bytes;
  size_t stopAt = 0;
  if (!Iconv("UTF-16LE", "CP932", run, &bytes, &stopAt)) return false;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2)
    out->push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                         static_cast<unsigned char>(bytes[i + 1]) << 8));
  return true;
}

bool RunTo932(const std::u16string& run, std::string* out, char16_t* bad) {
  if (run.empty()) return true;
  std::string bytes, narrow;
  for (char16_t u : run)
    bytes += std::string{static_cast<char>(u & 0xFF), static_cast<char>(u >> 8)};
  size_t stopAt = 0;
  if (!Iconv("CP932", "UTF-16LE", bytes, &narrow, &stopAt)) {
    *bad = stopAt / 2 < run.size() ? run[stopAt / 2] : u'?';
    return false;
  }
  *out += narrow;
  return true;
}

}  // namespace

bool CodePageToUtf16(unsigned codePage, const std::string& in, std::u16string* out) {
  out->clear();
  if (codePage != 932 || AllAscii(in)) {
    for (char c : in) out->push_back(From1252(static_cast<unsigned char>(c)));
    return true;
  }
  std::string run;
  for (size_t i = 0; i < in.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(in[i]);
    if (Is932Lead(c) && i + 1 < in.size()) {
      run.append(in, i++, 2);
      continue;
    }
    const int single = Index932Single(c);
    if (single < 0) {
      run.push_back(static_cast<char>(c));
      continue;
    }
    if (!RunToUtf16(run, out)) return false;
    run.clear();
    out->push_back(k932SingleChars[single]);
  }
  return RunToUtf16(run, out);
}

bool Utf16ToCodePage(unsigned codePage, const std::u16string& in, std::string* out, char16_t* bad) {
  out->clear();
  if (codePage != 932) {
    for (char16_t u : in) {
      char c;
      if (!To1252(u, &c)) return *bad = u, false;
      out->push_back(c);
    }
    return true;
  }
  std::u16string run;
  for (char16_t u : in) {
    const int single = Index932SingleChar(u);
    if (single < 0) {
      run.push_back(u);
      continue;
    }
    if (!RunTo932(run, out, bad)) return false;
    run.clear();
    out->push_back(static_cast<char>(k932Singles[single]));
  }
  return RunTo932(run, out, bad);
}

}  // namespace qzhost
