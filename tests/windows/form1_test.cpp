#include "main_window/form1.h"

#include <gtest/gtest.h>

#include "tests/fakes/fake_platform.h"
#include "tests/windows/window_test_support.h"
#include "version/version_info.h"

namespace wtsscope {
namespace {

using testing::FakePlatform;
using testing::FakeSession;

class Form1Test : public ::testing::Test {
  protected:
    // The version record lives for the whole program; each test starts as a fresh program would.
    void SetUp() override { VersionInfo = {}; }

    // Tests leave the window hidden: everything is readable, and Wine maps and unmaps shown
    // windows slowly on a display with no window manager.
    void Open() {
        form = std::make_unique<Form1>(fake.platform(), [this] { ++processWindowRequests; });
        ASSERT_NE(form->Create(), nullptr);
    }
    void TearDown() override {
        if (form && form->Handle()) DestroyWindow(form->Handle());
        DrainMessages();
    }

    HWND Control(int id) const { return GetDlgItem(form->Handle(), id); }
    void ClickCommand1() { ClickButton(Control(Form1::kCommand1)); }
    std::vector<std::wstring> List1Lines() const { return ListBoxLines(Control(Form1::kList1)); }

    FakePlatform fake;
    std::unique_ptr<Form1> form;
    int processWindowRequests = 0;
};

TEST_F(Form1Test, ShowsTheVersionCodeAndTheDesignCaptions) {
    Open();
    EXPECT_EQ(WindowText(form->Handle()), L"Form1");
    EXPECT_EQ(WindowText(Control(Form1::kLabel1)), L"15");
    EXPECT_EQ(WindowText(Control(Form1::kCommand1)), L"Command1");
    EXPECT_EQ(WindowText(Control(Form1::kCommand2)), L"Command2");
    EXPECT_EQ(ClassName(Control(Form1::kLabel1)), L"Static");
    EXPECT_EQ(ClassName(Control(Form1::kCommand1)), L"Button");
    EXPECT_EQ(ClassName(Control(Form1::kList1)), L"ListBox");
    EXPECT_EQ(ClassName(Control(Form1::kCommand2)), L"Button");
    EXPECT_EQ(SendMessageW(Control(Form1::kList1), LB_GETCOUNT, 0, 0), 0);
}

TEST_F(Form1Test, LabelFollowsTheReportedVersion) {
    fake.version.wProductType = VER_NT_SERVER;
    Open();
    EXPECT_EQ(WindowText(Control(Form1::kLabel1)), L"16");
}

TEST_F(Form1Test, VersionQueryFallsBackToTheBasicRecordThenToUnrecognised) {
    fake.failExtendedVersion = true;
    Open();
    EXPECT_EQ(fake.versionQueries, 2);
    // The basic record has no product type: 6.1 counts as a workstation.
    EXPECT_EQ(WindowText(Control(Form1::kLabel1)), L"15");
    DestroyWindow(form->Handle());

    VersionInfo = {};
    fake.failBasicVersion = true;
    Open();
    EXPECT_EQ(WindowText(Control(Form1::kLabel1)), L"0");
}

TEST_F(Form1Test, ControlsSitAtTheirTwipsPositionsInTabOrder) {
    Open();
    const int dpi = WindowDpi(form->Handle());
    RECT client;
    GetClientRect(form->Handle(), &client);
    EXPECT_EQ(client.right, TwipsToPixels(6975, dpi));
    EXPECT_EQ(client.bottom, TwipsToPixels(8235, dpi));
    EXPECT_EQ(ChildBox(Control(Form1::kLabel1)), ScaleBox({240, 120, 4215, 975}, dpi));
    EXPECT_EQ(ChildBox(Control(Form1::kCommand1)), ScaleBox({1320, 1440, 2295, 855}, dpi));
    EXPECT_EQ(ChildBox(Control(Form1::kList1)), ScaleBox({840, 2760, 4935, 4545}, dpi));
    EXPECT_EQ(ChildBox(Control(Form1::kCommand2)), ScaleBox({4680, 240, 1335, 615}, dpi));

    const std::vector<HWND> expected{Control(Form1::kCommand1), Control(Form1::kList1),
                                     Control(Form1::kCommand2)};
    EXPECT_EQ(TabOrder(form->Handle()), expected);
}

TEST_F(Form1Test, Label1IsMsSansSerifEighteenPoints) {
    Open();
    LOGFONTW font{};
    const auto handle =
        reinterpret_cast<HFONT>(SendMessageW(Control(Form1::kLabel1), WM_GETFONT, 0, 0));
    ASSERT_NE(handle, nullptr);
    GetObjectW(handle, sizeof(font), &font);
    EXPECT_STREQ(font.lfFaceName, L"MS Sans Serif");
    EXPECT_EQ(font.lfHeight, -PointsToPixels(18, WindowDpi(form->Handle())));
    EXPECT_EQ(font.lfWeight, FW_NORMAL);
}

TEST_F(Form1Test, Command2AsksForTheProcessWindow) {
    Open();
    ClickButton(Control(Form1::kCommand2));
    EXPECT_EQ(processWindowRequests, 1);
}

TEST_F(Form1Test, LaysOutFromTheTwipsTableAtEveryDpi) {
    Open();
    for (const int dpi : {96, 120, 144, 192}) {
        RECT suggested;
        GetWindowRect(form->Handle(), &suggested);
        SendMessageW(form->Handle(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                     reinterpret_cast<LPARAM>(&suggested));
        EXPECT_EQ(ChildBox(Control(Form1::kLabel1)), ScaleBox({240, 120, 4215, 975}, dpi)) << dpi;
        EXPECT_EQ(ChildBox(Control(Form1::kCommand1)), ScaleBox({1320, 1440, 2295, 855}, dpi));
        EXPECT_EQ(ChildBox(Control(Form1::kList1)), ScaleBox({840, 2760, 4935, 4545}, dpi));
        EXPECT_EQ(ChildBox(Control(Form1::kCommand2)), ScaleBox({4680, 240, 1335, 615}, dpi));
        LOGFONTW font{};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(Control(Form1::kLabel1), WM_GETFONT, 0, 0)),
                   sizeof(font), &font);
        EXPECT_EQ(font.lfHeight, -PointsToPixels(18, dpi)) << dpi;
    }
}

TEST_F(Form1Test, CtrlCInTheListCopiesTheWholeReport) {
    fake.ScriptSessions({{0, "Services", 4}, {1, "Console", 0}});
    Open();
    ClickCommand1();
    SetFocus(Control(Form1::kList1));
    PressKey(Control(Form1::kList1), 'C', true);
    EXPECT_EQ(ClipboardText(),
              L"Session ID: 0\r\nMachine Name: Services\r\nConnect State: 4\r\n***********\r\n"
              L"Session ID: 1\r\nMachine Name: Console\r\nConnect State: 0\r\n***********\r\n"
              L"dwMajorVersion: 6.1.7601\r\n");
}

TEST_F(Form1Test, KeyboardReachesAndPressesTheButtons) {
    fake.ScriptSessions({{0, "Services", 4}});
    Open();
    SetFocus(Control(Form1::kCommand1));
    PressKey(Control(Form1::kCommand1), VK_TAB);
    EXPECT_EQ(GetFocus(), Control(Form1::kList1));
    PressKey(Control(Form1::kList1), VK_TAB);
    EXPECT_EQ(GetFocus(), Control(Form1::kCommand2));
    PressKey(Control(Form1::kCommand2), VK_RETURN);
    EXPECT_EQ(processWindowRequests, 1);
    PressKey(Control(Form1::kCommand2), VK_TAB);
    EXPECT_EQ(GetFocus(), Control(Form1::kCommand1));
    // Space presses the focused button as a click does.
    PostMessageW(Control(Form1::kCommand1), WM_KEYDOWN, VK_SPACE, 0x00390001);
    PostMessageW(Control(Form1::kCommand1), WM_KEYUP, VK_SPACE, 0xC0390001);
    DrainMessages();
    EXPECT_EQ(List1Lines().size(), 5u);
}

}  // namespace
}  // namespace wtsscope
