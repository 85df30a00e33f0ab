// Packing of spooler enumeration records into the caller's buffer.
#include "platform/host/spooler/spooler_buffer.h"

#include <cstring>

namespace qzhost {
namespace spool {

void EnumRecords::Reserve(size_t records, size_t fields, size_t textBytes) {
  m_fields.reserve(records * fields);
  m_text.reserve(textBytes);
}

void EnumRecords::SetDword(size_t offset, DWORD value) {
  m_fields.push_back({m_count - 1, offset, false, value, 0});
}

void EnumRecords::AddText(size_t offset, const char* bytes, size_t size) {
  m_fields.push_back({m_count - 1, offset, true, 0, m_text.size()});
  m_text.append(bytes, size);
}

void EnumRecords::SetString(size_t offset, const std::string& text) {
  // Stop at an embedded NUL so the reported size matches what a reader sees.
  AddText(offset, text.c_str(), strlen(text.c_str()) + 1);
}

void EnumRecords::SetMultiString(size_t offset, const std::vector<std::string>& items) {
  std::string bytes;
  for (const std::string& item : items) {
    if (item.empty()) continue;  // an empty item would end the list early
    bytes.append(item.c_str()).push_back('\0');
  }
  if (bytes.empty()) bytes.push_back('\0');  // an empty list is still "\0\0"
  bytes.push_back('\0');
  AddText(offset, bytes.data(), bytes.size());
}

size_t EnumRecords::BytesNeeded() const { return m_cbRecord * m_count + m_text.size(); }

void EnumRecords::Pack(LPBYTE pBuffer) const {
  memset(pBuffer, 0, m_cbRecord * m_count);
  LPBYTE pStrings = pBuffer + m_cbRecord * m_count;
  memcpy(pStrings, m_text.data(), m_text.size());
  for (const Field& field : m_fields) {
    LPBYTE pField = pBuffer + field.record * m_cbRecord + field.offset;
    if (!field.isString) {
      memcpy(pField, &field.value, sizeof(DWORD));
      continue;
    }
    LPSTR pText = reinterpret_cast<LPSTR>(pStrings + field.textAt);
    memcpy(pField, &pText, sizeof(pText));
  }
}

BOOL EnumRecords::Deliver(LPBYTE pBuffer, DWORD cbBuf, LPDWORD pcbNeeded,
                          LPDWORD pcReturned) const {
  return DeliverPacked(
      m_count, m_cbRecord, m_text.size(), [this](LPBYTE pOut) { Pack(pOut); }, pBuffer, cbBuf,
      pcbNeeded, pcReturned);
}

BOOL DeliverPacked(size_t count, size_t cbRecord, size_t cbText,
                   const std::function<void(LPBYTE)>& pack, LPBYTE pBuffer, DWORD cbBuf,
                   LPDWORD pcbNeeded, LPDWORD pcReturned) {
  *pcReturned = 0;
  if (count == 0) {
    *pcbNeeded = 0;
    return TRUE;
  }
  const size_t cbNeeded = cbRecord * count + cbText;
  *pcbNeeded = static_cast<DWORD>(cbNeeded);
  if (pBuffer == nullptr && cbBuf != 0) {
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return FALSE;
  }
  if (pBuffer == nullptr || cbBuf < cbNeeded) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  pack(pBuffer);
  *pcReturned = static_cast<DWORD>(count);
  return TRUE;
}

bool MissingCounters(LPDWORD pcbNeeded, LPDWORD pcReturned) {
  if (pcbNeeded != nullptr && pcReturned != nullptr) return false;
  SetLastError(RPC_X_NULL_REF_POINTER);
  return true;
}

}  // namespace spool
}  // namespace qzhost
