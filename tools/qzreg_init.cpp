// qzreg init: a new machine from the OS's default image, an empty registry,
// or a saved image; with --force in place of the one at the root.
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "platform/host/machine/machine.h"
#include "platform/host/registry/regimage.h"
#include "platform/host/registry/registry.h"
#include "platform/host/report/tempfolder.h"
#include "tools/qzreg.h"

namespace qzreg {

bool TakeOptionValue(const Args& args, size_t* i, const char* name, std::string* value,
                     bool* missing) {
  const std::string& arg = args[*i];
  size_t n = strlen(name);
  if (arg.compare(0, n, name) != 0 || (arg.size() != n && arg[n] != '=')) return false;
  *missing = false;
  if (arg.size() > n) {
    *value = arg.substr(n + 1);
  } else if (*i + 1 < args.size()) {
    *value = args[++*i];
  } else {
    *missing = true;
  }
  *missing = *missing || value->empty();
  return true;
}

namespace {

struct InitArgs {
  qzhost::MachineConfig config;
  bool osGiven = false;
  bool codePageGiven = false;
  bool bare = false;
  bool force = false;
  int waitMs = 0;
  std::string from;
};

int ParseInit(const Args& args, InitArgs* out) {
  for (size_t i = 0; i < args.size(); ++i) {
    std::string value;
    bool missing = false;
    int status = kExitOk;
    if (ParseWaitOption(args[i], &out->waitMs, &status)) {
      if (status != kExitOk) return status;
    } else if (TakeOptionValue(args, &i, "--os", &value, &missing)) {
      if (value == "nt")
        out->config.os = qzhost::Personality::kWinNT;
      else if (value != "win98")
        return Complain(kExitUsage, "unknown --os '" + value + "' (win98 or nt)");
      out->osGiven = true;
    } else if (TakeOptionValue(args, &i, "--codepage", &value, &missing)) {
      if (value != "1252" && value != "932")
        return Complain(kExitUsage, "unknown --codepage '" + value + "' (1252 or 932)");
      out->config.codePage = static_cast<unsigned>(atoi(value.c_str()));
      out->codePageGiven = true;
    } else if (TakeOptionValue(args, &i, "--from", &value, &missing)) {
      out->from = value;
    } else if (args[i] == "--bare") {
      out->bare = true;
    } else if (args[i] == "--force") {
      out->force = true;
    } else {
      return Complain(kExitUsage, "unexpected argument '" + args[i] + "' (try qzreg init --help)");
    }
    if (missing) return Complain(kExitUsage, args[i] + " needs a value (try qzreg init --help)");
  }
  if (!out->from.empty() && out->bare)
    return Complain(kExitUsage, "--from and --bare exclude each other");
  if (!out->from.empty() && (out->osGiven || out->codePageGiven))
    return Complain(kExitUsage, "the image holds its own OS and code page; --from takes no " +
                                    std::string(out->osGiven ? "--os" : "--codepage"));
  return kExitOk;
}

// Opens the fresh machine's registry empty, without the default image.
int MakeBareRegistry() {
  qzhost::RegStore store;
  std::string why;
  DWORD error = store.Open(
      qzhost::MachineRegistryPath(), qzhost::Machine().codePage,
      [] { return DWORD(ERROR_SUCCESS); }, &why);
  store.Close();
  return error == ERROR_SUCCESS ? kExitOk
                                : Complain(kExitMachine, "cannot create the registry: " + why);
}

bool HoldsMachine(const std::string& root) {
  return access((root + "/machine.ini").c_str(), F_OK) == 0 ||
         access((root + "/registry.db").c_str(), F_OK) == 0;
}

// Moves the machine at the root aside (in one rename) for --force; the
// folder it went to, or empty when there was none. False after a message.
bool MoveMachineAside(std::string* aside, int* status) {
  const std::string& root = qzhost::MachineRoot();
  if (!HoldsMachine(root)) return true;
  std::string why;
  std::string folder = root + ".old-XXXXXX";
  if (mkdtemp(&folder[0]) == nullptr || rename(root.c_str(), (folder + "/machine").c_str()) != 0) {
    if (folder.find('X') == std::string::npos) rmdir(folder.c_str());
    *status = Complain(kExitFailed, "cannot move the machine at " + root +
                                        " aside: " + strerror(errno) + "; it is unchanged");
    return false;
  }
  *aside = folder;
  return true;
}

int MakeMachine(const InitArgs& a) {
  qzhost::MachineError error = qzhost::InitMachine(a.config);
  if (error.failed()) return Complain(kExitFailed, error.message);
  int status = kExitOk;
  if (a.bare ? (status = MakeBareRegistry()) != kExitOk : ExistingRegistry(&status) == nullptr)
    return status;
  Inform("Created a%s %s machine (code page %u) at %s\n", a.bare ? " bare" : "",
         a.config.os == qzhost::Personality::kWinNT ? "Windows NT (XP)" : "Windows 98",
         a.config.codePage, qzhost::MachineRoot().c_str());
  return kExitOk;
}

}  // namespace

int Init(const Args& args) {
  InitArgs a;
  if (int status = ParseInit(args, &a)) return status;
  if (!a.from.empty()) {
    return InitFrom(a.from, a.force, a.waitMs);
  }
  std::string aside;
  int status = kExitOk;
  if (a.force && !MoveMachineAside(&aside, &status)) return status;
  status = MakeMachine(a);
  if (aside.empty()) return status;
  const std::string& root = qzhost::MachineRoot();
  if (status == kExitOk) {
    qzhost::RemoveTree(aside);
  } else {
    // The old machine goes back where it was.
    qzhost::RemoveTree(root);
    if (rename((aside + "/machine").c_str(), root.c_str()) == 0) rmdir(aside.c_str());
  }
  return status;
}

}  // namespace qzreg
