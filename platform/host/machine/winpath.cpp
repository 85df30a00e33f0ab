// Windows path rules as plain functions of the code page.
#include "platform/host/machine/winpath.h"

#include <cctype>

#include "platform/host/machine/codepage.h"

namespace qzhost {
namespace {

const uint32_t kErrorBadNetpath = 53;
const uint32_t kErrorInvalidName = 123;

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsForbidden(unsigned char c) {
  return c < 0x20 || c == '<' || c == '>' || c == ':' || c == '"' || c == '|' || c == '?' ||
         c == '*';
}

// The names of `rest` split at separators that are characters of their own;
// false when a name holds a forbidden character (a device's "COM1:" keeps
// its colon, as Windows accepts it there).
bool SplitNames(std::string_view rest, unsigned codePage, std::vector<std::string>* names) {
  std::string name;
  for (size_t i = 0; i <= rest.size(); ++i) {
    if (i == rest.size() || IsSeparator(rest[i])) {
      names->push_back(std::move(name));
      name.clear();
      continue;
    }
    unsigned char c = static_cast<unsigned char>(rest[i]);
    if (IsLeadByteOf(codePage, c) && i + 1 < rest.size()) {
      name.append(rest.substr(i++, 2));
      continue;
    }
    if (IsForbidden(c)) {
      bool deviceColon = c == ':' && i + 1 == rest.size() && !DeviceNameOf(name).empty();
      if (!deviceColon) return false;
    }
    name.push_back(static_cast<char>(c));
  }
  return true;
}

// `name` without trailing dots and spaces (a double-byte character's second
// byte is never one: both are below 0x40).
std::string WithoutTrailingDots(std::string name) {
  while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
  return name;
}

// Resolves `.` and `..`; a `..` with nothing before it stays when `keepUp`
// (a relative path's), else goes (at the root).
std::vector<std::string> Resolved(const std::vector<std::string>& names, bool keepUp) {
  std::vector<std::string> out;
  for (const std::string& raw : names) {
    if (raw == "..") {
      if (!out.empty() && out.back() != "..")
        out.pop_back();
      else if (keepUp)
        out.push_back(raw);
      continue;
    }
    std::string name = raw == "." ? std::string() : WithoutTrailingDots(raw);
    if (!name.empty()) out.push_back(std::move(name));
  }
  return out;
}

}  // namespace

std::string DeviceNameOf(std::string_view name) {
  name = name.substr(0, name.find_first_of(".:"));
  while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
  std::string upper;
  for (char c : name) upper.push_back(static_cast<char>(toupper(static_cast<unsigned char>(c))));
  if (upper == "CON" || upper == "PRN" || upper == "AUX" || upper == "NUL") return upper;
  bool numbered =
      upper.size() == 4 && (upper.compare(0, 3, "COM") == 0 || upper.compare(0, 3, "LPT") == 0);
  if (numbered && upper[3] >= '1' && upper[3] <= '9') return upper;
  return {};
}

uint32_t ParseWindowsPath(std::string_view path, unsigned codePage, WinPath* out) {
  *out = WinPath();
  if (path.empty()) return kErrorInvalidName;
  if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) return kErrorBadNetpath;
  std::string_view rest = path;
  if (path.size() >= 2 && path[1] == ':' && isalpha(static_cast<unsigned char>(path[0]))) {
    out->drive = static_cast<char>(toupper(static_cast<unsigned char>(path[0])));
    rest = path.substr(2);
  }
  std::vector<std::string> names;
  if (!SplitNames(rest, codePage, &names)) return kErrorInvalidName;
  out->bareName = out->drive == 0 && names.size() == 1;
  out->names = Resolved(names, out->drive == 0);
  if (!out->names.empty()) out->device = DeviceNameOf(out->names.back());
  return 0;
}

}  // namespace qzhost
