// Packing of spooler enumeration records into the caller's buffer.
#include "platform/host/spooler_buffer.h"

#include <cstring>

namespace qzhost {
namespace spool {

void EnumRecords::SetDword(size_t offset, DWORD value) {
  m_records.back().push_back({offset, false, value, std::string()});
}

void EnumRecords::SetString(size_t offset, const std::string& text) {
  // Stop at an embedded NUL so the reported size matches what a reader sees.
  std::string bytes(text.c_str());
  bytes.push_back('\0');
  m_records.back().push_back({offset, true, 0, std::move(bytes)});
}

void EnumRecords::SetMultiString(size_t offset, const std::vector<std::string>& items) {
  std::string bytes;
  for (const std::string& item : items) {
    if (item.empty()) continue;  // an empty item would end the list early
    bytes.append(item.c_str()).push_back('\0');
  }
  if (bytes.empty()) bytes.push_back('\0');  // an empty list is still "\0\0"
  bytes.push_back('\0');
  m_records.back().push_back({offset, true, 0, std::move(bytes)});
}

size_t EnumRecords::BytesNeeded() const {
  size_t cb = m_cbRecord * m_records.size();
  for (const Record& record : m_records) {
    for (const Field& field : record) cb += field.bytes.size();
  }
  return cb;
}

void EnumRecords::Pack(LPBYTE pBuffer) const {
  memset(pBuffer, 0, m_cbRecord * m_records.size());
  LPBYTE pNext = pBuffer + m_cbRecord * m_records.size();
  for (size_t i = 0; i < m_records.size(); ++i) {
    LPBYTE pRecord = pBuffer + i * m_cbRecord;
    for (const Field& field : m_records[i]) {
      if (!field.isString) {
        memcpy(pRecord + field.offset, &field.value, sizeof(DWORD));
        continue;
      }
      memcpy(pNext, field.bytes.data(), field.bytes.size());
      LPSTR pText = reinterpret_cast<LPSTR>(pNext);
      memcpy(pRecord + field.offset, &pText, sizeof(pText));
      pNext += field.bytes.size();
    }
  }
}

BOOL EnumRecords::Deliver(LPBYTE pBuffer, DWORD cbBuf, LPDWORD pcbNeeded,
                          LPDWORD pcReturned) const {
  *pcReturned = 0;
  if (m_records.empty()) {
    *pcbNeeded = 0;
    return TRUE;
  }
  const size_t cbNeeded = BytesNeeded();
  *pcbNeeded = static_cast<DWORD>(cbNeeded);
  if (pBuffer == nullptr && cbBuf != 0) {
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return FALSE;
  }
  if (pBuffer == nullptr || cbBuf < cbNeeded) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  Pack(pBuffer);
  *pcReturned = static_cast<DWORD>(m_records.size());
  return TRUE;
}

bool MissingCounters(LPDWORD pcbNeeded, LPDWORD pcReturned) {
  if (pcbNeeded != nullptr && pcReturned != nullptr) return false;
  SetLastError(RPC_X_NULL_REF_POINTER);
  return true;
}

}  // namespace spool
}  // namespace qzhost
