// The trace log: formatting, long lines, record dumps.
#include "inst32/trace.h"

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
