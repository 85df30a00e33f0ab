// Fuzz target: the .reg importer (and the exporter it feeds).
//
// The input is a .reg file, imported into a fresh registry in memory. A file
// that is accepted must export, and the export must import into another
// fresh registry and export again to the same text: what qzreg writes it
// must read back unchanged, in both formats.
#include <stddef.h>
#include <stdint.h>

#include <string>

#include "platform/host/registry/regfile.h"
#include "platform/host/registry/regstore.h"

namespace {

const char* const kRoots[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE",
                              "HKEY_USERS"};

bool OpenEmpty(qzhost::RegStore* store, unsigned codePage) {
  std::string why;
  return store->Open(
             ":memory:", codePage, [] { return DWORD{ERROR_SUCCESS}; }, &why) == ERROR_SUCCESS;
}

// Every root that holds anything, exported one after the other.
std::string ExportAll(qzhost::RegStore* store, qzhost::RegFileVersion version) {
  std::string all;
  for (const char* root : kRoots) {
    std::string text, why;
    if (qzhost::ExportRegText(store, root, version, &text, &why) == ERROR_SUCCESS) all += text;
  }
  return all;
}

void RoundTrip(qzhost::RegStore* first, qzhost::RegFileVersion version, unsigned codePage) {
  std::string exported = ExportAll(first, version);
  qzhost::RegStore second;
  if (!OpenEmpty(&second, codePage)) return;
  for (const char* root : kRoots) {
    std::string text, why;
    // A refused export (text that is no character of the code page cannot be
    // written as UTF-16) gives no file to read back: nothing to compare.
    if (qzhost::ExportRegText(first, root, version, &text, &why) != ERROR_SUCCESS) return;
    qzhost::RegFileError error;
    // An export that its own importer refuses would be a file qzreg cannot restore.
    if (qzhost::ImportRegText(&second, text, &error) != ERROR_SUCCESS) __builtin_trap();
  }
  if (ExportAll(&second, version) != exported) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  unsigned codePage = (size & 1) ? 932 : 1252;
  qzhost::RegStore store;
  if (!OpenEmpty(&store, codePage)) return 0;
  qzhost::RegFileError error;
  if (qzhost::ImportRegText(&store, text, &error) != ERROR_SUCCESS) return 0;
  RoundTrip(&store, qzhost::RegFileVersion::kRegedit4, codePage);
  RoundTrip(&store, qzhost::RegFileVersion::kVersion5, codePage);
  return 0;
}
