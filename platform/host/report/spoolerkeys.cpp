// The spooler objects behind the registry differences of two machines, read
// through the spooler's registry layout: for comparing two machines (qzreg
// diff), where neither machine's lists can be read before and after a run. A
// run's report takes the difference of the lists themselves (spoolerdiff.cpp).
#include <strings.h>

#include <string>
#include <vector>

#include "platform/host/machine/codepage.h"
#include "platform/host/report/changes.h"
#include "platform/host/spooler/spooler_layout.h"

namespace qzhost {
namespace {

// A key path's components, split at backslashes by characters: on a
// double-byte code page a trail byte 0x5C is no separator.
std::vector<std::string> Split(const std::string& path, unsigned codePage) {
  std::vector<std::string> parts(1);
  for (const char* p = path.c_str(); *p != '\0';) {
    const char* next = NextCharOf(codePage, p);
    if (*p == '\\' && next == p + 1)
      parts.emplace_back();
    else
      parts.back().append(p, next);
    p = next;
  }
  return parts;
}

bool Same(const std::string& a, const char* b) { return strcasecmp(a.c_str(), b) == 0; }

// True when `parts` begins with HKEY_LOCAL_MACHINE and the components of `key`;
// *n is then the index of the component after them.
bool Below(const std::vector<std::string>& parts, const char* key, size_t* n) {
  std::vector<std::string> prefix = Split(key, 1252);
  if (parts.empty() || !Same(parts[0], "HKEY_LOCAL_MACHINE")) return false;
  if (parts.size() < prefix.size() + 1) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (!Same(parts[i + 1], prefix[i].c_str())) return false;
  }
  *n = prefix.size() + 1;
  return true;
}

class SpoolerObjects {
 public:
  SpoolerObjects(bool isNT, unsigned codePage) : isNT_(isNT), codePage_(codePage) {}

  void Key(const RegKeyChange& change) {
    std::vector<std::string> p = Split(change.path, codePage_);
    size_t n = 0;
    if (Below(p, spool::kPrintersKey, &n) && p.size() > n) {
      Note(change, p.size() == n + 1, "printer", p[n], "");
    } else if (Below(p, spool::kEnvironmentsKey, &n) && p.size() > n + 2) {
      Environment(change, p, n);
    } else if (Below(p, spool::kMonitorsKey, &n) && p.size() > n) {
      if (p.size() > n + 2 && Same(p[n + 1], spool::kMonitorPortsSubkey))
        Note(change, p.size() == n + 3, "port", p[n + 2], "");
      else
        Note(change, p.size() == n + 1, "monitor", p[n], "");
    } else if (Below(p, spool::kPrintPortsKey, &n) && p.size() > n) {
      Note(change, p.size() == n + 1, "port", p[n], "");
    } else if (Below(p, spool::kNtPortsKey, &n) && p.size() == n) {
      for (const RegValueChange& value : change.values)
        Add(value.action, "port",
            value.action == ChangeAction::kRemoved ? value.before.name : value.after.name, "");
    }
  }

  void Profile(const ProfileChange& change) {
    if (!isNT_ && Same(change.file, "C:\\WINDOWS\\WIN.INI") && Same(change.section, "Ports"))
      Add(change.action, "port", change.key, "");
  }

  std::vector<SpoolerChange> Take() { return std::move(objects_); }

 private:
  // <env>\Drivers[\Version-n]\<driver> and <env>\Print Processors\<processor>.
  void Environment(const RegKeyChange& change, const std::vector<std::string>& p, size_t n) {
    const std::string& env = p[n];
    if (Same(p[n + 1], spool::kDriversSubkey)) {
      size_t at = n + 2;
      if (isNT_ && strncasecmp(p[at].c_str(), spool::kVersionPrefix, 8) == 0) ++at;
      if (p.size() > at) Note(change, p.size() == at + 1, "driver", p[at], env);
    } else if (Same(p[n + 1], spool::kPrintProcessorsSubkey)) {
      Note(change, p.size() == n + 3, "print processor", p[n + 2], env);
    }
  }

  // The object's own key added or removed is the object added or removed;
  // anything else below it alters it.
  void Note(const RegKeyChange& change, bool own, const char* object, const std::string& name,
            const std::string& env) {
    Add(own ? change.action : ChangeAction::kChanged, object, name, env);
  }

  void Add(ChangeAction action, const char* object, const std::string& name,
           const std::string& env) {
    for (SpoolerChange& known : objects_) {
      if (known.object == object && strcasecmp(known.name.c_str(), name.c_str()) == 0 &&
          known.environment == env) {
        if (known.action == ChangeAction::kChanged) known.action = action;
        return;
      }
    }
    objects_.push_back({action, object, name, env});
  }

  bool isNT_;
  unsigned codePage_;
  std::vector<SpoolerChange> objects_;
};

}  // namespace

std::vector<SpoolerChange> SpoolerChanges(const std::vector<RegKeyChange>& registry,
                                          const std::vector<ProfileChange>& profiles, bool isNT,
                                          unsigned codePage) {
  SpoolerObjects objects(isNT, codePage);
  for (const RegKeyChange& change : registry) objects.Key(change);
  for (const ProfileChange& change : profiles) objects.Profile(change);
  return objects.Take();
}

}  // namespace qzhost
