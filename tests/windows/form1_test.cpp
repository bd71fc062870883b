#include "main_window/form1.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/fakes/fake_platform.h"
#include "tests/windows/clipboard_support.h"
#include "tests/windows/system_changes.h"
#include "tests/windows/window_fixture.h"

namespace wtsscope {
namespace {

class Form1Test : public WindowTest {
  protected:
    // The client area and every control where the design puts them at this DPI.
    void ExpectDesignLayout(int dpi) {
        EXPECT_EQ(ClientBox(main->Handle()), (Box{0, 0, TwipsToPixels(Form1::kClientWidth, dpi),
                                                  TwipsToPixels(Form1::kClientHeight, dpi)}))
            << dpi;
        for (const auto& [control, box] : {std::pair{Form1::kLabel1, Form1::kLabel1Box},
                                           std::pair{Form1::kCommand1, Form1::kCommand1Box},
                                           std::pair{Form1::kList1, Form1::kList1Box},
                                           std::pair{Form1::kCommand2, Form1::kCommand2Box}})
            EXPECT_EQ(ChildBox(MainControl(control)), ScaleBox(box, dpi)) << dpi << " " << control;
    }
};

TEST_F(Form1Test, LoadsAsDesignedWithTheVersionCodeInItsLabel) {
    // The design table, once; the layout checks below read it from the window's own constants.
    EXPECT_EQ(Form1::kClientWidth, 6975);
    EXPECT_EQ(Form1::kClientHeight, 8235);
    EXPECT_EQ(Form1::kLabel1Box, (Box{240, 120, 4215, 975}));
    EXPECT_EQ(Form1::kCommand1Box, (Box{1320, 1440, 2295, 855}));
    EXPECT_EQ(Form1::kList1Box, (Box{840, 2760, 4935, 4545}));
    EXPECT_EQ(Form1::kCommand2Box, (Box{4680, 240, 1335, 615}));
    OpenMain();
    ExpectDesignLayout(WindowDpi(main->Handle()));
    EXPECT_EQ(TabOrder(main->Handle()),
              (std::vector<HWND>{MainControl(Form1::kCommand1), MainControl(Form1::kList1),
                                 MainControl(Form1::kCommand2)}));
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(MainControl(Form1::kLabel1), WM_GETFONT, 0, 0)),
               sizeof(font), &font);
    EXPECT_STREQ(font.lfFaceName, L"MS Sans Serif");
    EXPECT_EQ(font.lfWeight, FW_NORMAL);
    EXPECT_EQ(WindowText(main->Handle()), L"Form1");
    EXPECT_EQ(WindowText(MainControl(Form1::kLabel1)), L"15");
    EXPECT_EQ(WindowText(MainControl(Form1::kCommand1)), L"Command1");
    EXPECT_EQ(WindowText(MainControl(Form1::kCommand2)), L"Command2");
    EXPECT_EQ(ClassName(MainControl(Form1::kLabel1)), L"Static");
    EXPECT_EQ(ClassName(MainControl(Form1::kCommand1)), L"Button");
    EXPECT_EQ(ClassName(MainControl(Form1::kList1)), L"ListBox");
    EXPECT_EQ(ClassName(MainControl(Form1::kCommand2)), L"Button");
    EXPECT_EQ(SendMessageW(MainControl(Form1::kList1), LB_GETCOUNT, 0, 0), 0);
    // Asked again, the window is the one already open, loaded once.
    EXPECT_EQ(main->Create(), main->Handle());
    EXPECT_EQ(fake.versionQueries, 1);
}

TEST_F(Form1Test, ANewMessageFontReachesTheControlsOfBothWindowsButNotLabel1) {
    const auto fontOf = [](HWND control) {
        LOGFONTW font{};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof(font),
                   &font);
        return font;
    };
    fake.ScriptProcesses({{0, 4, "a-rather-long-process-name.exe", std::nullopt}});
    OpenMain();
    OpenProcesses();
    const int nameWidth = ListView_GetColumnWidth(List(), Position(ProcessColumn::ProcessName));
    const LONG height = 3 * fontOf(MainControl(Form1::kCommand1)).lfHeight;
    const MessageFontChange change(height);
    MessageFontChange::Announce(main->Handle());
    MessageFontChange::Announce(processes->Handle());
    for (const HWND control : {MainControl(Form1::kCommand1), MainControl(Form1::kList1),
                               MainControl(Form1::kCommand2), List(), Refresh()})
        EXPECT_EQ(fontOf(control).lfHeight, height) << ClassName(control);
    EXPECT_STREQ(fontOf(MainControl(Form1::kLabel1)).lfFaceName, L"MS Sans Serif");
    EXPECT_EQ(fontOf(MainControl(Form1::kLabel1)).lfHeight,
              -PointsToPixels(18, WindowDpi(main->Handle())));
    // The columns are fitted to the new font.
    EXPECT_GT(ListView_GetColumnWidth(List(), Position(ProcessColumn::ProcessName)), nameWidth * 2);
}

