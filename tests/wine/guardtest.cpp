// The single-instance guard of QZINST32.EXE, checked with two real processes.
//
//   guardtest.exe PATH-OF-QZINST32.EXE
//
// The first instance runs under this program's debugger and is held at its
// "ProcessCommand(" trace line: by then it has counted itself and has not yet
// run its command. A second instance started meanwhile (under a debugger of
// its own, on another thread, for its trace) must end with 256, leave only the
// guard's trace and run no command: its command 4 would write the uninstall
// key, which must stay absent. A next instance is then started and held at its
// first trace line, which comes before its guard; the first is let go and
// ends, and the next one, let go, must run its command: the first gave its
// place back, although the counter lived on in the next one's process all along.
// Exit status 0 when every check holds, 1 otherwise.
#include <stdio.h>
#include <windows.h>

#include <string>

namespace {

const char kHoldAtCommand[] = "ProcessCommand(";
const char kHoldAtStart[] = "lpstrCmdLine=";
const char kFirstCommand[] = "259 held";
const char kCommand[] = "4 C:\\GUARD\\UNINST.EXE";
const char kUninstallKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Halden RT-2210 Series";
const DWORD kEventTimeout = 60000;  // ms; a run normally takes well under a second

int g_failures = 0;

void Check(bool ok, const char* what) {
  printf("%s %s\n", ok ? "ok  " : "FAIL", what);
  if (!ok) ++g_failures;
}

// One process under this thread's debugger: its trace, as it sent it, and how it ended.
struct Debuggee {
  PROCESS_INFORMATION pi = {};
  std::string trace;
  DWORD dwExitCode = STILL_ACTIVE;
  bool bExited = false;
  bool bHeld = false;  // stopped at kHoldAt, its event not yet continued
  DWORD dwHeldThread = 0;
};

bool Start(const char* pszExe, const char* pszCommand, Debuggee* pDebuggee) {
  std::string line = std::string("\"") + pszExe + "\" " + pszCommand;
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  if (!CreateProcessA(pszExe, &line[0], nullptr, nullptr, FALSE, DEBUG_ONLY_THIS_PROCESS, nullptr,
                      nullptr, &si, &pDebuggee->pi)) {
    printf("FAIL CreateProcessA(%s) failed: %lu\n", line.c_str(), GetLastError());
    ++g_failures;
    return false;
  }
  return true;
}

std::string DebugString(const Debuggee& d, const OUTPUT_DEBUG_STRING_INFO& info) {
  std::string text(info.nDebugStringLength, '\0');
  SIZE_T cbRead = 0;
  if (info.fUnicode || text.empty() ||
      !ReadProcessMemory(d.pi.hProcess, info.lpDebugStringData, &text[0], text.size(), &cbRead))
    return std::string();
  text.resize(cbRead);
  size_t end = text.find('\0');
  return end == std::string::npos ? text : text.substr(0, end);
}

// The debuggees of the main thread's debugger; the second instance's thread
// has its own debugger and only its one debuggee.
Debuggee* g_apDebuggees[2];

Debuggee* Find(Debuggee* pTarget, DWORD dwProcessId) {
  if (pTarget->pi.dwProcessId == dwProcessId) return pTarget;
  for (Debuggee* p : g_apDebuggees)
    if (p != nullptr && p->pi.dwProcessId == dwProcessId) return p;
  return nullptr;
}

// Runs the target until it ends or, with pszHoldAt, until it sends a line that
// starts so; then its event is left uncontinued, so the process stays stopped
// there. Another debuggee of this thread is held, or has ended, meanwhile.
bool Drive(Debuggee* pTarget, const char* pszHoldAt) {
  if (pTarget->bHeld) {
    pTarget->bHeld = false;
    ContinueDebugEvent(pTarget->pi.dwProcessId, pTarget->dwHeldThread, DBG_CONTINUE);
  }
  for (;;) {
    DEBUG_EVENT ev;
    if (!WaitForDebugEvent(&ev, kEventTimeout)) {
      printf("FAIL no debug event within %lu ms (error %lu)\n", kEventTimeout, GetLastError());
      ++g_failures;
      return false;
    }
    DWORD dwStatus = DBG_CONTINUE;
    Debuggee* d = Find(pTarget, ev.dwProcessId);
    if (d == nullptr) {
      printf("FAIL a debug event of process %lu, which is none of this test's\n", ev.dwProcessId);
      ++g_failures;
      return false;
    }
    switch (ev.dwDebugEventCode) {
      case CREATE_PROCESS_DEBUG_EVENT:
        if (ev.u.CreateProcessInfo.hFile) CloseHandle(ev.u.CreateProcessInfo.hFile);
        break;
      case LOAD_DLL_DEBUG_EVENT:
        if (ev.u.LoadDll.hFile) CloseHandle(ev.u.LoadDll.hFile);
        break;
      case EXCEPTION_DEBUG_EVENT:
        // The loader's first breakpoint is ours to pass; anything else is the program's.
        if (ev.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT)
          dwStatus = DBG_EXCEPTION_NOT_HANDLED;
        break;
      case OUTPUT_DEBUG_STRING_EVENT: {
        std::string text = DebugString(*d, ev.u.DebugString);
        d->trace += text;
        if (d == pTarget && pszHoldAt != nullptr &&
            text.compare(0, lstrlenA(pszHoldAt), pszHoldAt) == 0) {
          d->bHeld = true;
          d->dwHeldThread = ev.dwThreadId;
          return true;
        }
        break;
      }
      case EXIT_PROCESS_DEBUG_EVENT:
        d->dwExitCode = ev.u.ExitProcess.dwExitCode;
        d->bExited = true;
        break;
    }
    ContinueDebugEvent(ev.dwProcessId, ev.dwThreadId, dwStatus);
    if (pTarget->bExited) return true;
  }
}

struct Run {
  const char* pszExe;
  const char* pszCommand;
  Debuggee debuggee;
  bool bRan = false;
};

// A whole run under the calling thread's debugger.
void RunToEnd(Run* pRun) {
  if (Start(pRun->pszExe, pRun->pszCommand, &pRun->debuggee))
    pRun->bRan = Drive(&pRun->debuggee, nullptr);
}

DWORD WINAPI RunThread(LPVOID pParam) {
  RunToEnd(static_cast<Run*>(pParam));
  return 0;
}

void Close(Debuggee* d) {
  if (d->pi.hThread) CloseHandle(d->pi.hThread);
  if (d->pi.hProcess) CloseHandle(d->pi.hProcess);
}

// The uninstall key's UninstallString; "<absent>" without the key or value.
std::string UninstallString() {
  HKEY hKey;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_QUERY_VALUE, &hKey) != ERROR_SUCCESS)
    return "<absent>";
  char acValue[512] = "";
  DWORD cbValue = sizeof acValue - 1;
  LONG lResult = RegQueryValueExA(hKey, "UninstallString", nullptr, nullptr,
                                  reinterpret_cast<LPBYTE>(acValue), &cbValue);
  RegCloseKey(hKey);
  return lResult == ERROR_SUCCESS ? std::string(acValue) : "<absent>";
}

