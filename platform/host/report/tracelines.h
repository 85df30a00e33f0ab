// The trace lines of a saved log, whatever wrote it down: a debug-output
// viewer's save (a line number, a time, "[pid]" and the text), Wine's
// +debugstr channel (`0024:warn:debugstr:OutputDebugStringA "text\n"`, with
// the process id first under +pid), or the host program's standard error,
// which holds the lines as the program formats them.
#ifndef QZINST32_PLATFORM_HOST_TRACELINES_H_
#define QZINST32_PLATFORM_HOST_TRACELINES_H_

#include <string>
#include <vector>

namespace qzhost {

enum class TraceForm { kHost, kViewer, kWine };

// "host", "debugview", "wine".
const char* TraceFormName(TraceForm form);

struct TraceLine {
  std::string process;  // the pid (viewer, Wine +pid) or thread id (Wine); empty for the host
  TraceForm form = TraceForm::kHost;
  size_t lineNumber = 0;  // where the line begins in the log, from 1
  std::string text;       // one trace line, without its line end
};

// The log's trace lines in order. A message that the program sent in pieces
// (Wine shows each OutputDebugStringA call on its own) is joined per process
// until its line end; one that holds several lines is split. A line without
// a viewer's or Wine's prefix belongs to the process of the line before (a
// viewer saves a message's second line so), or to the host at the start;
// once Wine's lines have begun, unprefixed lines and Wine's other channels
// are left out.
std::vector<TraceLine> ReadTraceLines(const std::string& log);

}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_TRACELINES_H_
