// Lists what the spooler holds, as JSON, for the Wine scenarios: the printers,
// drivers, monitors, print processors and ports, each from its Enum* call,
// in the form of qzreg's listings of the emulated machine (--json), so that
// the two can be compared. One array per line, in that order.
#include <stdio.h>
#include <windows.h>
#include <winspool.h>

#include <string>
#include <vector>

namespace {

const char* const kEnvironments[] = {"Windows 4.0", "Windows NT x86"};

std::string Quoted(const char* p) {
  std::string out = "\"";
  for (; p != nullptr && *p != '\0'; ++p) {
    unsigned char ch = static_cast<unsigned char>(*p);
    if (ch == '"' || ch == '\\') {
      out += '\\';
      out += *p;
    } else if (ch < 0x20) {
      char acEscape[8];
      snprintf(acEscape, sizeof acEscape, "\\u%04x", ch);
      out += acEscape;
    } else {
      out += *p;
    }
  }
  return out + "\"";
}

// One enumeration in the usual two calls; false (and an empty buffer) on failure.
template <typename Enum>
bool Enumerate(Enum enumerate, std::vector<BYTE>* buffer, DWORD* count) {
  DWORD cbNeeded = 0;
  *count = 0;
  if (!enumerate(nullptr, 0, &cbNeeded, count) && GetLastError() != ERROR_INSUFFICIENT_BUFFER)
    return false;
  buffer->assign(cbNeeded ? cbNeeded : 1, 0);
  return enumerate(buffer->data(), cbNeeded, &cbNeeded, count) != FALSE;
}

void PrintRows(const std::vector<std::string>& rows) {
  printf("[");
  for (size_t i = 0; i < rows.size(); ++i) printf("%s%s", i ? ", " : "", rows[i].c_str());
  printf("]\n");
}

// The default printer's name, from [windows] device= ("name,driver,port").
std::string DefaultPrinter() {
  char acDevice[512] = "";
  GetProfileStringA("windows", "device", "", acDevice, sizeof acDevice);
  std::string device = acDevice;
  return device.substr(0, device.find(','));
}

void Printers() {
  const std::string defaultName = DefaultPrinter();
  std::vector<BYTE> buffer;
  DWORD count = 0;
  std::vector<std::string> rows;
  if (Enumerate(
          [](BYTE* p, DWORD cb, DWORD* needed, DWORD* n) {
            return EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 2, p, cb, needed, n);
          },
          &buffer, &count)) {
    const PRINTER_INFO_2A* pInfo = reinterpret_cast<const PRINTER_INFO_2A*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
      rows.push_back(
          "{\"name\": " + Quoted(pInfo[i].pPrinterName) + ", \"driver\": " +
          Quoted(pInfo[i].pDriverName) + ", \"port\": " + Quoted(pInfo[i].pPortName) +
          ", \"print_processor\": " + Quoted(pInfo[i].pPrintProcessor) +
          ", \"datatype\": " + Quoted(pInfo[i].pDatatype) +
          ", \"attributes\": " + std::to_string(pInfo[i].Attributes) + ", \"default\": " +
          (lstrcmpiA(pInfo[i].pPrinterName, defaultName.c_str()) == 0 ? "true" : "false") + "}");
    }
  }
  PrintRows(rows);
}

void Drivers() {
  std::vector<std::string> rows;
  for (const char* env : kEnvironments) {
    std::vector<BYTE> buffer;
    DWORD count = 0;
    if (!Enumerate(
            [env](BYTE* p, DWORD cb, DWORD* needed, DWORD* n) {
              return EnumPrinterDriversA(nullptr, const_cast<LPSTR>(env), 3, p, cb, needed, n);
            },
            &buffer, &count))
      continue;
    const DRIVER_INFO_3A* pInfo = reinterpret_cast<const DRIVER_INFO_3A*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
      const DRIVER_INFO_3A& d = pInfo[i];
      rows.push_back(
          "{\"name\": " + Quoted(d.pName) + ", \"environment\": " + Quoted(d.pEnvironment) +
          ", \"version\": " + std::to_string(d.cVersion) + ", \"driver_file\": " +
          Quoted(d.pDriverPath) + ", \"data_file\": " + Quoted(d.pDataFile) +
          ", \"config_file\": " + Quoted(d.pConfigFile) +
          ", \"help_file\": " + Quoted(d.pHelpFile) + ", \"monitor\": " + Quoted(d.pMonitorName) +
          ", \"default_datatype\": " + Quoted(d.pDefaultDataType) + "}");
    }
  }
  PrintRows(rows);
}

void Monitors() {
  std::vector<BYTE> buffer;
  DWORD count = 0;
  std::vector<std::string> rows;
  if (Enumerate([](BYTE* p, DWORD cb, DWORD* needed,
                   DWORD* n) { return EnumMonitorsA(nullptr, 2, p, cb, needed, n); },
                &buffer, &count)) {
    const MONITOR_INFO_2A* pInfo = reinterpret_cast<const MONITOR_INFO_2A*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
      rows.push_back("{\"name\": " + Quoted(pInfo[i].pName) +
                     ", \"environment\": " + Quoted(pInfo[i].pEnvironment) +
                     ", \"dll\": " + Quoted(pInfo[i].pDLLName) + "}");
    }
  }
  PrintRows(rows);
}

void Processors() {
  std::vector<std::string> rows;
  for (const char* env : kEnvironments) {
    std::vector<BYTE> buffer;
    DWORD count = 0;
    if (!Enumerate(
            [env](BYTE* p, DWORD cb, DWORD* needed, DWORD* n) {
              return EnumPrintProcessorsA(nullptr, const_cast<LPSTR>(env), 1, p, cb, needed, n);
            },
            &buffer, &count))
      continue;
    const PRINTPROCESSOR_INFO_1A* pInfo =
        reinterpret_cast<const PRINTPROCESSOR_INFO_1A*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
      // The level-1 record has no DLL name; the lister of the emulated machine
      // reads it from the registry, so it is left out of the comparison.
      rows.push_back("{\"name\": " + Quoted(pInfo[i].pName) + ", \"environment\": " + Quoted(env) +
                     "}");
    }
  }
  PrintRows(rows);
}

void Ports() {
  std::vector<BYTE> buffer;
  DWORD count = 0;
  std::vector<std::string> rows;
  if (Enumerate([](BYTE* p, DWORD cb, DWORD* needed,
                   DWORD* n) { return EnumPortsA(nullptr, 2, p, cb, needed, n); },
                &buffer, &count)) {
    const PORT_INFO_2A* pInfo = reinterpret_cast<const PORT_INFO_2A*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
      rows.push_back("{\"name\": " + Quoted(pInfo[i].pPortName) +
                     ", \"monitor\": " + Quoted(pInfo[i].pMonitorName) +
                     ", \"description\": " + Quoted(pInfo[i].pDescription) +
                     ", \"type\": " + std::to_string(pInfo[i].fPortType) + "}");
    }
  }
  PrintRows(rows);
}

}  // namespace

int main() {
  Printers();
  Drivers();
  Monitors();
  Processors();
  Ports();
  return fflush(stdout) == 0 ? 0 : 1;
}
