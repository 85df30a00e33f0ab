// The language and port monitors of command 2: reading, installed tests, answers.
#include <memory>

#include "inst32/context.h"
#include "inst32/langmonitor.h"
#include "inst32/portmonitor.h"
#include "inst32/printer.h"
#include "tests/support/printer_object_test.h"

namespace {

const char kStrings[] = "[Strings]\r\nHLM=Halden Language Monitor\r\nHPM=Halden Port Monitor\r\n";

class MonitorTest : public PrinterObjectTest {
 protected:
  void SetUp() override {
    PrinterObjectTest::SetUp();
    for (const char* dll : {"hlmon.dll", "hpmon.dll", "lm.dll", "pm.dll"})
      qztest::PlaceFile(std::string(qzhost::SystemDirectory()) + "\\" + dll);
  }
  std::string StringsSection() const override { return kStrings; }
  static bool MonitorListed(const char* name) {
    DWORD cbNeeded = 0, cReturned = 0;
    EnumMonitorsA(nullptr, 1, nullptr, 0, &cbNeeded, &cReturned);
    std::vector<BYTE> buffer(cbNeeded + 1);
    if (!EnumMonitorsA(nullptr, 1, buffer.data(), cbNeeded, &cbNeeded, &cReturned)) return false;
    auto* entries = reinterpret_cast<MONITOR_INFO_1A*>(buffer.data());
    for (DWORD i = 0; i < cReturned; ++i) {
      if (strcmp(entries[i].pName, name) == 0) return true;
    }
    return false;
  }
  static std::string MonitorDriver(const char* name) {
    std::string path = std::string("System\\CurrentControlSet\\Control\\Print\\Monitors\\") + name;
    HKEY hKey = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &hKey) != 0) return "";
    char acValue[64] = "";
    DWORD cb = sizeof acValue;
    RegQueryValueExA(hKey, "Driver", nullptr, nullptr, reinterpret_cast<LPBYTE>(acValue), &cb);
    RegCloseKey(hKey);
    return acValue;
  }
};

using MonitorNTTest = OnWindowsNT<MonitorTest>;

TEST(MonitorNullTest, WithoutAPrinterBothAreEmptyAndInvalid) {
  COrlLangMonitor lang(nullptr);
  COrlPortMonitor port(nullptr);
  EXPECT_EQ(lang.GetName(), nullptr);
  EXPECT_EQ(lang.GetFile(), nullptr);
  EXPECT_FALSE(lang.IsValid());
  EXPECT_FALSE(lang.Install());
  EXPECT_EQ(port.GetName(), nullptr);
  EXPECT_EQ(port.GetFile(), nullptr);
  EXPECT_FALSE(port.IsValid());
  EXPECT_FALSE(port.Install());
}

TEST_F(MonitorTest, NoKeyOrEmptyValueIsValidWithNothingToInstall) {
  for (const char* lines : {"device=X\r\n", "LanguageMonitor=\r\nPortMonitor=\r\n"}) {
    COrlPrinter* printer = Printer(lines);
    COrlLangMonitor lang(printer);
    COrlPortMonitor port(printer);
    EXPECT_TRUE(lang.IsValid() && port.IsValid()) << lines;
    EXPECT_EQ(lang.GetName(), nullptr);
    EXPECT_EQ(port.GetFile(), nullptr);
    Trace();
    qzhost::FailCall("EnumMonitorsA", ERROR_ACCESS_DENIED);  // none may be reached
    qzhost::FailCall("EnumPortsA", ERROR_ACCESS_DENIED);
    qzhost::FailCall("AddMonitorA", ERROR_ACCESS_DENIED);
    EXPECT_TRUE(lang.Install());
    EXPECT_TRUE(port.Install());
    EXPECT_EQ(Trace(), "");
    qzhost::ClearFailures();
  }
}

