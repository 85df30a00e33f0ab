// Host only: a what-if run on a root that holds no machine runs on a fresh
// machine in a temporary folder, so that it leaves the root as it was (no
// machine.ini, no WIN.INI, no lock file made in it).
#ifndef QZINST32_PLATFORM_HOST_SHADOWROOT_H_
#define QZINST32_PLATFORM_HOST_SHADOWROOT_H_

#include <string>

namespace qzhost {

class ShadowRoot {
 public:
  ShadowRoot() = default;
  // Removes the temporary machine, if one was made.
  ~ShadowRoot();
  ShadowRoot(const ShadowRoot&) = delete;
  ShadowRoot& operator=(const ShadowRoot&) = delete;

  // Points the machine at a fresh root in a temporary folder when the root
  // is missing or a folder without machine.ini and registry.db. False with
  // *why when that folder cannot be made.
  bool BeginIfNoMachine(std::string* why);
  bool active() const { return !folder_.empty(); }
  // The root the user named.
  const std::string& realRoot() const { return realRoot_; }

 private:
  std::string folder_;
  std::string realRoot_;
};

}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_SHADOWROOT_H_
