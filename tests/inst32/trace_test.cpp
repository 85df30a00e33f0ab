// The trace log: formatting, long lines, record dumps.
#include "inst32/trace.h"

#include <stdio.h>

#include <string>

#include "tests/support/machine_test.h"

namespace {

class TraceTest : public MachineTest {};

TEST_F(TraceTest, ALineLongerThanTheBufferGoesOutWhole) {
  std::string longText(3000, 'q');
  DbgTrace("start %s end\n", longText.c_str());
  EXPECT_EQ(Trace(), "start " + longText + " end\n");
}

TEST_F(TraceTest, ALineOfExactly511CharactersFits) {
  std::string text(510, 'w');
  DbgTrace("%s\n", text.c_str());
  EXPECT_EQ(Trace(), text + "\n");
}

// Lines of text and %s are put together without the C library's formatter;
// they must read exactly as it would write them, around the buffer's size
// too, and other conversions must still go to it.
TEST_F(TraceTest, LinesReadAsTheCLibraryFormatsThem) {
  const char* const formats[] = {"plain\n",   "%s",         "Here's a port: %s\n",
                                 "<%s|%s>\n", "%s%%s %d\n", "100%% %s\n"};
  for (const char* format : formats) {
    for (size_t size : {size_t{0}, size_t{1}, size_t{498}, size_t{509}, size_t{510}, size_t{511},
                        size_t{512}, size_t{1500}}) {
      const std::string text(size, 'p');
      std::string expected(snprintf(nullptr, 0, format, text.c_str(), "B", 7) + 1, '\0');
      snprintf(&expected[0], expected.size(), format, text.c_str(), "B", 7);
      expected.pop_back();
      DbgTrace(format, text.c_str(), "B", 7);
      EXPECT_EQ(Trace(), expected) << format << " with " << size << " characters";
    }
  }
  const char* volatile pszNull = nullptr;
  DbgTrace("[%s]\n", pszNull);
  EXPECT_EQ(Trace(), "[(null)]\n");
}

TEST_F(TraceTest, DriverDumpHalvesAndNulls) {
  char acName[] = "RT-2210", acDrv[] = "rt2210.drv";
  DRIVER_INFO_3A info = {};
  info.cVersion = 0x400;
  info.pName = acName;
  info.pDriverPath = acDrv;
  DbgDumpDrvInfo3Level2(reinterpret_cast<DRIVER_INFO_2A*>(&info));
  EXPECT_EQ(Trace(),
            "  pDrvInfo->cVersion == 0x0400\n"
            "  pDrvInfo->pName == RT-2210\n"
            "  pDrvInfo->pDriverPath == rt2210.drv\n"
            "  pDrvInfo->pDataFile == (null)\n"
            "  pDrvInfo->pConfigFile == (null)\n");
  DbgDumpDrvInfo3Level3(&info);
  EXPECT_EQ(Trace(),
            "  pDrvInfo->pHelpFile == (null)\n"
            "  pDrvInfo->pDependentFiles == (null)\n"
            "  pDrvInfo->pMonitorName == (null)\n"
            "  pDrvInfo->pDefaultDataType == (null)\n"
            "  pDrvInfo->pEnvironment == (null)\n");
  DbgDumpPrnInfo2(nullptr);
  EXPECT_EQ(Trace(), " [DbgDumpPrnInfo2() not implemented]\n");
}

}  // namespace
