// Helpers shared by the spooler tests: a machine of either personality,
// registry reads, and an enumeration that checks Windows' two-call protocol.
#ifndef QZINST32_TESTS_PLATFORM_SPOOLER_TEST_UTIL_H_
#define QZINST32_TESTS_PLATFORM_SPOOLER_TEST_UTIL_H_

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "platform/host/machine/machine.h"
#include "platform/host/spooler/spooler_files.h"
#include "platform/host/spooler/spooler_layout.h"
#include "platform/host/spooler/spooler_store.h"
#include "platform/win32.h"
#include "tests/support/machine_test.h"

namespace spooltest {

using Personality = qzhost::Personality;

inline const char* PersonalityName(const ::testing::TestParamInfo<Personality>& info) {
  return info.param == Personality::kWinNT ? "NT" : "Win98";
}

// A fresh machine of the personality given as the test parameter.
class SpoolerTest : public MachineTest, public ::testing::WithParamInterface<Personality> {
 protected:
  qzhost::TestMachineOptions Options() const override {
    qzhost::TestMachineOptions options;
    options.os = GetParam();
    options.inMemoryRegistry = true;
    return options;
  }
  bool IsNT() const { return GetParam() == Personality::kWinNT; }
  const char* OwnEnv() const {
    return IsNT() ? qzhost::spool::kEnvNtX86 : qzhost::spool::kEnvWin40;
  }
};

inline bool KeyExists(const std::string& path) {
  HKEY hKey = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(hKey);
  return true;
}

// The raw value, or "<missing>" when it cannot be read.
inline std::string ReadValue(const std::string& path, const char* value, DWORD* pType = nullptr) {
  HKEY hKey = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS) {
    return "<missing>";
  }
  char data[1024];
  DWORD cbData = sizeof(data);
  DWORD dwType = REG_NONE;
  LONG lResult =
      RegQueryValueExA(hKey, value, nullptr, &dwType, reinterpret_cast<BYTE*>(data), &cbData);
  RegCloseKey(hKey);
  if (lResult != ERROR_SUCCESS) return "<missing>";
  if (pType != nullptr) *pType = dwType;
  std::string text(data, cbData);
  if (dwType == REG_SZ && !text.empty() && text.back() == '\0') text.pop_back();
  return text;
}

inline DWORD ReadDword(const std::string& path, const char* value) {
  std::string raw = ReadValue(path, value);
  DWORD data = 0xFFFFFFFF;
  if (raw.size() == sizeof(DWORD)) memcpy(&data, raw.data(), sizeof(DWORD));
  return data;
}

// One enumeration call: (buffer, cbBuf, &cbNeeded, &cReturned) -> BOOL.
using EnumCall = std::function<BOOL(LPBYTE, DWORD, LPDWORD, LPDWORD)>;

// Runs an enumeration the way Windows answers it and checks every step:
// the size query fails with 122 when something is listed (TRUE, 0, 0 when
// nothing is), a buffer one byte short fails with the same size, and a
// buffer of exactly that size succeeds. Every string pointer of the records
// must point past the array and inside the buffer; `stringOffsets` names the
// offsets of the record's string fields.
struct Enumerated {
  std::vector<BYTE> buffer;
  DWORD count = 0;
  template <typename Record>
  const Record* Records() const {
    return reinterpret_cast<const Record*>(buffer.data());
  }
};

inline Enumerated EnumerateChecked(const EnumCall& call, size_t recordSize,
                                   const std::vector<size_t>& stringOffsets) {
  Enumerated result;
  DWORD cbNeeded = 0xDEADBEEF;
  DWORD cReturned = 0xDEADBEEF;
  SetLastError(0x1234);
  BOOL bOk = call(nullptr, 0, &cbNeeded, &cReturned);
  EXPECT_EQ(0u, cReturned);
  if (bOk) {
    EXPECT_EQ(0u, cbNeeded) << "TRUE from the size query means nothing is listed";
    EXPECT_EQ(0x1234u, GetLastError()) << "an empty list leaves the last error alone";
    return result;
  }
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
  EXPECT_GT(cbNeeded, 0u);
  const DWORD cbFull = cbNeeded;

  // The byte past the short size must stay untouched.
  std::vector<BYTE> shortBuffer(cbFull, 0xCC);
  cbNeeded = 0;
  EXPECT_FALSE(call(shortBuffer.data(), cbFull - 1, &cbNeeded, &cReturned));
  EXPECT_EQ(0xCC, shortBuffer.back());
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
  EXPECT_EQ(cbFull, cbNeeded);
  EXPECT_EQ(0u, cReturned);

  result.buffer.assign(cbFull, 0xCC);
  EXPECT_TRUE(call(result.buffer.data(), cbFull, &cbNeeded, &cReturned));
  EXPECT_EQ(cbFull, cbNeeded);
  result.count = cReturned;
  EXPECT_GT(result.count, 0u);

  const BYTE* pStart = result.buffer.data() + recordSize * result.count;
  const BYTE* pEnd = result.buffer.data() + result.buffer.size();
  for (DWORD i = 0; i < result.count; ++i) {
    for (size_t offset : stringOffsets) {
      const char* pText = nullptr;
      memcpy(&pText, result.buffer.data() + i * recordSize + offset, sizeof(pText));
      const BYTE* p = reinterpret_cast<const BYTE*>(pText);
      EXPECT_TRUE(p >= pStart && p < pEnd) << "record " << i << " field at " << offset;
      if (p >= pStart && p < pEnd) {
        EXPECT_NE(nullptr, memchr(p, '\0', static_cast<size_t>(pEnd - p)));
      }
    }
  }
  return result;
}

