// Packing of enumeration records: Windows' layout and answers, without a machine.
#include "platform/host/spooler/spooler_buffer.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <vector>

namespace {

using qzhost::spool::EnumRecords;

EnumRecords TwoPorts() {
  EnumRecords records(sizeof(PORT_INFO_2A));
  for (const char* name : {"LPT1:", "NETPRN1:"}) {
    records.NewRecord();
    records.SetString(offsetof(PORT_INFO_2A, pPortName), name);
    records.SetString(offsetof(PORT_INFO_2A, pMonitorName), "Local Port");
    records.SetString(offsetof(PORT_INFO_2A, pDescription), "");
    records.SetDword(offsetof(PORT_INFO_2A, fPortType), PORT_TYPE_WRITE);
  }
  return records;
}

TEST(SpoolerBufferTest, SizeIsTheArrayPlusEveryStringWithItsTerminator) {
  EnumRecords records = TwoPorts();
  EXPECT_EQ(2 * sizeof(PORT_INFO_2A) + (6 + 11 + 1) + (9 + 11 + 1), records.BytesNeeded());
}

TEST(SpoolerBufferTest, RecordsComeFirstAndPointIntoTheStringsAfterThem) {
  EnumRecords records = TwoPorts();
  const DWORD cbNeeded = static_cast<DWORD>(records.BytesNeeded());
  std::vector<BYTE> buffer(cbNeeded + 16, 0xCC);
  DWORD cbReported = 0;
  DWORD cReturned = 0;
  ASSERT_TRUE(
      records.Deliver(buffer.data(), static_cast<DWORD>(buffer.size()), &cbReported, &cReturned));
  EXPECT_EQ(cbNeeded, cbReported);
  ASSERT_EQ(2u, cReturned);
  const PORT_INFO_2A* pPorts = reinterpret_cast<const PORT_INFO_2A*>(buffer.data());
  const char* pStrings = reinterpret_cast<const char*>(buffer.data() + 2 * sizeof(PORT_INFO_2A));
  const char* pEnd = reinterpret_cast<const char*>(buffer.data() + cbNeeded);
  for (DWORD i = 0; i < 2; ++i) {
    for (const char* p : {pPorts[i].pPortName, pPorts[i].pMonitorName, pPorts[i].pDescription}) {
      EXPECT_TRUE(p >= pStrings && p < pEnd);
    }
    EXPECT_EQ(static_cast<DWORD>(PORT_TYPE_WRITE), pPorts[i].fPortType);
    EXPECT_EQ(0u, pPorts[i].Reserved) << "fields not set are zero";
  }
  EXPECT_STREQ("LPT1:", pPorts[0].pPortName);
  EXPECT_STREQ("NETPRN1:", pPorts[1].pPortName);
  EXPECT_STREQ("", pPorts[1].pDescription);
  EXPECT_EQ(0xCC, buffer[cbNeeded]) << "nothing is written past the packed data";
}

TEST(SpoolerBufferTest, ShortOrMissingBuffersAreRefusedWithTheSize) {
  EnumRecords records = TwoPorts();
  const DWORD cbNeeded = static_cast<DWORD>(records.BytesNeeded());
  std::vector<BYTE> buffer(cbNeeded, 0xCC);
  DWORD cbReported = 0;
  DWORD cReturned = 7;
  EXPECT_FALSE(records.Deliver(buffer.data(), cbNeeded - 1, &cbReported, &cReturned));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
  EXPECT_EQ(cbNeeded, cbReported);
  EXPECT_EQ(0u, cReturned);
  EXPECT_EQ(std::vector<BYTE>(cbNeeded, 0xCC), buffer) << "a refused buffer stays untouched";

  EXPECT_FALSE(records.Deliver(nullptr, 0, &cbReported, &cReturned));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
  EXPECT_FALSE(records.Deliver(nullptr, cbNeeded, &cbReported, &cReturned));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_USER_BUFFER), GetLastError());
}

TEST(SpoolerBufferTest, NothingToListSucceedsWithZeroes) {
  EnumRecords records(sizeof(PORT_INFO_1A));
  DWORD cbReported = 99;
  DWORD cReturned = 99;
  SetLastError(0x42);
  EXPECT_TRUE(records.Deliver(nullptr, 0, &cbReported, &cReturned));
  EXPECT_EQ(0u, cbReported);
  EXPECT_EQ(0u, cReturned);
  EXPECT_EQ(0x42u, GetLastError());
}

TEST(SpoolerBufferTest, MultiStringsEndInTwoNuls) {
  EnumRecords records(sizeof(DRIVER_INFO_3A));
  records.NewRecord();
  records.SetMultiString(offsetof(DRIVER_INFO_3A, pDependentFiles), {"A.DLL", "", "B.DLL"});
  records.NewRecord();
  records.SetMultiString(offsetof(DRIVER_INFO_3A, pDependentFiles), {});
  std::vector<BYTE> buffer(records.BytesNeeded());
  DWORD cbReported = 0;
  DWORD cReturned = 0;
  ASSERT_TRUE(
      records.Deliver(buffer.data(), static_cast<DWORD>(buffer.size()), &cbReported, &cReturned));
  const DRIVER_INFO_3A* pDrivers = reinterpret_cast<const DRIVER_INFO_3A*>(buffer.data());
  EXPECT_EQ(0, memcmp("A.DLL\0B.DLL\0", pDrivers[0].pDependentFiles, 13));
  EXPECT_EQ(0, memcmp("\0", pDrivers[1].pDependentFiles, 2));
  EXPECT_EQ(nullptr, pDrivers[0].pName) << "string fields not set stay NULL";
}

TEST(SpoolerBufferTest, MissingCountersAreRefused) {
  DWORD cb = 0;
  EXPECT_TRUE(qzhost::spool::MissingCounters(nullptr, &cb));
  EXPECT_EQ(static_cast<DWORD>(RPC_X_NULL_REF_POINTER), GetLastError());
  EXPECT_TRUE(qzhost::spool::MissingCounters(&cb, nullptr));
  EXPECT_FALSE(qzhost::spool::MissingCounters(&cb, &cb));
}

}  // namespace
