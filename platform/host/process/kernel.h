// Host-side helpers of the kernel module that other host modules use.
#ifndef QZINST32_PLATFORM_HOST_KERNEL_H_
#define QZINST32_PLATFORM_HOST_KERNEL_H_

#include <string>

namespace qzhost {

// The module path in Windows form: C:\... inside the machine's drive, else
// Z:\... for the host's own file system (as Wine shows it).
std::string ModuleFileName();

// Sets what GetCommandLineA returns: the module path in double quotes, as a
// shell starts a program, then a blank and the command text when there is one.
void SetCommandText(const std::string& commandText);

}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_KERNEL_H_