TEST_F(Form1Test, Command2AsksForTheProcessWindow) {
    OpenMain();
    ClickButton(MainControl(Form1::kCommand2));
    EXPECT_EQ(processWindowRequests, 1);
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

// A remote session's clipboard redirector holds the clipboard for a moment after every change.
TEST_F(Form1Test, CtrlCWaitsForAClipboardHeldForAMomentAndReportsOneHeldLonger) {
    fake.ScriptSessions({{1, "Console", 0}});
    OpenMain();
    ListSessions();
    const HWND list = MainControl(Form1::kList1);
    SetFocus(list);
    ASSERT_TRUE(PressCtrlCWhileClipboardHeld(list, 300));
    EXPECT_TRUE(fake.messageBoxes.empty());
    EXPECT_EQ(ClipboardText().substr(0, 14), L"Session ID: 1\r");

    ASSERT_TRUE(PressCtrlCWhileClipboardHeld(list, 2000));
    ASSERT_EQ(fake.messageBoxes.size(), 1u);
    EXPECT_EQ(fake.messageBoxes[0].title, L"ERROR 5");  // ERROR_ACCESS_DENIED
    EXPECT_EQ(fake.messageBoxes[0].prompt, L"The report could not be copied to the clipboard.");

    // Opened, but the text could not be placed: that call's code.
    fake.clipboardDataFailure = ERROR_NOT_ENOUGH_MEMORY;
    PressKey(list, 'C', true);
    ASSERT_EQ(fake.messageBoxes.size(), 2u);
    EXPECT_EQ(fake.messageBoxes[1].title, L"ERROR 8");
}

TEST_F(Form1Test, EnterPressesTheButtonFocusedByAClickOrByTab) {
    fake.ScriptSessions({{0, "Services", 4}});
    OpenMain();
    const HWND command1 = MainControl(Form1::kCommand1);
    const HWND command2 = MainControl(Form1::kCommand2);
    // Windows marks no button as the default in a window that is not a dialog: Enter reaches the
    // keyboard navigation, which asks the window for its default button. Wine marks a button
    // reached by Tab itself, so the style is put back as Windows leaves it.
    const auto pressEnterAsOnWindows = [](HWND button) {
        SendMessageW(button, BM_SETSTYLE, BS_PUSHBUTTON, FALSE);
        PressKey(button, VK_RETURN);
    };
    ClickWithMouse(command2);
    EXPECT_EQ(processWindowRequests, 1);
    EXPECT_EQ(GetFocus(), command2);
    EXPECT_EQ(SendMessageW(main->Handle(), DM_GETDEFID, 0, 0),
              MAKELRESULT(Form1::kCommand2, DC_HASDEFID));
    pressEnterAsOnWindows(command2);
    EXPECT_EQ(processWindowRequests, 2);

    PressKey(command2, VK_TAB);
    ASSERT_EQ(GetFocus(), command1);
    pressEnterAsOnWindows(command1);
    EXPECT_EQ(fake.sessionEnumerations, 1);
    EXPECT_EQ(processWindowRequests, 2);

    // On the list no button is the default, and Enter presses none.
    SetFocus(MainControl(Form1::kList1));
    EXPECT_EQ(SendMessageW(main->Handle(), DM_GETDEFID, 0, 0), 0);
    PressKey(MainControl(Form1::kList1), VK_RETURN);
    EXPECT_EQ(fake.sessionEnumerations, 1);
    EXPECT_EQ(processWindowRequests, 2);
}

TEST_F(Form1Test, FocusStartsOnCommand1AndComesBackAfterAnotherWindowWasActive) {
    OpenMain();
    ShowWindow(main->Handle(), SW_SHOW);
    SetForegroundWindow(main->Handle());
    DrainMessages();
    EXPECT_EQ(GetFocus(), MainControl(Form1::kCommand1));

    SetFocus(MainControl(Form1::kList1));
    const HWND other = CreateWindowExW(0, WC_STATICW, L"other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0,
                                       0, 200, 100, nullptr, nullptr, nullptr, nullptr);
    SetForegroundWindow(other);
    SetActiveWindow(other);
    DrainMessages();
    ASSERT_EQ(GetActiveWindow(), other);
    SetActiveWindow(main->Handle());
    DrainMessages();
    EXPECT_EQ(GetFocus(), MainControl(Form1::kList1));
    DestroyWindow(other);
    ShowWindow(main->Handle(), SW_HIDE);
}

TEST_F(Form1Test, ListScrollsSidewaysAsFarAsItsWidestLine) {
    const auto widestLine = [](HWND listBox) {
        const WindowDC dc(listBox);
        const SelectedObject font(dc.get(),
                                  reinterpret_cast<HFONT>(SendMessageW(listBox, WM_GETFONT, 0, 0)));
        int widest = 0;
        for (const std::wstring& line : ListBoxLines(listBox))
            widest = std::max(widest, TextWidth(dc.get(), line));
        return widest;
    };
    const auto extent = [](HWND listBox) {
        return static_cast<int>(SendMessageW(listBox, LB_GETHORIZONTALEXTENT, 0, 0));
    };
    OpenMain();
    const HWND list = MainControl(Form1::kList1);
    fake.ScriptSessions({{0, "Services", 4}, {1, std::string(300, 'W'), 0}});
    ListSessions();
    const int wide = widestLine(list);
    EXPECT_GT(wide, ChildBox(list).width);
    EXPECT_GE(extent(list), wide);
    EXPECT_LE(extent(list), wide + 16);

    // A new listing measures anew, and so does a new font after a DPI change.
    fake.ScriptSessions({{0, "Services", 4}});
    ListSessions();
    EXPECT_LT(extent(list), ChildBox(list).width);
    EXPECT_GE(extent(list), widestLine(list));
    fake.ScriptSessions({{1, std::string(300, 'W'), 0}});
    ListSessions();
    SendDpiChange(
        main->Handle(), 192, {0, 0},
        {TwipsToPixels(Form1::kClientWidth, 192), TwipsToPixels(Form1::kClientHeight, 192)});
    EXPECT_GE(extent(list), widestLine(list));
    EXPECT_GT(extent(list), wide * 3 / 2);
}

TEST_F(Form1Test, DpiChangesInBothDirectionsLandOnTheSuggestedRectangleAndLayOutAnew) {
    OpenMain();
    for (const std::vector<int>& trip : {std::vector<int>{96, 192, 96}, {96, 144, 120}}) {
        for (const int dpi : trip) {
            const SIZE client{TwipsToPixels(Form1::kClientWidth, dpi),
                              TwipsToPixels(Form1::kClientHeight, dpi)};
            const Box suggested = SendDpiChange(main->Handle(), dpi, {dpi, dpi / 2}, client);
            EXPECT_EQ(WindowBox(main->Handle()), suggested) << dpi;
            ExpectDesignLayout(dpi);
            LOGFONTW font{};
            GetObjectW(reinterpret_cast<HFONT>(
                           SendMessageW(MainControl(Form1::kLabel1), WM_GETFONT, 0, 0)),
                       sizeof(font), &font);
            EXPECT_EQ(font.lfHeight, -PointsToPixels(18, dpi)) << dpi;
        }
    }
}

// Windows keeps a named window property's atom until RemoveProp; Wine frees properties with the
// window by itself, so the test looks at the moment the window's last message is handled.
TEST_F(Form1Test, WindowsGiveBackTheirShortcutsAndGoWithTheirObjects) {
    static bool propertyLeft = true;
    static WNDPROC original = nullptr;
    const auto watch = [](HWND window) {
        propertyLeft = true;
        original = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(window, GWLP_WNDPROC));
        SetWindowLongPtrW(
            window, GWLP_WNDPROC,
            reinterpret_cast<LONG_PTR>(+[](HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
                const LRESULT result = CallWindowProcW(original, hwnd, message, wParam, lParam);
                if (message == WM_NCDESTROY)
                    propertyLeft = GetPropW(hwnd, L"wtsscope.accelerators") != nullptr;
                return result;
            }));
    };
    OpenMain();
    const HWND window = main->Handle();
    ASSERT_NE(GetPropW(window, L"wtsscope.accelerators"), nullptr);
    watch(window);
    main.reset();
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(propertyLeft);

    OpenProcesses();
    const HWND processWindow = processes->Handle();
    ASSERT_NE(GetPropW(processWindow, L"wtsscope.accelerators"), nullptr);
    watch(processWindow);
    SendMessageW(processWindow, WM_CLOSE, 0, 0);
    DrainMessages();
    EXPECT_FALSE(IsWindow(processWindow));
    EXPECT_FALSE(propertyLeft);
}

}  // namespace
}  // namespace wtsscope
