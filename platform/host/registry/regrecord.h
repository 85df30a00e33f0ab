// What a run changed in the registry, captured by the store as it changes it.
//
// Before its first change of a key that existed when recording began, the
// store notes how the key was: its values before the first value change, its
// subkeys before the first subkey added or removed, and all of a subtree
// before it is removed. Compared with the registry at the end, these give the
// run's net changes (a value set and set back, or a key made and removed, is
// no change), and only the keys named here need to be looked at.
#ifndef QZINST32_PLATFORM_HOST_REGRECORD_H_
#define QZINST32_PLATFORM_HOST_REGRECORD_H_

#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/host/registry/regstore.h"

namespace qzhost {

// A key as it was before the run changed it; what was never changed is not
// known (the registry still holds it).
struct RegKeyBefore {
  bool valuesKnown = false;
  std::vector<RegValue> values;  // in creation order
  bool childrenKnown = false;
  std::vector<std::string> childNames;  // in enumeration order
  std::vector<RegKeyId> childIds;
};

// A key the run changed, or one above such a key.
struct RegTouchedKey {
  RegKeyId parent = kNoKey;
  std::string name;   // as first spelled
  std::string upper;  // what enumeration sorts by
};

struct RegChangeRecord {
  std::unordered_map<RegKeyId, RegKeyBefore> before;  // by the id the key had
  std::unordered_map<RegKeyId, RegTouchedKey> touched;
  std::unordered_set<RegKeyId> made;  // keys made while recording
  bool failed = false;                // a key could not be read before its change
};

}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_REGRECORD_H_
