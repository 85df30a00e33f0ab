// The spooler objects behind the registry differences of two machines (qzreg diff).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/host/report/changes.h"

namespace {

using qzhost::ChangeAction;

TEST(SpoolerChangesTest, ObjectsFromTheirKeys) {
  const std::string print = "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Print\\";
  std::vector<qzhost::RegKeyChange> registry = {
      {ChangeAction::kAdded, print + "Environments\\Windows NT x86\\Drivers\\Version-3\\Drv", {}},
      {ChangeAction::kAdded,
       print + "Environments\\Windows NT x86\\Drivers\\Version-3\\Drv\\Sub",
       {}},
      {ChangeAction::kChanged, print + "Printers\\P", {}},
      {ChangeAction::kRemoved, print + "Monitors\\Mon", {}},
      {ChangeAction::kAdded, print + "Monitors\\Local Port\\Ports\\HRT1:", {}},
      {ChangeAction::kAdded, print + "Environments\\Windows NT x86\\Print Processors\\Proc", {}},
  };
  qzhost::RegKeyChange ports{
      ChangeAction::kChanged,
      "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Ports",
      {{ChangeAction::kAdded, {}, {"NET1:", REG_SZ, std::string("\0", 1)}}}};
  registry.push_back(ports);
  std::vector<qzhost::SpoolerChange> objects = qzhost::SpoolerChanges(registry, {}, true);
  ASSERT_EQ(objects.size(), 6u);
  EXPECT_EQ(objects[0].object, "driver");
  EXPECT_EQ(objects[0].name, "Drv");
  EXPECT_EQ(objects[0].environment, "Windows NT x86");
  EXPECT_EQ(objects[0].action, ChangeAction::kAdded);  // its subkey does not make it "changed"
  EXPECT_EQ(objects[1].object, "printer");
  EXPECT_EQ(objects[1].action, ChangeAction::kChanged);
  EXPECT_EQ(objects[2].object, "monitor");
  EXPECT_EQ(objects[2].action, ChangeAction::kRemoved);
  EXPECT_EQ(objects[3].object, "port");
  EXPECT_EQ(objects[3].name, "HRT1:");
  EXPECT_EQ(objects[4].object, "print processor");
  EXPECT_EQ(objects[5].name, "NET1:");
}

// On code page 932 a trail byte 0x5C belongs to its character, not to the path.
TEST(SpoolerChangesTest, DoubleByteNamesStayWhole) {
  const std::string ports =
      "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Print\\Ports\\";
  std::vector<qzhost::RegKeyChange> registry = {
      {ChangeAction::kAdded, ports + "\x82\xA0\x95\x5C:", {}}};
  std::vector<qzhost::SpoolerChange> objects = qzhost::SpoolerChanges(registry, {}, false, 932);
  ASSERT_EQ(objects.size(), 1u);
  EXPECT_EQ(objects[0].object, "port");
  EXPECT_EQ(objects[0].name, "\x82\xA0\x95\x5C:");
}

}  // namespace