void ShowTrace(const char* pszWho, const std::string& trace) {
  printf("     %s's trace:\n", pszWho);
  size_t start = 0;
  while (start < trace.size()) {
    size_t end = trace.find('\n', start);
    if (end == std::string::npos) end = trace.size();
    printf("       %s\n", trace.substr(start, end - start).c_str());
    start = end + 1;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: guardtest.exe PATH-OF-QZINST32.EXE\n");
    return 2;
  }
  const char* pszExe = argv[1];
  Check(UninstallString() == "<absent>", "no uninstall key before the runs");

  Debuggee first;
  Debuggee next;
  g_apDebuggees[0] = &first;
  g_apDebuggees[1] = &next;
  if (!Start(pszExe, kFirstCommand, &first) || !Drive(&first, kHoldAtCommand) || !first.bHeld) {
    Check(false, "the first instance stops at its ProcessCommand( line");
    return 1;
  }
  printf("     first instance (%s) held at: %s", kFirstCommand,
         first.trace.substr(first.trace.rfind(kHoldAtCommand)).c_str());

  // The second runs to its end while the first stays stopped.
  Run second = {pszExe, kCommand, {}, false};
  HANDLE hThread = CreateThread(nullptr, 0, RunThread, &second, 0, nullptr);
  bool bSecondEnded = hThread != nullptr && WaitForSingleObject(hThread, 2 * kEventTimeout) == 0;
  if (hThread) CloseHandle(hThread);
  Check(bSecondEnded && second.bRan, "the second instance ends while the first is held");
  printf("     second instance (%s) exit code %lu\n", kCommand, second.debuggee.dwExitCode);
  Check(second.debuggee.dwExitCode == 256, "the second instance ends with 256");
  std::string expected =
      std::string("lpstrCmdLine=") + kCommand + "\nDeInitInstance()\nWinMain()=0x0100\n";
  Check(second.debuggee.trace == expected,
        "the second instance's trace is only the guard's (no command run)");
  ShowTrace("second", second.debuggee.trace);
  Check(UninstallString() == "<absent>", "the second instance wrote no uninstall key");
  Close(&second.debuggee);

  // The next one waits before its guard while the first goes on and ends as it
  // would have alone.
  bool bNextHeld = Start(pszExe, kCommand, &next) && Drive(&next, kHoldAtStart) && next.bHeld;
  Check(bNextHeld, "the next instance stops at its first trace line, before its guard");
  bool bFirstEnded = Drive(&first, nullptr) && first.bExited;
  Check(bFirstEnded && first.dwExitCode == 0, "the first instance, let go, ends with 0");
  Check(first.trace.size() >= 17 &&
            first.trace.compare(first.trace.size() - 17, 17, "WinMain()=0x0000\n") == 0,
        "the first instance's trace ends with WinMain()=0x0000");
  Close(&first);

  // With the first ended, the next one runs its command.
  bool bNextEnded = bNextHeld && Drive(&next, nullptr) && next.bExited;
  printf("     next instance (%s) exit code %lu\n", kCommand, next.dwExitCode);
  Check(bNextEnded && next.dwExitCode == 0, "the next instance ends with 0");
  Check(next.trace.find("SetUninstall(C:\\GUARD\\UNINST.EXE)\n") != std::string::npos,
        "the next instance runs its command");
  std::string value = UninstallString();
  printf("     UninstallString after the next instance: %s\n", value.c_str());
  Check(value == "C:\\GUARD\\UNINST.EXE", "the next instance wrote the uninstall key");
  Close(&next);

  printf("%s: %d check(s) failed\n", g_failures ? "FAIL" : "PASS", g_failures);
  return g_failures ? 1 : 0;
}
