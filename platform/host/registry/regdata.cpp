// The bytes of a value as Windows stores them and hands them back.
#include "platform/host/registry/regdata.h"

#include <string.h>

namespace qzhost {
namespace {

bool IsString(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ; }

}  // namespace

std::string StoredValueData(bool isNT, DWORD type, const BYTE* data, DWORD size) {
  if (data == nullptr) return std::string();
  const char* text = reinterpret_cast<const char*>(data);
  if (!isNT && type == REG_SZ) return std::string(text, strlen(text) + 1);
  std::string stored(text, size);
  // NT looks at the byte after the ones given, as Wine's tests record.
  if (IsString(type) && size > 0 && text[size - 1] != '\0' && text[size] == '\0')
    stored.push_back('\0');
  return stored;
}

void CopyValueData(DWORD type, const std::string& data, BYTE* buffer, DWORD room) {
  memcpy(buffer, data.data(), data.size());
  if (IsString(type) && !data.empty() && data.back() != '\0' && data.size() < room)
    buffer[data.size()] = 0;
}

}  // namespace qzhost
