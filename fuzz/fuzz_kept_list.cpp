// Fuzz target: the decoder of the spooler's kept lists.
//
// A kept list is read back from registry.db, which another program or a
// damaged disk may have changed. Any input must decode without reading or
// writing outside its bytes; a list that decodes must encode again to data
// that decodes to the same rows.
#include <stddef.h>
#include <stdint.h>

#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/host/spooler/spooler_kept.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using qzhost::spool::PairList;
  std::string_view input(reinterpret_cast<const char*>(data), size);
  PairList rows;
  if (!qzhost::spool::DecodeKeptList(input, &rows)) return 0;
  size_t firstBytes = 0;
  for (size_t i = 0; i < rows.size(); ++i) {
    if (rows.Both(i).size() != rows.First(i).size() + rows.Second(i).size() + 2) abort();
    firstBytes += rows.First(i).size() + 1;
  }
  if (firstBytes != rows.FirstBytes()) abort();
  const std::string again = qzhost::spool::EncodeKeptList(rows);
  PairList back;
  if (again.empty()) return 0;  // a text too long for the stored form
  if (!qzhost::spool::DecodeKeptList(again, &back) || back.size() != rows.size()) abort();
  for (size_t i = 0; i < rows.size(); ++i) {
    if (back.Both(i) != rows.Both(i) || back.Flag(i) != rows.Flag(i)) abort();
  }
  return 0;
}
