// Where the emulated spooler keeps its objects in the registry.
//
// This is a contract: the spooler writes exactly these keys and values, and
// tools (qzreg listings) or seeds may read and write them directly. Every key
// is below HKEY_LOCAL_MACHINE. The layout is the one Windows uses:
//
//   System\CurrentControlSet\Control\Print
//     Printers\<printer>                      printer values (kPrinter*)
//     Environments\<env>                      "Windows 4.0", "Windows NT x86"
//       Drivers\Version-<n>\<driver>          NT: n = 0 ("Windows 4.0"), 3 (NT x86)
//       Drivers\<driver>                      9x: no Version level
//       Print Processors\<processor>          value Driver = DLL file name
//     Monitors\<monitor>                      value Driver = DLL file name
//       Ports\<port>                          (optional) ports this monitor serves
//     Ports\<port>                            9x: ports besides WIN.INI [Ports]
//   Software\Microsoft\Windows NT\CurrentVersion\Ports
//                                             NT: one REG_SZ value per port
//
// Names are compared without regard to case, as the registry does. A monitor
// that an installed driver names in its "Monitor" value is a language monitor.
#ifndef QZINST32_PLATFORM_HOST_SPOOLER_LAYOUT_H_
#define QZINST32_PLATFORM_HOST_SPOOLER_LAYOUT_H_

#include <string>

namespace qzhost {
namespace spool {

constexpr char kPrintKey[] = "System\\CurrentControlSet\\Control\\Print";
constexpr char kPrintersKey[] = "System\\CurrentControlSet\\Control\\Print\\Printers";
constexpr char kEnvironmentsKey[] = "System\\CurrentControlSet\\Control\\Print\\Environments";
constexpr char kMonitorsKey[] = "System\\CurrentControlSet\\Control\\Print\\Monitors";
constexpr char kPrintPortsKey[] = "System\\CurrentControlSet\\Control\\Print\\Ports";
constexpr char kNtPortsKey[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Ports";

// Subkeys of an environment and of a monitor.
constexpr char kDriversSubkey[] = "Drivers";
constexpr char kPrintProcessorsSubkey[] = "Print Processors";
constexpr char kMonitorPortsSubkey[] = "Ports";
constexpr char kVersionPrefix[] = "Version-";

// Environment names, as stored (the key names under Environments).
constexpr char kEnvWin40[] = "Windows 4.0";
constexpr char kEnvNtX86[] = "Windows NT x86";

// Printer values (REG_SZ unless marked).
constexpr char kPrinterName[] = "Name";
constexpr char kPrinterShareName[] = "Share Name";
constexpr char kPrinterPort[] = "Port";
constexpr char kPrinterDriver[] = "Printer Driver";
constexpr char kPrinterDescription[] = "Description";
constexpr char kPrinterLocation[] = "Location";
constexpr char kPrinterSepFile[] = "Separator File";
constexpr char kPrinterPrintProcessor[] = "Print Processor";
constexpr char kPrinterDatatype[] = "Datatype";
constexpr char kPrinterParameters[] = "Parameters";
constexpr char kPrinterAttributes[] = "Attributes";             // REG_DWORD
constexpr char kPrinterPriority[] = "Priority";                 // REG_DWORD
constexpr char kPrinterDefaultPriority[] = "Default Priority";  // REG_DWORD
constexpr char kPrinterStartTime[] = "StartTime";               // REG_DWORD
constexpr char kPrinterUntilTime[] = "UntilTime";               // REG_DWORD
constexpr char kPrinterStatus[] = "Status";                     // REG_DWORD
constexpr char kPrinterDevMode[] = "Default DevMode";           // REG_BINARY

// Driver values: file names as the caller gave them (REG_SZ unless marked).
constexpr char kDriverFile[] = "Driver";
constexpr char kDriverDataFile[] = "Data File";
constexpr char kDriverConfigFile[] = "Configuration File";
constexpr char kDriverHelpFile[] = "Help File";
constexpr char kDriverMonitor[] = "Monitor";
constexpr char kDriverDatatype[] = "Datatype";
constexpr char kDriverDependentFiles[] = "Dependent Files";  // REG_MULTI_SZ
constexpr char kDriverPreviousNames[] = "Previous Names";    // REG_MULTI_SZ
constexpr char kDriverVersion[] = "Version";                 // REG_DWORD

// Print processors and monitors: the DLL file name.
constexpr char kComponentDriver[] = "Driver";

// The built-in port monitor and print processor of a fresh machine.
constexpr char kLocalPortMonitor[] = "Local Port";
constexpr char kWinPrint[] = "WinPrint";

// NT's driver version level of an environment: 0 for "Windows 4.0", 3 for
// "Windows NT x86" (user-mode drivers, as 2000/XP install them).
inline int NtDriverVersion(const std::string& env) { return env == kEnvWin40 ? 0 : 3; }

inline std::string EnvironmentKey(const std::string& env) {
  return std::string(kEnvironmentsKey) + "\\" + env;
}

// The key whose subkeys are the drivers of `env` (canonical name).
inline std::string DriversKey(const std::string& env, bool nt) {
  std::string key = EnvironmentKey(env) + "\\" + kDriversSubkey;
  if (nt) key += "\\" + std::string(kVersionPrefix) + std::to_string(NtDriverVersion(env));
  return key;
}

inline std::string PrintProcessorsKey(const std::string& env) {
  return EnvironmentKey(env) + "\\" + kPrintProcessorsSubkey;
}

inline std::string PrinterKey(const std::string& name) {
  return std::string(kPrintersKey) + "\\" + name;
}

inline std::string MonitorKey(const std::string& name) {
  return std::string(kMonitorsKey) + "\\" + name;
}

}  // namespace spool
}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_SPOOLER_LAYOUT_H_
