// .reg files: REGEDIT4 and "Windows Registry Editor Version 5.00", in and out.
//
// Files are written as the registry editor writes them: CRLF line ends, and
// version 5.00 files in UTF-16LE with a byte-order mark, converted from the
// store's code page. Import takes either form, with LF or CRLF.
//
// Import understands sections ([KEY] and [-KEY]), "name"= and @= with string,
// dword:, hex: and hex(n): data (continued over lines ending in a backslash),
// and "name"=- deletions. A file is parsed completely before anything is
// changed, and applied in one transaction: a bad file changes nothing.
#ifndef QZINST32_PLATFORM_HOST_REGFILE_H_
#define QZINST32_PLATFORM_HOST_REGFILE_H_

#include <string>
#include <vector>

#include "platform/host/registry/regstore.h"
#include "platform/win32.h"

namespace qzhost {

enum class RegFileVersion { kRegedit4, kVersion5 };

// Why a file was refused: its line (1-based; 0 when not tied to a line).
struct RegFileError {
  size_t line = 0;
  std::string message;
};

// What an import did. Keys under roots Windows has but this registry does
// not (HKEY_CURRENT_CONFIG, HKEY_DYN_DATA) are skipped, one warning per root.
struct RegImportSummary {
  size_t keysAdded = 0, keysDeleted = 0;
  size_t valuesAdded = 0, valuesChanged = 0, valuesDeleted = 0;
  std::vector<std::string> warnings;
  // "2 keys added, 0 deleted; 5 values added, 1 changed, 0 deleted"
  std::string Text() const;
};

// Imports `text` in one transaction. On failure nothing is changed; *error
// says where and why (ERROR_INVALID_DATA-like failures come back as 13).
DWORD ImportRegText(RegStore* store, const std::string& text, RegFileError* error,
                    RegImportSummary* summary = nullptr);

// Applies `text` inside the caller's transaction (seeding uses this).
DWORD ApplyRegText(RegStore* store, const std::string& text, RegFileError* error,
                   RegImportSummary* summary = nullptr);

// Applies every built-in seed file of the personality ("win98*.reg" or
// "nt*.reg", in name order) inside the caller's transaction.
DWORD ImportSeedFiles(RegStore* store, bool isNT, std::string* why);

// Writes the key at `keyPath` ("HKEY_LOCAL_MACHINE\Software", short root
// names accepted) and everything below it, keys in enumeration order and
// values in creation order. ERROR_FILE_NOT_FOUND when the key is missing.
DWORD ExportRegText(RegStore* store, const std::string& keyPath, RegFileVersion version,
                    std::string* text, std::string* why);

// Every root the registry holds, in the registry editor's order, from one
// snapshot.
DWORD ExportAllRegText(RegStore* store, RegFileVersion version, std::string* text,
                       std::string* why);

// One value as a REGEDIT4 file holds it ("name"=data, long hex data
// continued over lines ending in a backslash and LF), without the final line
// break.
std::string RegValueText(const RegValue& value, RegFileVersion version);

}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_REGFILE_H_
