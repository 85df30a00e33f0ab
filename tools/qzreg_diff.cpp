// qzreg diff: placeholder until the comparison lands.
#include "tools/qzreg.h"

namespace qzreg {

int Diff(const Args&) { return Complain(kExitUsage, "diff is not built yet"); }

}  // namespace qzreg
