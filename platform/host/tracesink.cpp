// Where the host sends OutputDebugStringA.
#include "platform/host/tracesink.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <unistd.h>

#include "platform/host/testctl.h"
#include "platform/win32.h"

namespace qzhost {
namespace {

int g_traceFd = 2;
bool g_capture = false;
std::string g_captured;

}  // namespace

void TraceToStandardError() { g_traceFd = 2; }

bool TraceToFile(const std::string& path, std::string* why) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  if (fd < 0) {
    *why = "cannot open trace file " + path + ": " + strerror(errno);
    return false;
  }
  g_traceFd = fd;
  return true;
}

void TraceToNowhere() { g_traceFd = -1; }

void WriteTrace(const char* text) {
  if (g_capture) {
    g_captured += text;
    return;
  }
  if (g_traceFd < 0) return;
  size_t length = strlen(text);
  while (length > 0) {
    ssize_t n = write(g_traceFd, text, length);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    text += n;
    length -= static_cast<size_t>(n);
  }
}

void CaptureTrace(bool on) {
  g_capture = on;
  g_captured.clear();
}

std::string TakeTrace() {
  std::string text;
  text.swap(g_captured);
  return text;
}

}  // namespace qzhost

extern "C" void WINAPI OutputDebugStringA(LPCSTR lpOutputString) {
  if (lpOutputString != nullptr) qzhost::WriteTrace(lpOutputString);
}
