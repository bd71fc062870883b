#include "main_window/session_report.h"

#include <gtest/gtest.h>

#include <limits>

namespace wtsscope {
namespace {

VersionRecord Version(std::uint32_t major, std::uint32_t minor, std::uint32_t build) {
    VersionRecord record{};
    record.dwMajorVersion = major;
    record.dwMinorVersion = minor;
    record.dwBuildNumber = build;
    return record;
}

TEST(SessionReport, OneSessionIsFourLinesAndTheVersion) {
    const auto lines = SessionReportLines({{0, L"Services", 4}}, Version(6, 1, 600));
    const std::vector<std::wstring> expected{L"Session ID: 0", L"Machine Name: Services",
                                             L"Connect State: 4", L"***********",
                                             L"dwMajorVersion: 6.1.600"};
    EXPECT_EQ(lines, expected);
}

TEST(SessionReport, SessionsInOrderThenOneVersionLine) {
    const auto lines = SessionReportLines(
        {{0, L"Services", 4}, {1, L"Console", 0}, {65536, L"RDP-Tcp", 6}, {2, L"", 1}},
        Version(10, 0, 20348));
    ASSERT_EQ(lines.size(), 17u);
    EXPECT_EQ(lines[4], L"Session ID: 1");
    EXPECT_EQ(lines[8], L"Session ID: 65536");
    EXPECT_EQ(lines[10], L"Connect State: 6");
    EXPECT_EQ(lines[13], L"Machine Name: ");
    EXPECT_EQ(lines[16], L"dwMajorVersion: 10.0.20348");
}

TEST(SessionReport, NoSessionsStillGiveTheVersionLine) {
    EXPECT_EQ(SessionReportLines({}, Version(6, 1, 7601)),
              std::vector<std::wstring>{L"dwMajorVersion: 6.1.7601"});
}

TEST(SessionReport, NumbersAreSigned32BitDecimalsWithoutGrouping) {
    EXPECT_EQ(DecimalText(0), L"0");
    EXPECT_EQ(DecimalText(1234567), L"1234567");
    EXPECT_EQ(DecimalText(-1), L"-1");
    EXPECT_EQ(DecimalText(std::numeric_limits<std::int32_t>::min()), L"-2147483648");
    EXPECT_EQ(SessionReportLines({}, Version(0xFFFFFFFF, 0, 2147483648u)).back(),
              L"dwMajorVersion: -1.0.-2147483648");
}

}  // namespace
}  // namespace wtsscope