TEST_F(MonitorTest, ValuesWithoutNameOrFileOrWithBrokenPlaceholdersAreInvalid) {
  for (const char* value :
       {"hlmon.dll", "HLM,", ",hlmon.dll", "%NOPE%,hlmon.dll", "%HLM,x.dll", "%%,x.dll"}) {
    COrlPrinter* printer =
        Printer(std::string("LanguageMonitor=") + value + "\r\nPortMonitor=" + value + "\r\n");
    COrlLangMonitor lang(printer);
    EXPECT_NE(Trace().find("Failed GetDelimitedPrinterObject()\n"), std::string::npos) << value;
    COrlPortMonitor port(printer);
    EXPECT_EQ(Trace().find("Failed GetDelimitedPrinterObject()"), std::string::npos) << value;
    EXPECT_FALSE(lang.IsValid() || port.IsValid()) << value;
    EXPECT_FALSE(lang.Install() || port.Install()) << value;
  }
}

TEST_F(MonitorTest, PlaceholdersResolveAndDelimitedValuesAreCutAt31) {
  COrlPrinter* printer = Printer(
      "LanguageMonitor= %HLM% , hlmon.dll ; bidi\r\n"
      "PortMonitor=Port Monitor Name Of 25 C,hpmon.dll\r\n");
  COrlLangMonitor lang(printer);
  EXPECT_STREQ(*lang.GetName(), "Halden Language Monitor");
  EXPECT_STREQ(*lang.GetFile(), "hlmon.dll");
  COrlPortMonitor port(printer);
  EXPECT_STREQ(*port.GetName(), "Port Monitor Name Of 25 C");
  EXPECT_STREQ(*port.GetFile(), "hpmon");  // 31 characters of the value were read
}

TEST_F(MonitorTest, FreshInstallThenTheSecondRunFindsBoth) {
  COrlPrinter* printer =
      Printer("LanguageMonitor=%HLM%,hlmon.dll\r\nPortMonitor=%HPM%,hpmon.dll\r\n");
  {
    COrlPortMonitor port(printer);
    COrlLangMonitor lang(printer);
    Trace();
    EXPECT_TRUE(port.Install());
    EXPECT_TRUE(lang.Install());
  }
  EXPECT_EQ(Trace(),
            "Halden Port Monitor ON  Installed == 0\n"
            "AddMonitor() Succeed!\n"
            "Halden Language Monitor Installed == 0\n"
            "AddMonitor() Succeed!\n"
            "~COrlLangMonitor()\n"
            "~COrlPortMonitor()\n");
  EXPECT_EQ(MonitorDriver("Halden Language Monitor"), "hlmon.dll");
  EXPECT_EQ(MonitorDriver("Halden Port Monitor"), "hpmon.dll");
  EXPECT_TRUE(MonitorListed("Halden Language Monitor"));

  // Windows 9x: the language monitor is listed; the port monitor answers 183.
  COrlLangMonitor lang(printer);
  COrlPortMonitor port(printer);
  Trace();
  EXPECT_TRUE(lang.Install());
  EXPECT_TRUE(port.Install());
  EXPECT_EQ(Trace(),
            "Halden Language Monitor Installed == 1\n"
            "Halden Port Monitor ON  Installed == 0\n"
            "AddMonitor() Succeed!\n");
}

TEST_F(MonitorTest, BothAcceptEitherAlreadyInstalledAnswerAndNoOther) {
  COrlPrinter* printer = Printer("LanguageMonitor=LM,lm.dll\r\nPortMonitor=PM,pm.dll\r\n");
  COrlLangMonitor lang(printer);
  COrlPortMonitor port(printer);
  for (DWORD err : {ERROR_ALREADY_EXISTS, ERROR_PRINT_MONITOR_ALREADY_INSTALLED}) {
    qzhost::FailCall("AddMonitorA", err, 2);
    EXPECT_TRUE(lang.Install()) << err;
    EXPECT_TRUE(port.Install()) << err;
  }
  Trace();
  qzhost::FailCall("AddMonitorA", ERROR_MOD_NOT_FOUND, 2);
  EXPECT_FALSE(lang.Install());
  EXPECT_FALSE(port.Install());
  std::string trace = Trace();
  EXPECT_NE(trace.find("LM Installed == 0\nAddMonitor() Failed! ERROR=126 <0x0000007E>\n"),
            std::string::npos);
  EXPECT_NE(trace.find("PM ON  Installed == 0\nAddMonitor() Failed! ERROR=126 <0x0000007E>\n"),
            std::string::npos);
}

