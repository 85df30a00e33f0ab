// The table of open printer handles.
#include "platform/host/spooler/spooler_handles.h"

#include <cstdint>
#include <map>
#include <mutex>

namespace qzhost {
namespace spool {
namespace {

constexpr uintptr_t kFirstHandle = 0x5100;

struct HandleTable {
  std::mutex lock;
  std::map<uintptr_t, std::string> open;
  uintptr_t next = kFirstHandle;
};

HandleTable& Handles() {
  static HandleTable table;
  return table;
}

}  // namespace

HANDLE NewPrinterHandle(const std::string& name) {
  HandleTable& table = Handles();
  std::lock_guard<std::mutex> guard(table.lock);
  uintptr_t token = table.next;
  table.next += 4;
  table.open.emplace(token, name);
  return reinterpret_cast<HANDLE>(token);
}

bool PrinterOfHandle(HANDLE hPrinter, std::string* name) {
  HandleTable& table = Handles();
  std::lock_guard<std::mutex> guard(table.lock);
  auto it = table.open.find(reinterpret_cast<uintptr_t>(hPrinter));
  if (it == table.open.end()) return false;
  *name = it->second;
  return true;
}

bool ReleasePrinterHandle(HANDLE hPrinter) {
  HandleTable& table = Handles();
  std::lock_guard<std::mutex> guard(table.lock);
  return table.open.erase(reinterpret_cast<uintptr_t>(hPrinter)) == 1;
}

}  // namespace spool
}  // namespace qzhost
