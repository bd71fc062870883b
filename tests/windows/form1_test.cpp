#include "main_window/form1.h"

#include <gtest/gtest.h>

#include "tests/fakes/fake_platform.h"
#include "tests/windows/window_fixture.h"
#include "version/version_info.h"

namespace wtsscope {
namespace {

using testing::FakeSession;

using Form1Test = WindowTest;

TEST_F(Form1Test, ShowsTheVersionCodeAndTheDesignCaptions) {
    OpenMain();
    EXPECT_EQ(WindowText(main->Handle()), L"Form1");
    EXPECT_EQ(WindowText(MainControl(Form1::kLabel1)), L"15");
    EXPECT_EQ(WindowText(MainControl(Form1::kCommand1)), L"Command1");
    EXPECT_EQ(WindowText(MainControl(Form1::kCommand2)), L"Command2");
    EXPECT_EQ(ClassName(MainControl(Form1::kLabel1)), L"Static");
    EXPECT_EQ(ClassName(MainControl(Form1::kCommand1)), L"Button");
    EXPECT_EQ(ClassName(MainControl(Form1::kList1)), L"ListBox");
    EXPECT_EQ(ClassName(MainControl(Form1::kCommand2)), L"Button");
    EXPECT_EQ(SendMessageW(MainControl(Form1::kList1), LB_GETCOUNT, 0, 0), 0);
}

TEST_F(Form1Test, LabelFollowsTheReportedVersion) {
    fake.version.wProductType = VER_NT_SERVER;
    OpenMain();
    EXPECT_EQ(WindowText(MainControl(Form1::kLabel1)), L"16");
}

TEST_F(Form1Test, VersionQueryFallsBackToTheBasicRecordThenToUnrecognised) {
    fake.failExtendedVersion = true;
    OpenMain();
    EXPECT_EQ(fake.versionQueries, 2);
    // The basic record has no product type: 6.1 counts as a workstation.
    EXPECT_EQ(WindowText(MainControl(Form1::kLabel1)), L"15");
    DestroyWindow(main->Handle());

    VersionInfo = {};
    fake.failBasicVersion = true;
    OpenMain();
    EXPECT_EQ(WindowText(MainControl(Form1::kLabel1)), L"0");
}

TEST_F(Form1Test, ControlsSitAtTheirTwipsPositionsInTabOrder) {
    OpenMain();
    const int dpi = WindowDpi(main->Handle());
    RECT client;
    GetClientRect(main->Handle(), &client);
    EXPECT_EQ(client.right, TwipsToPixels(6975, dpi));
    EXPECT_EQ(client.bottom, TwipsToPixels(8235, dpi));
    EXPECT_EQ(ChildBox(MainControl(Form1::kLabel1)), ScaleBox({240, 120, 4215, 975}, dpi));
    EXPECT_EQ(ChildBox(MainControl(Form1::kCommand1)), ScaleBox({1320, 1440, 2295, 855}, dpi));
    EXPECT_EQ(ChildBox(MainControl(Form1::kList1)), ScaleBox({840, 2760, 4935, 4545}, dpi));
    EXPECT_EQ(ChildBox(MainControl(Form1::kCommand2)), ScaleBox({4680, 240, 1335, 615}, dpi));

    const std::vector<HWND> expected{MainControl(Form1::kCommand1), MainControl(Form1::kList1),
                                     MainControl(Form1::kCommand2)};
    EXPECT_EQ(TabOrder(main->Handle()), expected);
}

TEST_F(Form1Test, Label1IsMsSansSerifEighteenPoints) {
    OpenMain();
    LOGFONTW font{};
    const auto handle =
        reinterpret_cast<HFONT>(SendMessageW(MainControl(Form1::kLabel1), WM_GETFONT, 0, 0));
    ASSERT_NE(handle, nullptr);
    GetObjectW(handle, sizeof(font), &font);
    EXPECT_STREQ(font.lfFaceName, L"MS Sans Serif");
    EXPECT_EQ(font.lfHeight, -PointsToPixels(18, WindowDpi(main->Handle())));
    EXPECT_EQ(font.lfWeight, FW_NORMAL);
}

TEST_F(Form1Test, Command2AsksForTheProcessWindow) {
    OpenMain();
    ClickButton(MainControl(Form1::kCommand2));
    EXPECT_EQ(processWindowRequests, 1);
}

TEST_F(Form1Test, LaysOutFromTheTwipsTableAtEveryDpi) {
    OpenMain();
    for (const int dpi : {96, 120, 144, 192}) {
        RECT suggested;
        GetWindowRect(main->Handle(), &suggested);
        SendMessageW(main->Handle(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                     reinterpret_cast<LPARAM>(&suggested));
        EXPECT_EQ(ChildBox(MainControl(Form1::kLabel1)), ScaleBox({240, 120, 4215, 975}, dpi))
            << dpi;
        EXPECT_EQ(ChildBox(MainControl(Form1::kCommand1)), ScaleBox({1320, 1440, 2295, 855}, dpi));
        EXPECT_EQ(ChildBox(MainControl(Form1::kList1)), ScaleBox({840, 2760, 4935, 4545}, dpi));
        EXPECT_EQ(ChildBox(MainControl(Form1::kCommand2)), ScaleBox({4680, 240, 1335, 615}, dpi));
        LOGFONTW font{};
        GetObjectW(
            reinterpret_cast<HFONT>(SendMessageW(MainControl(Form1::kLabel1), WM_GETFONT, 0, 0)),
            sizeof(font), &font);
        EXPECT_EQ(font.lfHeight, -PointsToPixels(18, dpi)) << dpi;
    }
}

TEST_F(Form1Test, CtrlCInTheListCopiesTheWholeReport) {
    fake.ScriptSessions({{0, "Services", 4}, {1, "Console", 0}});
    OpenMain();
    ListSessions();
    SetFocus(MainControl(Form1::kList1));
    PressKey(MainControl(Form1::kList1), 'C', true);
    EXPECT_EQ(ClipboardText(),
              L"Session ID: 0\r\nMachine Name: Services\r\nConnect State: 4\r\n***********\r\n"
              L"Session ID: 1\r\nMachine Name: Console\r\nConnect State: 0\r\n***********\r\n"
              L"dwMajorVersion: 6.1.7601\r\n");
}

TEST_F(Form1Test, KeyboardReachesAndPressesTheButtons) {
    fake.ScriptSessions({{0, "Services", 4}});
    OpenMain();
    SetFocus(MainControl(Form1::kCommand1));
    PressKey(MainControl(Form1::kCommand1), VK_TAB);
    EXPECT_EQ(GetFocus(), MainControl(Form1::kList1));
    PressKey(MainControl(Form1::kList1), VK_TAB);
    EXPECT_EQ(GetFocus(), MainControl(Form1::kCommand2));
    PressKey(MainControl(Form1::kCommand2), VK_RETURN);
    EXPECT_EQ(processWindowRequests, 1);
    PressKey(MainControl(Form1::kCommand2), VK_TAB);
    EXPECT_EQ(GetFocus(), MainControl(Form1::kCommand1));
    // Space presses the focused button as a click does.
    PostMessageW(MainControl(Form1::kCommand1), WM_KEYDOWN, VK_SPACE, 0x00390001);
    PostMessageW(MainControl(Form1::kCommand1), WM_KEYUP, VK_SPACE, 0xC0390001);
    DrainMessages();
    EXPECT_EQ(Report().size(), 5u);
}

}  // namespace
}  // namespace wtsscope
