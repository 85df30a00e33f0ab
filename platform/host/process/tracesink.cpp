// Where the host sends OutputDebugStringA.
//
// A trace that goes to a file or a pipe is written in blocks: a command that
// lists thousands of ports would otherwise make a system call per line,
// which costs it more than everything else it does with them. A terminal gets
// each line at once. The block is written when it is full, when the process
// exits, before the host writes anything else to standard error, and when a
// fatal signal ends the process; only a process killed outright (SIGKILL)
// can lose the lines of its last block.
#include "platform/host/process/tracesink.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "platform/host/machine/testctl.h"
#include "platform/win32.h"

namespace qzhost {
namespace {

int g_traceFd = 2;
bool g_capture = false;
std::string g_captured;

enum class Blocks { kUndecided, kYes, kNo };
Blocks g_blocks = Blocks::kUndecided;
// A plain array and a count that grows only after the bytes are in place, so
// that a signal handler can write out whatever it finds.
char g_block[32768];
volatile size_t g_blockUsed = 0;

void WriteAll(const char* text, size_t length) {
  while (length > 0) {
    ssize_t n = write(g_traceFd, text, length);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    text += n;
    length -= static_cast<size_t>(n);
  }
}

void FlushAtExit() { FlushTrace(); }

void FlushOnSignal(int signal) {
  FlushTrace();
  ::signal(signal, SIG_DFL);
  raise(signal);
}

// Once per process: at exit, and where a fatal signal would end the process
// anyway (one that the caller ignores, as under nohup, stays ignored).
void FlushAtTheEnd() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  atexit(FlushAtExit);
  for (int fatal : {SIGABRT, SIGBUS, SIGFPE, SIGILL, SIGSEGV, SIGTERM, SIGINT, SIGHUP}) {
    struct sigaction old;
    if (sigaction(fatal, nullptr, &old) == 0 && old.sa_handler == SIG_DFL)
      signal(fatal, FlushOnSignal);
  }
}

// Decided at the first line, once the trace's target is known.
bool WritesBlocks() {
  if (g_blocks == Blocks::kUndecided) {
    g_blocks = isatty(g_traceFd) ? Blocks::kNo : Blocks::kYes;
    if (g_blocks == Blocks::kYes) FlushAtTheEnd();
  }
  return g_blocks == Blocks::kYes;
}

void SetTarget(int fd) {
  FlushTrace();
  if (g_traceFd > 2) close(g_traceFd);  // a trace file opened here
  g_traceFd = fd;
  g_blocks = Blocks::kUndecided;
}

}  // namespace

void TraceToStandardError() { SetTarget(2); }

void TraceToStandardOutput() { SetTarget(1); }

bool TraceToFile(const std::string& path, std::string* why) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  if (fd < 0) {
    *why = "cannot open trace file " + path + ": " + strerror(errno);
    return false;
  }
  SetTarget(fd);
  return true;
}

void TraceToNowhere() { SetTarget(-1); }

void WriteTrace(const char* text) {
  if (g_capture) {
    g_captured += text;
    return;
  }
  if (g_traceFd < 0) return;
  size_t length = strlen(text);
  if (!WritesBlocks()) {
    WriteAll(text, length);
    return;
  }
  if (g_blockUsed + length > sizeof g_block) FlushTrace();
  if (length >= sizeof g_block) {
    WriteAll(text, length);
    return;
  }
  memcpy(g_block + g_blockUsed, text, length);
  g_blockUsed = g_blockUsed + length;
}

void FlushTrace() {
  const size_t used = g_blockUsed;
  g_blockUsed = 0;
  if (used > 0 && g_traceFd >= 0) WriteAll(g_block, used);
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
