// Where the host sends OutputDebugStringA: standard error, a file, or nowhere.
#ifndef QZINST32_PLATFORM_HOST_TRACESINK_H_
#define QZINST32_PLATFORM_HOST_TRACESINK_H_

#include <string>

namespace qzhost {

// Sends the trace to standard error (the default).
void TraceToStandardError();
// Sends it to standard output (--trace=-).
void TraceToStandardOutput();
// Appends the trace to a file; false with *why set when it cannot be opened.
bool TraceToFile(const std::string& path, std::string* why);
void TraceToNowhere();
void WriteTrace(const char* text);
// Writes out the lines held back (see tracesink.cpp); called before anything
// else goes to standard error, so that both keep their order.
void FlushTrace();

}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_TRACESINK_H_
