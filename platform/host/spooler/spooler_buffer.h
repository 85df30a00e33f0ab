// Packing of spooler enumeration records into the caller's buffer.
//
// Windows' layout: an array of fixed-size records at offset 0, followed by
// the strings they point to, in the same buffer. The size needed is reported
// in the byte count of this packing (ANSI), never Unicode-sized.
#ifndef QZINST32_PLATFORM_HOST_SPOOLER_BUFFER_H_
#define QZINST32_PLATFORM_HOST_SPOOLER_BUFFER_H_

#include <cstddef>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/win32.h"

namespace qzhost {
namespace spool {

class EnumRecords {
 public:
  explicit EnumRecords(size_t recordSize) : m_cbRecord(recordSize) {}

  // Starts the next record; the field setters below fill it. Offsets are
  // those of the fields in the record (offsetof).
  void NewRecord() { ++m_count; }
  // Room for that many records, fields and bytes of strings, when known.
  void Reserve(size_t records, size_t fields, size_t textBytes);
  void SetDword(size_t offset, DWORD value);
  void SetString(size_t offset, const std::string& text);
  // A list of names, each ending in a NUL, with one more NUL after the last.
  void SetMultiString(size_t offset, const std::vector<std::string>& items);

  size_t Count() const { return m_count; }
  // Array plus strings, in bytes.
  size_t BytesNeeded() const;

  // Answers one enumeration call the way the spooler does:
  // - nothing to list: TRUE, *pcbNeeded = 0, *pcReturned = 0;
  // - no buffer or a short one: FALSE, ERROR_INSUFFICIENT_BUFFER, *pcbNeeded
  //   = size needed, *pcReturned = 0 (a NULL buffer with a non-zero size is
  //   ERROR_INVALID_USER_BUFFER, as on NT);
  // - otherwise TRUE with the records packed, *pcbNeeded = size needed and
  //   *pcReturned = count.
  // The caller has already checked that both counters are present.
  BOOL Deliver(LPBYTE pBuffer, DWORD cbBuf, LPDWORD pcbNeeded, LPDWORD pcReturned) const;

 private:
  // The strings are kept in one block, in the order Pack lays them out.
  struct Field {
    size_t record;
    size_t offset;
    bool isString;
    DWORD value;
    size_t textAt;  // strings: where in m_text
  };

  void AddText(size_t offset, const char* bytes, size_t size);
  void Pack(LPBYTE pBuffer) const;

  size_t m_cbRecord;
  size_t m_count = 0;
  std::vector<Field> m_fields;
  std::string m_text;
};

// Answers one enumeration call as EnumRecords::Deliver does, for `count`
// records of `cbRecord` bytes with `cbText` bytes of strings after them;
// `pack` lays them out in a buffer known to be large enough.
BOOL DeliverPacked(size_t count, size_t cbRecord, size_t cbText,
                   const std::function<void(LPBYTE)>& pack, LPBYTE pBuffer, DWORD cbBuf,
                   LPDWORD pcbNeeded, LPDWORD pcReturned);

// Stores a field of a record in the caller's buffer, which need not be
// aligned for it.
template <typename T>
void PutField(LPBYTE pRecord, size_t offset, T value) {
  memcpy(pRecord + offset, &value, sizeof value);
}

// Copies `text` with its NUL to `*ppText`, points the record's field there
// and moves `*ppText` past it.
inline void PutString(LPBYTE pRecord, size_t offset, const char* text, size_t size, LPSTR* ppText) {
  memcpy(*ppText, text, size);
  (*ppText)[size] = '\0';
  PutField(pRecord, offset, *ppText);
  *ppText += size + 1;
}

// True, with RPC_X_NULL_REF_POINTER as the last error, when either counter
// is missing; enumerations check this before anything else, as NT 2000+ does.
bool MissingCounters(LPDWORD pcbNeeded, LPDWORD pcReturned);

}  // namespace spool
}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_SPOOLER_BUFFER_H_
