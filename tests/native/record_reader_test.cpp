#include "platform/record_reader.h"
#include "platform/text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

namespace wtsscope {
namespace {

TEST(ReadAnsiText, TrustedTextsRunToTheirTerminator) {
    EXPECT_EQ(ReadAnsiText(nullptr), "");
    EXPECT_EQ(ReadAnsiText(""), "");
    EXPECT_EQ(ReadAnsiText("RDP-Tcp#12"), "RDP-Tcp#12");
    const std::string longName(5000, 'x');
    EXPECT_EQ(ReadAnsiText(longName.c_str()).size(), 5000u);
    const char bytes[] = "caf\xE9\x81\x40";
    EXPECT_EQ(ReadAnsiText(bytes), std::string_view(bytes, 6));
}

TEST(Records, CopiedInThePlatformsOrderAtThisPointerWidth) {
    char services[] = "Services";
    char console[] = "Console";
    SessionRecord block[2]{};
    block[0].pWinStationName = services;
    block[0].State = static_cast<decltype(SessionRecord::State)>(4);
    block[1].SessionId = 1;
    block[1].pWinStationName = console;
    const auto records = CopyRecords<SessionRecord>(block, 2);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1].SessionId, 1u);
    EXPECT_EQ(records[1].pWinStationName, console);
    EXPECT_EQ(records[0].State, 4);
    EXPECT_TRUE(CopyRecords<SessionRecord>(nullptr, 0).empty());

    char name[] = "svchost.exe";
    const ProcessRecord processes[] = {{0, 4, nullptr, nullptr}, {1, 500, name, nullptr}};
    const auto second = RecordAt<ProcessRecord>(processes, 1);
    EXPECT_EQ(second.SessionId, 1u);
    EXPECT_EQ(second.ProcessId, 500u);
    EXPECT_EQ(second.pProcessName, name);
}

TEST(Records, CountsThatCannotFitTheAddressSpaceAreRefused) {
    const auto max = std::numeric_limits<std::size_t>::max();
    int block = 0;
    EXPECT_TRUE(RecordsFitAddressSpace(&block, 0, sizeof(ProcessRecord)));
    EXPECT_TRUE(RecordsFitAddressSpace(&block, 1000, sizeof(ProcessRecord)));
    EXPECT_FALSE(
        RecordsFitAddressSpace(&block, max / sizeof(ProcessRecord) + 1, sizeof(ProcessRecord)));
    // Fits by multiplication but would run past the top of the address space.
    EXPECT_FALSE(
        RecordsFitAddressSpace(&block, max / sizeof(ProcessRecord), sizeof(ProcessRecord)));
    EXPECT_TRUE(
        RecordsFitAddressSpace(nullptr, max / sizeof(SessionRecord), sizeof(SessionRecord)));
}

}  // namespace
}  // namespace wtsscope