TEST_F(MonitorTest, FailedEnumerationsFallBackToAddMonitor) {
  COrlPrinter* printer = Printer("LanguageMonitor=LM,lm.dll\r\nPortMonitor=PM,pm.dll\r\n");
  COrlLangMonitor lang(printer);
  COrlPortMonitor port(printer);
  Trace();
  qzhost::FailCall("EnumMonitorsA", ERROR_ACCESS_DENIED, 1, 1);  // the second call fails
  qzhost::FailCall("EnumPortsA", ERROR_ACCESS_DENIED, 1, 1);
  EXPECT_TRUE(lang.Install());
  EXPECT_TRUE(port.Install());
  EXPECT_EQ(Trace(),
            "FAILED EnumMonitors()!AddMonitor() Succeed!\n"
            "EnumPorts() FAILED: 5\n"
            "PM ON  Installed == 0\n"
            "AddMonitor() Succeed!\n");
}

TEST_F(MonitorTest, BufferAllocationFailuresFallBackToAddMonitor) {
  COrlPrinter* printer = Printer("LanguageMonitor=LM,lm.dll\r\nPortMonitor=PM,pm.dll\r\n");
  COrlLangMonitor lang(printer);
  COrlPortMonitor port(printer);
  Trace();
  qzhost::FailAllocation();
  EXPECT_TRUE(lang.Install());
  qzhost::FailAllocation();
  EXPECT_TRUE(port.Install());
  EXPECT_EQ(Trace(),
            "COrlLangMonitor::IsInstalled() Memory failure!\n"
            "AddMonitor() Succeed!\n"
            "COrlPortMonitor::IsInstalled() Memory failure!\n"
            "AddMonitor() Succeed!\n");
}

TEST_F(MonitorTest, Win9xLooksOnNoPortAndAddsTheMonitor) {
  // LPT1: is the printer's port and Local Port serves it, but the object
  // looks on no port: it adds the monitor and takes 183 as installed.
  COrlPortMonitor local(Printer("PortMonitor=Local Port,localmon.dll\r\n"));
  Trace();
  EXPECT_FALSE(local.IsInstalled(nullptr));
  EXPECT_TRUE(local.Install());
  EXPECT_EQ(Trace(),
            "Local Port ON  Installed == 0\n"
            "Local Port ON  Installed == 0\n"
            "AddMonitor() Succeed!\n");
  EXPECT_EQ(MonitorDriver("Local Port"), "SPOOLSS.DLL");  // answered 183, left alone
}

TEST_F(MonitorNTTest, NTAddsTheMonitorThoughThePrintersPortIsListed) {
  COrlPortMonitor port(Printer("PortMonitor=%HPM%,hrtpmon.dll\r\n"));
  Trace();
  EXPECT_TRUE(port.Install());
  EXPECT_EQ(Trace(), "Halden Port Monitor ON  Installed == 0\nAddMonitor() Succeed!\n");
  EXPECT_EQ(MonitorDriver("Halden Port Monitor"), "hrtpmon.dll");
  // Added again: NT answers 3006, which counts as installed.
  COrlPortMonitor again(printer_.get());
  Trace();
  EXPECT_TRUE(again.Install());
  EXPECT_EQ(Trace(), "Halden Port Monitor ON  Installed == 0\nAddMonitor() Succeed!\n");
}

}  // namespace