// Puts an (empty) file at a Windows path of the machine, as a package's
// setup copies it there.
inline void PlaceFile(const std::string& windowsPath) {
  std::string path = qzhost::MapWindowsPath(windowsPath);
  ASSERT_FALSE(path.empty()) << windowsPath;
  std::ofstream(path, std::ios::binary).flush();
}

// Puts a monitor's DLL into the machine's system directory.
inline void PlaceSystemFile(const char* name) {
  PlaceFile(std::string(qzhost::SystemDirectory()) + "\\" + name);
}

// Puts the files into the printer-driver directory of `env` (NULL: the
// machine's own); nothing for an environment the machine refuses.
inline void PlaceDriverFiles(const char* env, const std::vector<std::string>& names) {
  std::string resolved;
  DWORD dwError = 0;
  if (!qzhost::spool::ResolveEnvironment(env, &resolved, &dwError)) return;
  for (const std::string& name : names)
    PlaceFile(qzhost::spool::PrinterDriverDirectory(resolved) + "\\" + name);
}

// Installs a driver for `env` through the spooler (level 3), its files put
// where the spooler takes them from.
inline BOOL AddDriver(const char* name, const char* env, const char* monitor = nullptr,
                      const char* dependents = nullptr, DWORD cVersion = 0x400) {
  DRIVER_INFO_3A info = {};
  info.cVersion = cVersion;
  info.pName = const_cast<LPSTR>(name);
  info.pEnvironment = const_cast<LPSTR>(env);
  info.pDriverPath = const_cast<LPSTR>("RT2210.DRV");
  info.pDataFile = const_cast<LPSTR>("RT2210.DRV");
  info.pConfigFile = const_cast<LPSTR>("RT2210UI.DLL");
  info.pHelpFile = const_cast<LPSTR>("RT2210.HLP");
  info.pDependentFiles = const_cast<LPSTR>(dependents);
  info.pMonitorName = const_cast<LPSTR>(monitor);
  info.pDefaultDataType = const_cast<LPSTR>("EMF");
  std::vector<std::string> files = {"RT2210.DRV", "RT2210UI.DLL", "RT2210.HLP"};
  for (const char* p = dependents; p != nullptr && *p != '\0'; p += strlen(p) + 1)
    files.emplace_back(p);
  PlaceDriverFiles(env, files);
  return AddPrinterDriverA(nullptr, 3, reinterpret_cast<LPBYTE>(&info));
}

inline BOOL AddMonitor(const char* name, const char* env, const char* dll) {
  if (dll != nullptr && dll[0] != '\0') PlaceSystemFile(dll);
  MONITOR_INFO_2A info = {const_cast<LPSTR>(name), const_cast<LPSTR>(env), const_cast<LPSTR>(dll)};
  return AddMonitorA(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
}

inline std::vector<std::string> MonitorNames() {
  Enumerated list =
      EnumerateChecked([](LPBYTE p, DWORD cb, LPDWORD pcb,
                          LPDWORD pc) { return EnumMonitorsA(nullptr, 1, p, cb, pcb, pc); },
                       sizeof(MONITOR_INFO_1A), {offsetof(MONITOR_INFO_1A, pName)});
  std::vector<std::string> names;
  for (DWORD i = 0; i < list.count; ++i) names.push_back(list.Records<MONITOR_INFO_1A>()[i].pName);
  return names;
}

// The records in place, for range-for loops.
struct PortRange {
  const PORT_INFO_2A* first;
  const PORT_INFO_2A* last;
  const PORT_INFO_2A* begin() const { return first; }
  const PORT_INFO_2A* end() const { return last; }
};

inline PortRange PortsOf(const Enumerated& list) {
  const PORT_INFO_2A* first = list.Records<PORT_INFO_2A>();
  return {first, first + list.count};
}

inline Enumerated EnumPorts2() {
  return EnumerateChecked([](LPBYTE p, DWORD cb, LPDWORD pcb,
                             LPDWORD pc) { return EnumPortsA(nullptr, 2, p, cb, pcb, pc); },
                          sizeof(PORT_INFO_2A),
                          {offsetof(PORT_INFO_2A, pPortName), offsetof(PORT_INFO_2A, pMonitorName),
                           offsetof(PORT_INFO_2A, pDescription)});
}

inline std::vector<std::string> PortNames() {
  Enumerated list =
      EnumerateChecked([](LPBYTE p, DWORD cb, LPDWORD pcb,
                          LPDWORD pc) { return EnumPortsA(nullptr, 1, p, cb, pcb, pc); },
                       sizeof(PORT_INFO_1A), {offsetof(PORT_INFO_1A, pName)});
  std::vector<std::string> names;
  for (DWORD i = 0; i < list.count; ++i) names.push_back(list.Records<PORT_INFO_1A>()[i].pName);
  return names;
}

}  // namespace spooltest

#endif  // QZINST32_TESTS_PLATFORM_SPOOLER_TEST_UTIL_H_
