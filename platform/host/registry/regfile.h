// .reg files: REGEDIT4 and "Windows Registry Editor Version 5.00", in and out.
//
// Import understands sections ([KEY] and [-KEY]), "name"= and @= with string,
// dword:, hex: and hex(n): data (continued over lines ending in a backslash),
// and "name"=- deletions. A file is parsed completely before anything is
// changed, and applied in one transaction: a bad file changes nothing.
#ifndef QZINST32_PLATFORM_HOST_REGFILE_H_
#define QZINST32_PLATFORM_HOST_REGFILE_H_

#include <string>

#include "platform/host/registry/regstore.h"
#include "platform/win32.h"

namespace qzhost {

enum class RegFileVersion { kRegedit4, kVersion5 };

// Why a file was refused: its line (1-based; 0 when not tied to a line).
struct RegFileError {
  size_t line = 0;
  std::string message;
};

// Imports `text` in one transaction. On failure nothing is changed; *error
// says where and why (ERROR_INVALID_DATA-like failures come back as 13).
DWORD ImportRegText(RegStore* store, const std::string& text, RegFileError* error);

// Applies `text` inside the caller's transaction (seeding uses this).
DWORD ApplyRegText(RegStore* store, const std::string& text, RegFileError* error);

// Applies every built-in seed file of the personality ("win98*.reg" or
// "nt*.reg", in name order) inside the caller's transaction.
DWORD ImportSeedFiles(RegStore* store, bool isNT, std::string* why);

// Writes the key at `keyPath` ("HKEY_LOCAL_MACHINE\Software", short root
// names accepted) and everything below it, keys in enumeration order and
// values in creation order. ERROR_FILE_NOT_FOUND when the key is missing.
DWORD ExportRegText(RegStore* store, const std::string& keyPath, RegFileVersion version,
                    std::string* text, std::string* why);

// One value as ExportRegText writes it ("name"=data, long hex data continued
// over lines ending in a backslash), without the final line break.
std::string RegValueText(const RegValue& value, RegFileVersion version);

}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_REGFILE_H_
