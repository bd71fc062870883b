// The session listing as a user sees it: Command1 clicked on the real main window, the report read
// back from List1, with a scripted platform behind it.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "main_window/form1.h"
#include "tests/fakes/fake_platform.h"
#include "tests/windows/window_fixture.h"

namespace wtsscope {
namespace {

using testing::FakeSession;

// What the platform's own conversion makes of ANSI text, to compare against.
std::wstring SystemAnsiToWide(const std::string& text) {
    const int length =
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

class SessionListing : public WindowTest {
  protected:
    // The report of a single session named as given; the fake reports Windows 6.1.7601.
    std::vector<std::wstring> ListOneSessionNamed(std::optional<std::string> name) {
        fake.ScriptSessions({{1, std::move(name), 0}});
        ListSessions();
        return Report();
    }
};

// The report for the one services session the tests script most, on the fake's default version.
std::vector<std::wstring> ServicesReport() {
    return {L"Session ID: 0", L"Machine Name: Services", L"Connect State: 4", L"***********",
            L"dwMajorVersion: 6.1.7601"};
}

// The lines themselves are the report's own (tested on the host); here, that a click lists what the
// platform reports, in its order, and gives the buffer back.
TEST_F(SessionListing, AClickListsEverySessionInThePlatformsOrderThenTheVersion) {
    OpenMain();
    EXPECT_TRUE(Report().empty());
    fake.ScriptSessions({{0, "Services", 4}, {1, "Console", 0}, {65536, "RDP-Tcp", 6}});
    ListSessions();
    EXPECT_EQ(Report(),
              SessionReportLines({{0, L"Services", 4}, {1, L"Console", 0}, {65536, L"RDP-Tcp", 6}},
                                 fake.version));
    EXPECT_EQ(Report().back(), L"dwMajorVersion: 6.1.7601");
    EXPECT_EQ(fake.sessionEnumerations, 1);
    EXPECT_EQ(fake.BuffersReleased(), 1);
    EXPECT_TRUE(fake.messageBoxes.empty());
}

TEST_F(SessionListing, EveryClickRebuildsOneReportWithTheStartupVersion) {
    OpenMain();
    const int queriesAtStartup = fake.versionQueries;
    fake.ScriptSessions({{0, "Services", 4}, {1, "Console", 0}});
    ListSessions();
    const std::vector<std::wstring> first = Report();
    ASSERT_EQ(first.size(), 9u);
    EXPECT_EQ(first.back(), L"dwMajorVersion: 6.1.7601");

    // The platform now answers differently; the listing keeps the record read at start-up.
    fake.version.dwMajorVersion = 10;
    fake.version.dwMinorVersion = 0;
    fake.version.dwBuildNumber = 19045;
    ListSessions();
    EXPECT_EQ(Report(), first);
    EXPECT_EQ(fake.versionQueries, queriesAtStartup);

    // A smaller listing replaces the larger one entirely.
    fake.ScriptSessions({{0, "Services", 4}});
    ListSessions();
    EXPECT_EQ(Report(), ServicesReport());
    EXPECT_EQ(fake.sessionEnumerations, 3);
    EXPECT_EQ(fake.BuffersReleased(), 3);
}

TEST_F(SessionListing, VersionLineShowsTheRecordReadWhenTheWindowLoaded) {
    fake.version.dwMajorVersion = 5;
    fake.version.dwMinorVersion = 2;
    fake.version.dwBuildNumber = 3790;
    fake.version.wProductType = VER_NT_SERVER;
    OpenMain();

    fake.ScriptSessions({});
    ListSessions();
    EXPECT_EQ(Report(), std::vector<std::wstring>{L"dwMajorVersion: 5.2.3790"});
}

TEST_F(SessionListing, StationNamesComeOutWhole) {
    OpenMain();
    // An empty name and a record with no name at all both leave the label bare.
    EXPECT_EQ(ListOneSessionNamed("").at(1), L"Machine Name: ");
    EXPECT_EQ(ListOneSessionNamed(std::nullopt).at(1), L"Machine Name: ");

    std::string longName;
    for (int i = 0; longName.size() < 5000; ++i) longName += "Station-" + std::to_string(i) + ";";
    const std::vector<std::wstring> lines = ListOneSessionNamed(longName);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[1], L"Machine Name: " + std::wstring(longName.begin(), longName.end()));
    EXPECT_EQ(lines[4], L"dwMajorVersion: 6.1.7601");
    EXPECT_EQ(fake.BuffersReleased(), 3);
}

TEST_F(SessionListing, StationNamesAreConvertedWithTheAnsiCodePage) {
    OpenMain();
    const std::string accented =
        "\xC9"
        "cran-\xE9t\xE9";
    // 0x80 and 0x93 are where Windows-1252 departs from Latin-1: a byte-for-byte widening of the
    // text would give control characters instead of the euro sign and a quotation mark.
    const std::string punctuated =
        "\x93"
        "Kiosk\x94 \x80"
        "5";
    fake.ScriptSessions({{1, accented, 0}, {2, punctuated, 0}});
    ListSessions();

    const std::vector<std::wstring> lines = Report();
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[1], L"Machine Name: " + SystemAnsiToWide(accented));
    EXPECT_EQ(lines[5], L"Machine Name: " + SystemAnsiToWide(punctuated));
    if (GetACP() == 1252) {
        EXPECT_EQ(lines[1], L"Machine Name: \u00C9cran-\u00E9t\u00E9");
        EXPECT_EQ(lines[5], L"Machine Name: \u201CKiosk\u201D \u20AC5");
    }
}

TEST_F(SessionListing, NoSessionsLeaveOnlyTheVersionLine) {
    OpenMain();
    fake.ScriptSessions({{0, "Services", 4}});
    ListSessions();
    ASSERT_EQ(Report().size(), 5u);

    fake.ScriptSessions({});
    ListSessions();
    EXPECT_EQ(Report(), std::vector<std::wstring>{L"dwMajorVersion: 6.1.7601"});
    // An empty listing still comes in a buffer of the platform's, and it goes back.
    EXPECT_EQ(fake.BuffersReleased(), 2);
    EXPECT_TRUE(fake.messageBoxes.empty());
}

TEST_F(SessionListing, EveryRecordIsListedPastSixteenBitCounts) {
    OpenMain();
    constexpr DWORD kSessions = 32770;
    std::vector<FakeSession> sessions;
    sessions.reserve(kSessions);
    for (DWORD id = 0; id < kSessions; ++id)
        sessions.push_back({id, "RDP-Tcp#" + std::to_string(id), 0});
    fake.ScriptSessions(std::move(sessions));
    ListSessions();

    const HWND list = MainControl(Form1::kList1);
    ASSERT_EQ(ListBoxCount(list), static_cast<int>(kSessions * 4 + 1));
    EXPECT_EQ(ListBoxLine(list, 32767 * 4), L"Session ID: 32767");
    EXPECT_EQ(ListBoxLine(list, 32768 * 4 + 1), L"Machine Name: RDP-Tcp#32768");
    EXPECT_EQ(ListBoxLine(list, (kSessions - 1) * 4), L"Session ID: 32769");
    EXPECT_EQ(ListBoxLine(list, kSessions * 4), L"dwMajorVersion: 6.1.7601");
    EXPECT_EQ(fake.BuffersReleased(), 1);
}

TEST(SessionPointerToStringA, ReadsTheTextUpToItsTerminator) {
    EXPECT_EQ(Form1::PointerToStringA(nullptr), L"");
    EXPECT_EQ(Form1::PointerToStringA(""), L"");
    EXPECT_EQ(Form1::PointerToStringA("RDP-Tcp#0"), L"RDP-Tcp#0");
    const char embedded[] = "Console\0Services";
    EXPECT_EQ(Form1::PointerToStringA(embedded), L"Console");
}

}  // namespace
}  // namespace wtsscope
