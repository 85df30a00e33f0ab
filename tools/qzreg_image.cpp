// qzreg save and load: the whole machine in one image file.
#include <stdio.h>
#include <stdlib.h>

#include "platform/host/registry/regimage.h"
#include "tools/qzreg.h"

namespace qzreg {
namespace {

const int kDefaultWaitSeconds = 60;  // as qzinst32 --wait

// The exit status of an image that was not saved or loaded: another instance
// is status 1 as in qzinst32, a registry locked or unusable 121.
int ImageFailed(const qzhost::ImageOutcome& outcome) {
  bool machine = outcome.refusal == qzhost::ImageRefusal::kLocked ||
                 outcome.refusal == qzhost::ImageRefusal::kMachine;
  return Complain(machine ? kExitMachine : kExitFailed, outcome.error.message);
}

// The one IMAGE argument, with an optional --wait[=SECONDS] anywhere.
bool ImageArguments(const Args& args, const char* verb, std::string* image, int* waitMs,
                    int* status) {
  for (const std::string& arg : args) {
    int wait = 0;
    if (ParseWaitOption(arg, &wait, status)) {
      if (*status != kExitOk) return false;
      *waitMs = wait;
      qzhost::RegStore::SetLockWait(wait);  // as long for a registry another program locks
    } else if (arg.size() > 1 && arg[0] == '-') {
      *status =
          Complain(kExitUsage, "unknown option '" + arg + "' (try qzreg " + verb + " --help)");
      return false;
    } else if (!image->empty()) {
      *status = Complain(kExitUsage, std::string(verb) + " needs exactly one IMAGE file");
      return false;
    } else {
      *image = arg;
    }
  }
  if (!image->empty()) return true;
  *status = Complain(kExitUsage, std::string(verb) + " needs exactly one IMAGE file");
  return false;
}

}  // namespace

bool ParseWaitOption(const std::string& arg, int* waitMs, int* status) {
  *status = kExitOk;
  if (arg == "--wait") {
    *waitMs = kDefaultWaitSeconds * 1000;
    return true;
  }
  if (arg.compare(0, 7, "--wait=") != 0) return false;
  const char* text = arg.c_str() + 7;
  char* end = nullptr;
  double seconds = strtod(text, &end);
  if (*text == '\0' || *end != '\0' || !(seconds >= 0) || seconds > 86400) {
    *status = Complain(kExitUsage, "--wait takes SECONDS (0 to 86400), not '" + arg + "'");
    return true;
  }
  *waitMs = static_cast<int>(seconds * 1000);
  return true;
}

int Save(const Args& args) {
  std::string image;
  int waitMs = 0, status = kExitOk;
  if (!ImageArguments(args, "save", &image, &waitMs, &status)) return status;
  if (ExistingRegistry(&status) == nullptr) return status;
  qzhost::ImageOutcome outcome = qzhost::SaveMachineImage(image, waitMs);
  if (outcome.failed()) return CheckMachineFault(ImageFailed(outcome));
  Inform("Saved the machine at %s to %s\n", qzhost::MachineRoot().c_str(), image.c_str());
  return kExitOk;
}

int Load(const Args& args) {
  std::string image;
  int waitMs = 0, status = kExitOk;
  if (!ImageArguments(args, "load", &image, &waitMs, &status)) return status;
  qzhost::ImageOutcome outcome = qzhost::LoadMachineImage(image, true, waitMs);
  if (outcome.failed()) return ImageFailed(outcome);
  Inform("Loaded %s into %s\n", image.c_str(), qzhost::MachineRoot().c_str());
  return kExitOk;
}

int InitFrom(const std::string& image, bool replace, int waitMs) {
  // Loading swaps the new machine in at once; replace lets it take the place of one.
  qzhost::ImageOutcome outcome = qzhost::LoadMachineImage(image, replace, waitMs);
  if (outcome.failed()) return ImageFailed(outcome);
  Inform("Created the machine of %s at %s\n", image.c_str(), qzhost::MachineRoot().c_str());
  return kExitOk;
}

}  // namespace qzreg
