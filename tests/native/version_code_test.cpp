#include "version/version_code.h"

#include <gtest/gtest.h>

#include <cstring>

namespace wtsscope {
namespace {

struct Case {
    std::uint32_t platform;
    std::uint32_t major;
    std::uint32_t minor;
    std::uint8_t productType;
    std::uint16_t suiteMask;
    const char* servicePack;
    std::int32_t code;
};

VersionRecord Record(const Case& c) {
    VersionRecord record{};
    record.dwOSVersionInfoSize = sizeof(VersionRecord);
    record.dwPlatformId = c.platform;
    record.dwMajorVersion = c.major;
    record.dwMinorVersion = c.minor;
    record.wProductType = c.productType;
    record.wSuiteMask = c.suiteMask;
    std::memcpy(record.szCSDVersion, c.servicePack, std::strlen(c.servicePack) + 1);
    return record;
}

class ClassifyVersionTable : public ::testing::TestWithParam<Case> {};

TEST_P(ClassifyVersionTable, GivesTheTablesCode) {
    EXPECT_EQ(ClassifyVersion(Record(GetParam())), GetParam().code);
}

INSTANTIATE_TEST_SUITE_P(
    EveryRow, ClassifyVersionTable,
    ::testing::Values(
        // Win32s, whatever else the record holds.
        Case{0, 0, 0, 0, 0, "", 1}, Case{0, 6, 1, 3, 0xFFFF, "C", 1},
        // The Windows 95 family.
        Case{1, 4, 0, 0, 0, "", 2}, Case{1, 4, 10, 0, 0, "", 5}, Case{1, 4, 90, 0, 0, "", 7},
        Case{1, 4, 3, 0, 0, "", 0}, Case{1, 5, 0, 0, 0, "", 0}, Case{1, 3, 10, 0, 0, "", 0},
        // NT 4 and 5.0 with its product and suite tests.
        Case{2, 4, 0, 1, 0, "", 8}, Case{2, 4, 99, 3, 0, "", 8}, Case{2, 5, 0, 3, 2, "", 10},
        Case{2, 5, 0, 3, 0, "", 10}, Case{2, 5, 0, 2, 2, "", 11}, Case{2, 5, 0, 2, 0, "", 9},
        Case{2, 5, 0, 1, 2, "", 9}, Case{2, 5, 0, 2, 0x0102, "", 11},
        Case{2, 5, 0, 2, 0x0200, "", 9},
        // 5.1, 5.2 and unknown minors.
        Case{2, 5, 1, 3, 0, "", 12}, Case{2, 5, 2, 1, 0, "", 13}, Case{2, 5, 3, 1, 0, "", 0},
        // 6.x: only 6.1 and 6.2 ask whether it is a server.
        Case{2, 6, 0, 3, 0, "", 14}, Case{2, 6, 0, 1, 0, "", 14}, Case{2, 6, 1, 1, 0, "", 15},
        Case{2, 6, 1, 2, 0, "", 15}, Case{2, 6, 1, 3, 0, "", 16}, Case{2, 6, 2, 1, 0, "", 17},
        Case{2, 6, 2, 3, 0, "", 18}, Case{2, 6, 3, 1, 0, "", 0},
        // 7 shares 6.2's workstation code; anything above or below NT 4 is unknown.
        Case{2, 7, 0, 3, 0, "", 17}, Case{2, 8, 0, 1, 0, "", 0}, Case{2, 10, 0, 1, 0, "", 0},
        Case{2, 3, 51, 1, 0, "", 0},
        // Platforms beyond NT, and values that are negative as signed 32-bit numbers.
        Case{3, 6, 1, 1, 0, "", 0}, Case{0xFFFFFFFF, 6, 1, 1, 0, "", 0},
        Case{2, 0xFFFFFFFF, 1, 1, 0, "", 0}));

INSTANTIATE_TEST_SUITE_P(
    ServicePackLetters, ClassifyVersionTable,
    ::testing::Values(Case{1, 4, 0, 0, 0, "C", 4}, Case{1, 4, 0, 0, 0, "B", 3},
                      Case{1, 4, 0, 0, 0, " C ", 4}, Case{1, 4, 0, 0, 0, " B", 3},
                      Case{1, 4, 10, 0, 0, " A ", 6}, Case{1, 4, 10, 0, 0, "A", 6},
                      // Anything other than exactly the one letter leaves the table's code.
                      Case{1, 4, 0, 0, 0, "A", 2}, Case{1, 4, 10, 0, 0, "B", 5},
                      Case{1, 4, 0, 0, 0, "c", 2}, Case{1, 4, 0, 0, 0, "CB", 2},
                      Case{1, 4, 0, 0, 0, "Service Pack C", 2}, Case{1, 4, 90, 0, 0, "A", 7},
                      Case{2, 5, 0, 1, 0, "C", 9}));

TEST(ClassifyVersion, ServicePackFieldWithoutTerminatorIsReadOnlyToItsEnd) {
    VersionRecord record = Record({1, 4, 0, 0, 0, "", 0});
    std::memset(record.szCSDVersion, 'C', sizeof(record.szCSDVersion));
    record.wServicePackMajor = 0;
    EXPECT_EQ(ClassifyVersion(record), 2);
    std::memset(record.szCSDVersion, ' ', sizeof(record.szCSDVersion));
    record.szCSDVersion[64] = 'C';
    EXPECT_EQ(ClassifyVersion(record), 4);
}

TEST(ClassifyVersion, AllZeroRecordIsWin32s) { EXPECT_EQ(ClassifyVersion(VersionRecord{}), 1); }

}  // namespace
}  // namespace wtsscope
