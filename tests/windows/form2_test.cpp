#include "process_window/form2.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <new>
#include <optional>

#include "tests/fakes/fake_platform.h"
#include "tests/windows/child_process.h"
#include "tests/windows/clipboard_support.h"
#include "tests/windows/system_changes.h"
#include "tests/windows/window_fixture.h"

namespace wtsscope {
namespace {

using testing::FakeProcess;

// The windows of a class that belong to this process: other programs may share the desktop.
std::vector<HWND> OwnWindows(const wchar_t* className) {
    std::vector<HWND> windows;
    for (HWND at = FindWindowExW(nullptr, nullptr, className, nullptr); at;
         at = FindWindowExW(nullptr, at, className, nullptr)) {
        DWORD process = 0;
        GetWindowThreadProcessId(at, &process);
        if (process == GetCurrentProcessId()) windows.push_back(at);
    }
    return windows;
}

std::vector<int> SortArrows(HWND listView) {
    const HWND header = ListView_GetHeader(listView);
    std::vector<int> arrows;
    for (int i = 0; i < Header_GetItemCount(header); ++i) {
        HDITEMW item{};
        item.mask = HDI_FORMAT;
        Header_GetItem(header, i, &item);
        arrows.push_back(item.fmt & (HDF_SORTUP | HDF_SORTDOWN));
    }
    return arrows;
}

// Drags the divider at the right end of a column's header so many pixels to the right, or
// double-clicks it, as a user does with the mouse.
void PressDivider(HWND listView, int column, int dragBy, bool twice = false) {
    const HWND header = ListView_GetHeader(listView);
    RECT rect{};
    Header_GetItemRect(header, column, &rect);
    const int y = (rect.top + rect.bottom) / 2;
    SendMessageW(header, twice ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN, MK_LBUTTON,
                 MAKELPARAM(rect.right - 1, y));
    SendMessageW(header, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(rect.right - 1 + dragBy, y));
    SendMessageW(header, WM_LBUTTONUP, 0, MAKELPARAM(rect.right - 1 + dragBy, y));
    DrainMessages();
}

// Passes HDN_ITEMCHANGED on from the list's header to the window, as Windows' list view does and
// Wine's does not: the window then hears of the widths it sets itself too.
LRESULT CALLBACK PassOnWidthChanges(HWND list, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                    DWORD_PTR) {
    const LRESULT result = DefSubclassProc(list, message, wParam, lParam);
    if (message == WM_NOTIFY && reinterpret_cast<const NMHDR*>(lParam)->code == HDN_ITEMCHANGEDW)
        SendMessageW(GetParent(list), WM_NOTIFY, wParam, lParam);
    return result;
}

// The arrows of a list with one on the column given, pointing up, and none elsewhere.
std::vector<int> ArrowUpOn(std::optional<ProcessColumn> column) {
    std::vector<int> arrows(kAlwaysShownColumnCount, 0);
    if (column) arrows[Position(*column)] = HDF_SORTUP;
    return arrows;
}

// Copied rows read back: a line per row, each ended by CR LF, with a cell per column separated by
// tabs; of each line, the cells of the checked columns.
std::vector<std::vector<std::wstring>> CopiedCells(const std::wstring& text) {
    std::vector<std::vector<std::wstring>> lines;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = text.find(L"\r\n", start);
        if (end == std::wstring::npos) {
            ADD_FAILURE() << "a line without CR LF";
            break;
        }
        std::vector<std::wstring> cells;
        for (std::size_t at = start;;) {
            const std::size_t tab = std::min(text.find(L'\t', at), end);
            cells.push_back(text.substr(at, tab - at));
            if (tab == end) break;
            at = tab + 1;
        }
        if (cells.size() != static_cast<std::size_t>(kAlwaysShownColumnCount)) {
            ADD_FAILURE() << "a line of " << cells.size() << " cells";
            break;
        }
        std::vector<std::wstring> checked;
        for (const ProcessColumn column : kCheckedColumns)
            checked.push_back(cells[static_cast<std::size_t>(Position(column))]);
        lines.push_back(std::move(checked));
        start = end + 2;
    }
    return lines;
}

// The table's headers of the checked columns: the first line of every copy.
std::vector<std::wstring> CheckedHeaders() {
    std::vector<std::wstring> headers;
    for (const ProcessColumn column : kCheckedColumns)
        headers.emplace_back(Describe(column).header);
    return headers;
}

void SetClientSize(HWND window, int width, int height) {
    RECT frame{0, 0, width, height};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE)));
    SetWindowPos(window, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

class Form2Test : public WindowTest {
  protected:
    // The client area at its design size and both controls where the design puts them.
    void ExpectDesignLayout(int dpi) {
        EXPECT_EQ(ClientBox(processes->Handle()),
                  (Box{0, 0, TwipsToPixels(Form2::kClientWidth, dpi),
                       TwipsToPixels(Form2::kClientHeight, dpi)}))
            << dpi;
        EXPECT_EQ(ChildBox(List()), ScaleBox(Form2::kListView1Box, dpi)) << dpi;
        EXPECT_EQ(ChildBox(Refresh()), ScaleBox(Form2::kCommand1Box, dpi)) << dpi;
    }
};

TEST_F(Form2Test, LoadShowsTheHeadersRefreshButtonAndOneRowPerProcess) {
    // A name outside any Western code page ("notepad" in Chinese, in UTF-8) shows as it is.
    fake.ScriptProcesses(
        {{0, 4, "System", "S-1-5-18"},
         {1, 500, "\xe8\xae\xb0\xe4\xba\x8b\xe6\x9c\xac.exe", "S-1-5-21-7-8-9-1001"},
         {1, 7000, "", "S-1-5-21-7-8-9-1001"},
         {2, 8000, std::nullopt, std::nullopt}});
    OpenProcesses();
    EXPECT_EQ(WindowText(processes->Handle()), L"Form2");
    EXPECT_EQ(ClassName(List()), L"SysListView32");
    EXPECT_EQ(GetWindowLongW(List(), GWL_STYLE) & LVS_TYPEMASK, LVS_REPORT);
    // The one window test of the column set as the user sees it; the others read it from the table.
    EXPECT_EQ(HeaderTexts(List()), (std::vector<std::wstring>{L"Session ID", L"Process ID",
                                                              L"Process Name", L"User ID"}));
    EXPECT_EQ(WindowText(Refresh()), L"Refresh");
    EXPECT_EQ(TabOrder(processes->Handle()), (std::vector<HWND>{List(), Refresh()}));
    ASSERT_EQ(ListViewRows(List()), 4);
    EXPECT_EQ(Row(0), (std::vector<std::wstring>{L"0", L"4", L"System", L"NT AUTHORITY\\SYSTEM"}));
    EXPECT_EQ(Row(1),
              (std::vector<std::wstring>{L"1", L"500", L"\u8bb0\u4e8b\u672c.exe", L"CORP\\ann"}));
    // An empty name, a null name and no identifier give empty cells, not a crash.
    EXPECT_EQ(Row(2), (std::vector<std::wstring>{L"1", L"7000", L"", L"CORP\\ann"}));
    EXPECT_EQ(Row(3), (std::vector<std::wstring>{L"2", L"8000", L"", L""}));
    EXPECT_EQ(fake.BuffersReleased(), 1);
}

TEST_F(Form2Test, EachAccountIsLookedUpOncePerOpeningOfTheWindow) {
    std::vector<FakeProcess> scripted;
    for (DWORD id = 0; id < 1000; ++id)
        scripted.push_back({1, 1000 + id * 4, "chrome.exe",
                            id % 3 == 0   ? "S-1-5-21-7-8-9-1001"
                            : id % 3 == 1 ? "S-1-5-18"
                                          : "S-1-5-21-1-2-3-4242"});
    fake.ScriptProcesses(scripted);
    OpenProcesses();
    EXPECT_EQ(ListViewRows(List()), 1000);
    // Every identifier of the fill once: the one the system names itself, then the domains'.
    EXPECT_EQ(fake.lookupCalls, (std::vector<std::size_t>{1, 2}));
    // A name found is not asked for again while the window stays open; a domain's "not mapped"
    // may be a network time-out, and is asked again, alone, at each fill.
    ClickRefresh();
    AwaitAccountNames(3);
    ClickRefresh();
    AwaitAccountNames(4);
    EXPECT_EQ(fake.lookupCalls, (std::vector<std::size_t>{1, 2, 1, 1}));
    EXPECT_EQ(Cell(2, ProcessColumn::UserId), L"S-1-5-21-1-2-3-4242");
    // A new opening asks afresh.
    SendMessageW(processes->Handle(), WM_CLOSE, 0, 0);
    DrainMessages();
    OpenProcesses();
    EXPECT_EQ(fake.lookupCalls, (std::vector<std::size_t>{1, 2, 1, 1, 1, 2}));
}

TEST_F(Form2Test, RowsComeAtOnceAndTheNamesWhenTheLookupAnswers) {
    // A domain controller far away: the lookup waits until released.
    fake.HoldLookups();
    fake.ScriptProcesses(
        {{0, 4, "System", "S-1-5-18"}, {1, 500, "notepad.exe", "S-1-5-21-7-8-9-1001"}});
    OpenProcesses();
    EXPECT_EQ(Column(ProcessColumn::UserId),
              (std::vector<std::wstring>{L"S-1-5-18", L"S-1-5-21-7-8-9-1001"}));
    // Meanwhile the window answers, and a refresh asks for nothing already asked for.
    ClickRefresh();
    EXPECT_EQ(fake.processEnumerations, 2);
    EXPECT_TRUE(WaitUntil([&] { return fake.HeldLookups() == 1; }));

    // The names come in a posted message; the list is painted anew with them. The name the
    // system knows itself comes while the domain's controller is still being asked.
    ShowWindow(processes->Handle(), SW_SHOWNA);
    UpdateWindow(processes->Handle());
    ValidateRect(List(), nullptr);
    fake.ReleaseLookups(1);
    ASSERT_TRUE(WaitUntil([&] { return fake.LookupCallCount() == 2 && fake.HeldLookups() == 1; }));
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE | PM_QS_POSTMESSAGE))
        DispatchMessageW(&message);
    EXPECT_TRUE(GetUpdateRect(List(), nullptr, FALSE));
    EXPECT_EQ(Column(ProcessColumn::UserId),
              (std::vector<std::wstring>{L"NT AUTHORITY\\SYSTEM", L"S-1-5-21-7-8-9-1001"}));
    fake.ReleaseLookups();
    AwaitAccountNames(2);
    EXPECT_EQ(Column(ProcessColumn::UserId),
              (std::vector<std::wstring>{L"NT AUTHORITY\\SYSTEM", L"CORP\\ann"}));
    EXPECT_EQ(fake.lookupCalls, (std::vector<std::size_t>{1, 1}));
}

TEST_F(Form2Test, NamesArrivingReSortAListSortedByAccountUnderTheSameViewAndSelection) {
    fake.HoldLookups();
    fake.accounts["S-1-5-21-7-8-9-1002"] = {L"AAA", L"bo"};
    // By identifier SYSTEM's 50 rows come first, then ann's 100, then bo's 150; by name bo's,
    // ann's, then SYSTEM's.
    std::vector<FakeProcess> scripted;
    for (DWORD id = 1; id <= 300; ++id)
        scripted.push_back({1, id, "p.exe",
                            id <= 50    ? "S-1-5-18"
                            : id <= 150 ? "S-1-5-21-7-8-9-1001"
                                        : "S-1-5-21-7-8-9-1002"});
    fake.ScriptProcesses(scripted);
    OpenProcesses();
    ClickHeader(List(), ProcessColumn::UserId);
    // A process of SYSTEM's is selected and focused, the anchor on another; the user then reads
    // ann's rows halfway down. (Wine's list scrolls to a row given the focus; Windows' does not.)
    ListView_SetItemState(List(), 10, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    ListView_SetSelectionMark(List(), 20);
    ListView_EnsureVisible(List(), 299, FALSE);
    ListView_EnsureVisible(List(), 100, FALSE);
    ASSERT_EQ(ListView_GetTopIndex(List()), 100);

    fake.ReleaseLookups();
    AwaitAccountNames(2);
    EXPECT_EQ(Cell(0, ProcessColumn::UserId), L"AAA\\bo");
    EXPECT_EQ(Cell(299, ProcessColumn::UserId), L"NT AUTHORITY\\SYSTEM");
    // The same process in the first visible row, now the 201st.
    EXPECT_EQ(ListView_GetTopIndex(List()), 200);
    EXPECT_EQ(Cell(200, ProcessColumn::ProcessId), L"101");
    EXPECT_EQ(SelectedIds(), std::vector<std::wstring>{L"11"});
    EXPECT_EQ(FocusedId(), L"11");
    EXPECT_EQ(Cell(ListView_GetSelectionMark(List()), ProcessColumn::ProcessId), L"21");
}

TEST_F(Form2Test, AnAnswerForAClosedWindowIsDroppedAndTheNextOpeningAsksAgain) {
    fake.HoldLookups();
    fake.ScriptProcesses({{1, 500, "notepad.exe", "S-1-5-21-7-8-9-1001"}});
    OpenProcesses();
    ASSERT_TRUE(WaitUntil([&] { return fake.HeldLookups() == 1; }));
    SendMessageW(processes->Handle(), WM_CLOSE, 0, 0);
    DrainMessages();
    // Renamed before the window opens again.
    fake.accounts["S-1-5-21-7-8-9-1001"] = {L"CORP", L"ann.new"};
    OpenProcesses();
    ASSERT_TRUE(WaitUntil([&] { return fake.HeldLookups() == 2; }));
    // The closed window's lookup answers and gives everything back; no window takes its names.
    fake.ReleaseLookups(1);
    ASSERT_TRUE(WaitUntil([&] { return fake.HeldLookups() == 1 && fake.LookupLeaks() == 1; }));
    DrainMessages();
    EXPECT_EQ(Column(ProcessColumn::UserId), std::vector<std::wstring>{L"S-1-5-21-7-8-9-1001"});
    fake.ReleaseLookups();
    AwaitAccountNames(2);
    EXPECT_EQ(Column(ProcessColumn::UserId), std::vector<std::wstring>{L"CORP\\ann.new"});
}

// In a process of its own, started by the test below: the last window closes while a lookup
// waits on the network, and the program returns from its message loop.
TEST(ProcessExit, DISABLED_LastWindowClosesWhileALookupWaits) {
    // Never destroyed: its lookup is still held when the process ends.
    auto* fake = new testing::FakePlatform;
    fake->HoldLookups();
    fake->ScriptProcesses({{1, 500, "notepad.exe", "S-1-5-21-7-8-9-1001"}});
    Form2 form2(fake->platform());
    ASSERT_NE(form2.Create(), nullptr);
    ASSERT_TRUE(WaitUntil([&] { return fake->HeldLookups() == 1; }));
    PostMessageW(form2.Handle(), WM_CLOSE, 0, 0);
    RunMessageLoop();
}

TEST(ProcessExit, EndsAtOnceWhenTheLastWindowClosesWhileALookupWaits) {
    wchar_t folder[MAX_PATH];
    ASSERT_NE(GetTempPathW(MAX_PATH, folder), 0u);
    const std::wstring output =
        folder + std::wstring(L"wtsscope-exit-") + std::to_wstring(GetCurrentProcessId()) + L".txt";
    const ChildResult child = RunChild(ModulePath(nullptr),
                                       L"--gtest_also_run_disabled_tests "
                                       L"--gtest_filter=ProcessExit.DISABLED_*",
                                       folder, output, 60000);
    DeleteFileW(output.c_str());
    ASSERT_TRUE(child.finished) << child.output;
    EXPECT_EQ(child.exitCode, 0u) << child.output;
    EXPECT_NE(child.output.find("[  PASSED  ] 1 test."), std::string::npos) << child.output;
}

TEST_F(Form2Test, RefreshReplacesTheRowsAndReleasesEveryBuffer) {
    fake.ScriptProcesses({{0, 1, "a.exe", std::nullopt},
                          {0, 2, "b.exe", std::nullopt},
                          {0, 3, "c.exe", std::nullopt}});
    OpenProcesses();
    fake.ScriptProcesses({{0, 9, "z.exe", std::nullopt}, {0, 8, "y.exe", std::nullopt}});
    ClickRefresh();
    EXPECT_EQ(Column(ProcessColumn::ProcessId), (std::vector<std::wstring>{L"9", L"8"}));
    fake.ScriptProcesses({});
    ClickRefresh();
    EXPECT_EQ(ListViewRows(List()), 0);
    EXPECT_EQ(fake.processEnumerations, 3);
    EXPECT_EQ(fake.BuffersReleased(), 3);
}

TEST_F(Form2Test, ImpossibleCountIsAFailureNotAWildRead) {
    fake.ScriptProcessCountOnly(0xFFFFFFFF);
    OpenProcesses();
    ASSERT_EQ(fake.messageBoxes.size(), 1u);
    // Past the address space on 32 bits; on 64 bits past the memory the block occupies.
    EXPECT_EQ(fake.messageBoxes[0].title,
              sizeof(void*) == 4 ? L"Error 534" : L"Error 13");  // ERROR_ARITHMETIC_OVERFLOW
    EXPECT_EQ(ListViewRows(List()), 0);
    // The extended call's buffer and the plain call's, each refused and released.
    EXPECT_EQ(fake.BuffersReleased(), 2);

    // A count a little beyond what the block holds is refused the same way.
    fake.ScriptProcessCountOnly(1 << 20);
    ClickRefresh();
    ASSERT_EQ(fake.messageBoxes.size(), 2u);
    EXPECT_EQ(fake.messageBoxes[1].title, L"Error 13");  // ERROR_INVALID_DATA
}

TEST_F(Form2Test, OneWindowForTheWholeRunLoadedAfreshAfterClosing) {
    fake.ScriptProcesses({{0, 10, "b", std::nullopt}, {0, 9, "a", std::nullopt}});
    ShowProcesses();
    const HWND first = processes->Handle();
    ShowProcesses();
    EXPECT_EQ(processes->Handle(), first);
    EXPECT_EQ(fake.processEnumerations, 1);
    EXPECT_EQ(OwnWindows(L"wtsscope.Form2"), std::vector<HWND>{first});

    ClickHeader(List(), ProcessColumn::ProcessId);
    SendMessageW(processes->Handle(), WM_CLOSE, 0, 0);
    DrainMessages();
    EXPECT_EQ(processes->Handle(), nullptr);
    EXPECT_FALSE(IsWindow(first));

    ShowProcesses();
    EXPECT_EQ(HeaderTexts(List()), TableHeaders());
    EXPECT_EQ(fake.processEnumerations, 2);
    // The sort went with the closed window: rows are in the platform's order again.
    EXPECT_EQ(Column(ProcessColumn::ProcessId), (std::vector<std::wstring>{L"10", L"9"}));
}

TEST_F(Form2Test, HeaderClickSortsAscendingByValueOrTextUnderAnArrow) {
    fake.ScriptProcesses({{1, 10, "svchost.exe", "S-1-5-18"},
                          {0, 9, "Explorer.EXE", "S-1-5-21-7-8-9-1001"},
                          {10, 100, "csrss.exe", "S-1-5-18"},
                          {2, 1000, "SVCHOST.EXE", std::nullopt}});
    OpenProcesses();
    EXPECT_EQ(SortArrows(List()), ArrowUpOn(std::nullopt));
    ClickHeader(List(), ProcessColumn::ProcessId);
    EXPECT_EQ(Column(ProcessColumn::ProcessId),
              (std::vector<std::wstring>{L"9", L"10", L"100", L"1000"}));
    EXPECT_EQ(SortArrows(List()), ArrowUpOn(ProcessColumn::ProcessId));
    // The same header again sorts the same way again.
    ClickHeader(List(), ProcessColumn::ProcessId);
    EXPECT_EQ(Column(ProcessColumn::ProcessId),
              (std::vector<std::wstring>{L"9", L"10", L"100", L"1000"}));
    ClickHeader(List(), ProcessColumn::SessionId);
    EXPECT_EQ(Column(ProcessColumn::SessionId),
              (std::vector<std::wstring>{L"0", L"1", L"2", L"10"}));
    ClickHeader(List(), ProcessColumn::ProcessName);
    EXPECT_EQ(
        Column(ProcessColumn::ProcessName),
        (std::vector<std::wstring>{L"csrss.exe", L"Explorer.EXE", L"svchost.exe", L"SVCHOST.EXE"}));
    ClickHeader(List(), ProcessColumn::UserId);
    EXPECT_EQ(Column(ProcessColumn::ProcessId),
              (std::vector<std::wstring>{L"1000", L"9", L"10", L"100"}));

    // The sort stays on: a refresh's rows arrive in order.
    fake.ScriptProcesses({{0, 30, "b", std::nullopt}, {0, 20, "a", std::nullopt}});
    ClickHeader(List(), ProcessColumn::ProcessId);
    ClickRefresh();
    EXPECT_EQ(Column(ProcessColumn::ProcessId), (std::vector<std::wstring>{L"20", L"30"}));
    EXPECT_EQ(SortArrows(List()), ArrowUpOn(ProcessColumn::ProcessId));
}

TEST_F(Form2Test, SelectionAndFocusStayOnTheSameProcessesAcrossRefreshAndSort) {
    fake.ScriptProcesses({{0, 10, "a", std::nullopt},
                          {0, 20, "b", std::nullopt},
                          {0, 30, "c", std::nullopt},
                          {0, 40, "d", std::nullopt}});
    OpenProcesses();
    EXPECT_NE(GetWindowLongW(List(), GWL_STYLE) & LVS_OWNERDATA, 0);
    EXPECT_NE(ListView_GetExtendedListViewStyle(List()) & LVS_EX_FULLROWSELECT, 0u);
    ListView_SetItemState(List(), 1, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    ListView_SetItemState(List(), 3, LVIS_SELECTED, LVIS_SELECTED);

    // Process 20 went away, 30 and 40 moved, 5 is new: the selection follows the identifiers.
    fake.ScriptProcesses({{0, 5, "e", std::nullopt},
                          {0, 40, "d", std::nullopt},
                          {0, 10, "a", std::nullopt},
                          {0, 20, "b", std::nullopt}});
    ClickRefresh();
    EXPECT_EQ(SelectedIds(), (std::vector<std::wstring>{L"40", L"20"}));
    EXPECT_EQ(FocusedId(), L"20");

    ClickHeader(List(), ProcessColumn::ProcessId);
    EXPECT_EQ(SelectedIds(), (std::vector<std::wstring>{L"20", L"40"}));
    EXPECT_EQ(FocusedId(), L"20");

    // An anchor alone, with nothing selected or focused, stays with its process too.
    ListView_SetItemState(List(), -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    ListView_SetSelectionMark(List(), 0);
    ASSERT_EQ(Cell(0, ProcessColumn::ProcessId), L"5");
    ClickHeader(List(), ProcessColumn::ProcessName);
    EXPECT_EQ(Cell(ListView_GetSelectionMark(List()), ProcessColumn::ProcessId), L"5");
    EXPECT_TRUE(SelectedIds().empty());
    EXPECT_EQ(FocusedId(), L"");
}

TEST_F(Form2Test, KeyboardRefreshesSelectsAllAndCopiesTheSelectedRows) {
    fake.accounts["S-1-5-21-7-8-9-1002"] = {L"CORP", L"Zo\xEB"};
    fake.ScriptProcesses({{0, 4, "System", "S-1-5-18"},
                          {1, 500, "notepad.exe", "S-1-5-21-7-8-9-1002"},
                          {1, 501,
                           "\xC3\xA9"
                           "diteur.exe",
                           std::nullopt}});
    OpenProcesses();
    SetFocus(List());
    PressKey(List(), VK_F5);
    EXPECT_EQ(fake.processEnumerations, 2);

    ListView_SetItemState(List(), 1, LVIS_SELECTED, LVIS_SELECTED);
    PressKey(List(), 'C', true);
    EXPECT_EQ(CopiedCells(ClipboardText()),
              (std::vector<std::vector<std::wstring>>{
                  CheckedHeaders(), {L"1", L"500", L"notepad.exe", L"CORP\\Zo\xEB"}}));

    PressKey(List(), 'A', true);
    EXPECT_EQ(ListView_GetSelectedCount(List()), 3u);
    PressKey(List(), 'C', true);
    EXPECT_EQ(CopiedCells(ClipboardText()), (std::vector<std::vector<std::wstring>>{
                                                CheckedHeaders(),
                                                {L"0", L"4", L"System", L"NT AUTHORITY\\SYSTEM"},
                                                {L"1", L"500", L"notepad.exe", L"CORP\\Zo\xEB"},
                                                {L"1", L"501",
                                                 L"\xE9"
                                                 L"diteur.exe",
                                                 L""}}));
}

TEST_F(Form2Test, LayoutIsTheTableAtTheDesignSizeAndFollowsTheWindow) {
    fake.ScriptProcesses({{0, 4, "a-rather-long-process-name-for-a-column.exe", "S-1-5-18"}});
    OpenProcesses();
    // The design table, once; the other layout checks read it from the window's own constants.
    EXPECT_EQ(Form2::kClientWidth, 6975);
    EXPECT_EQ(Form2::kClientHeight, 8235);
    EXPECT_EQ(Form2::kListView1Box, (Box{240, 120, 6615, 3855}));
    EXPECT_EQ(Form2::kCommand1Box, (Box{1200, 4560, 1815, 615}));
    const int dpi = WindowDpi(processes->Handle());
    ExpectDesignLayout(dpi);
    // Larger: the list takes the extra room, the button stays below it.
    SetClientSize(processes->Handle(), TwipsToPixels(Form2::kClientWidth, dpi) + 200,
                  TwipsToPixels(Form2::kClientHeight, dpi) + 100);
    Box list = ScaleBox(Form2::kListView1Box, dpi);
    list.width += 200;
    list.height += 100;
    EXPECT_EQ(ChildBox(List()), list);
    Box button = ScaleBox(Form2::kCommand1Box, dpi);
    button.top += 100;
    EXPECT_EQ(ChildBox(Refresh()), button);
    // Every column is wide enough for its widest text.
    const WindowDC dc(List());
    const SelectedObject font(dc.get(),
                              reinterpret_cast<HFONT>(SendMessageW(List(), WM_GETFONT, 0, 0)));
    for (int column = 0; column < kAlwaysShownColumnCount; ++column) {
        for (const std::wstring& text :
             {HeaderTexts(List())[column], ListViewCell(List(), 0, column)})
            EXPECT_GT(ListView_GetColumnWidth(List(), column), TextWidth(dc.get(), text)) << column;
    }
}

TEST_F(Form2Test, AColumnWidthTheUserSetStaysWhileTheWindowIsOpen) {
    fake.accounts["S-1-5-21-7-8-9-1001"] = {L"CORP",
                                            L"an-account-name-far-wider-than-its-identifier"};
    const auto width = [this](int column) { return ListView_GetColumnWidth(List(), column); };
    std::optional<int> firstFitted;
    for (const bool passedOn : {false, true}) {
        SCOPED_TRACE(passedOn ? "HDN_ITEMCHANGED passed on" : "as Wine passes notifications on");
        fake.HoldLookups();
        fake.ScriptProcesses(
            {{0, 4, "System", "S-1-5-18"}, {1, 500, "notepad.exe", "S-1-5-21-7-8-9-1001"}});
        OpenProcesses();
        if (passedOn) SetWindowSubclass(List(), PassOnWidthChanges, 0, 0);
        // Every opening starts with the widths fitted to the texts.
        if (!firstFitted) firstFitted = width(2);
        EXPECT_EQ(width(2), *firstFitted);
        PressDivider(List(), 2, -20);
        const int dragged = width(2);
        ASSERT_EQ(dragged, *firstFitted - 20);
        PressDivider(List(), 1, 0, true);
        const int doubleClicked = width(1);

        // Names wider than the identifiers arrive, then a refresh brings a wider name, process
        // identifier and account: the widths the user set stay, the others follow the texts.
        fake.ReleaseLookups();
        AwaitAccountNames(passedOn ? 2 : 1);
        const int named = width(3);
        fake.ScriptProcesses({{0, 4, "System", "S-1-5-18"},
                              {1, 1234567890, "a-process-name-far-wider-than-any-before.exe",
                               "S-1-5-21-1234567890-1234567890-1234567890-1234567890-1234567890"}});
        ClickRefresh();
        EXPECT_EQ(width(2), dragged);
        EXPECT_EQ(width(1), doubleClicked);
        EXPECT_GT(width(3), named);
        // At twice the DPI, twice as wide.
        SendDpiChange(
            processes->Handle(), 192, {96, 192},
            {TwipsToPixels(Form2::kClientWidth, 192), TwipsToPixels(Form2::kClientHeight, 192)});
        EXPECT_EQ(width(2), 2 * dragged);
        SendMessageW(processes->Handle(), WM_CLOSE, 0, 0);
        DrainMessages();
    }
}

TEST_F(Form2Test, OpensWithTheFocusOnTheListAndGivesItBackOnReturn) {
    fake.ScriptProcesses({{0, 4, "System", "S-1-5-18"}, {1, 500, "notepad", std::nullopt}});
    OpenMain();
    ShowWindow(main->Handle(), SW_SHOW);
    processes = std::make_unique<Form2>(fake.platform());
    processes->Show();
    DrainMessages();
    EXPECT_EQ(GetFocus(), List());
    // The arrows move in the list at once.
    PressKey(List(), VK_DOWN);
    EXPECT_EQ(FocusedId(), L"4");

    // Away to the main window and back, by activation as Alt+Tab or a click does.
    SetFocus(Refresh());
    SetActiveWindow(main->Handle());
    DrainMessages();
    EXPECT_EQ(GetFocus(), MainControl(Form1::kCommand1));
    SetActiveWindow(processes->Handle());
    DrainMessages();
    EXPECT_EQ(GetFocus(), Refresh());
    ShowWindow(processes->Handle(), SW_HIDE);
    ShowWindow(main->Handle(), SW_HIDE);
}

TEST_F(Form2Test, EnterPressesRefreshReachedByTabOrByAClick) {
    fake.ScriptProcesses({{0, 4, "System", std::nullopt}});
    OpenProcesses();
    SetFocus(List());
    // On the list Enter presses nothing.
    EXPECT_EQ(SendMessageW(processes->Handle(), DM_GETDEFID, 0, 0), 0);
    PressKey(List(), VK_RETURN);
    EXPECT_EQ(fake.processEnumerations, 1);

    PressKey(List(), VK_TAB);
    ASSERT_EQ(GetFocus(), Refresh());
    // As Windows leaves it: no button of a plain window is marked the default (Wine marks the one
    // Tab reached).
    SendMessageW(Refresh(), BM_SETSTYLE, BS_PUSHBUTTON, FALSE);
    PressKey(Refresh(), VK_RETURN);
    EXPECT_EQ(fake.processEnumerations, 2);

    SetFocus(List());
    ClickWithMouse(Refresh());
    EXPECT_EQ(fake.processEnumerations, 3);
    EXPECT_EQ(SendMessageW(processes->Handle(), DM_GETDEFID, 0, 0),
              MAKELRESULT(Form2::kCommand1, DC_HASDEFID));
    PressKey(Refresh(), VK_RETURN);
    EXPECT_EQ(fake.processEnumerations, 4);
}

// A window whose every notification fails, as one does when memory runs out while the list asks.
class FailingWindow : public Window<FailingWindow> {
  public:
    using Window::Window;
    HWND Create() { return CreateOnce(L"wtsscope.FailingWindow", L"", WS_OVERLAPPED, 1000, 1000); }

  private:
    friend class Window<FailingWindow>;
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_NOTIFY) throw std::bad_alloc();
        return DefaultHandling(message, wParam, lParam);
    }
    void Layout(int) {}
};

// A list's question that fails is answered with nothing: no row found (0 would be the first), an
// empty cell (not whatever the list's buffer held). Its box opens once the message is over, and a
// failure that goes on while the box is up (as the list repaints behind it) opens no other over it.
TEST_F(Form2Test, AFailedListQuestionIsAnsweredWithNothingAndShownInOneBoxAtATime) {
    FailingWindow window(fake.platform());
    ASSERT_NE(window.Create(), nullptr);
    NMLVFINDITEMW find{};
    find.hdr.code = LVN_ODFINDITEMW;
    const auto ask = [&] {
        return SendMessageW(window.Handle(), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&find));
    };
    EXPECT_EQ(ask(), -1);
    std::wstring cell = L"stale";
    NMLVDISPINFOW info{};
    info.hdr.code = LVN_GETDISPINFOW;
    info.item.mask = LVIF_TEXT;
    info.item.pszText = cell.data();
    info.item.cchTextMax = static_cast<int>(cell.size() + 1);
    SendMessageW(window.Handle(), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(cell.c_str(), std::wstring());
    int boxesUp = 0;
    int mostUp = 0;
    fake.whileMessageBoxIsUp = [&] {
        mostUp = std::max(mostUp, ++boxesUp);
        if (boxesUp == 1) {
            ask();
            DrainMessages();
        }
        --boxesUp;
    };
    DrainMessages();
    EXPECT_EQ(mostUp, 1);
    ask();
    DrainMessages();
    EXPECT_EQ(fake.messageBoxes.size(), 2u);
}

TEST_F(Form2Test, TypingGoesToTheNextRowWhoseSortedColumnBeginsWithTheText) {
    fake.ScriptProcesses({{0, 30, "alpha.exe", std::nullopt},
                          {0, 12, "beta.exe", std::nullopt},
                          {0, 7, "Bravo.exe", std::nullopt},
                          {0, 25, "charlie.exe", std::nullopt},
                          {0, 31, "delta.exe", std::nullopt}});
    OpenProcesses();
    SetFocus(List());
    // Unsorted, by name: a letter finds the next name, more letters narrow it, case aside.
    TypeText(List(), L"bR");
    EXPECT_EQ(SelectedIds(), std::vector<std::wstring>{L"7"});
    EXPECT_EQ(FocusedId(), L"7");
    // The list starts a new search once a moment has passed since the last key.
    Sleep(1100);
    // Sorted by identifier (7 12 25 30 31): the identifier's digits, wrapping round at the end.
    ClickHeader(List(), ProcessColumn::ProcessId);
    TypeText(List(), L"3");
    EXPECT_EQ(FocusedId(), L"30");
    Sleep(1100);
    TypeText(List(), L"1");
    EXPECT_EQ(FocusedId(), L"12");
    EXPECT_EQ(SelectedIds(), std::vector<std::wstring>{L"12"});
}

// A remote session's clipboard redirector holds the clipboard for a moment after every change.
TEST_F(Form2Test, CtrlCWaitsForAClipboardHeldForAMomentAndReportsOneHeldLonger) {
    fake.ScriptProcesses({{1, 500, "notepad.exe", std::nullopt}});
    OpenProcesses();
    SetFocus(List());
    PressKey(List(), 'A', true);
    ASSERT_TRUE(PressCtrlCWhileClipboardHeld(List(), 300));
    EXPECT_TRUE(fake.messageBoxes.empty());
    EXPECT_EQ(CopiedCells(ClipboardText()),
              (std::vector<std::vector<std::wstring>>{CheckedHeaders(),
                                                      {L"1", L"500", L"notepad.exe", L""}}));

    ASSERT_TRUE(PressCtrlCWhileClipboardHeld(List(), 2000));
    ASSERT_EQ(fake.messageBoxes.size(), 1u);
    EXPECT_EQ(fake.messageBoxes[0].title, L"Error 5");  // ERROR_ACCESS_DENIED
    EXPECT_EQ(fake.messageBoxes[0].prompt,
              L"The selected rows could not be copied to the clipboard.");

    // Opened, but the text could not be placed: that call's code.
    fake.clipboardDataFailure = ERROR_NOT_ENOUGH_MEMORY;
    PressKey(List(), 'C', true);
    ASSERT_EQ(fake.messageBoxes.size(), 2u);
    EXPECT_EQ(fake.messageBoxes[1].title, L"Error 8");
}

std::vector<HWND> toldOfNewColours;

LRESULT CALLBACK RecordColourChanges(int code, WPARAM wParam, LPARAM lParam) {
    const auto& sent = *reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && sent.message == WM_SYSCOLORCHANGE)
        toldOfNewColours.push_back(sent.hwnd);
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// What the other controls make of the news cannot be seen under Wine; its list view paints its
// text in the colour the common controls last heard of.
TEST_F(Form2Test, ANewSystemColourReachesEveryControlOfBothWindowsAndTheListPaintsInIt) {
    static constexpr COLORREF kRed = RGB(255, 0, 0);
    const auto paintsRed = [this] {
        const std::vector<COLORREF> pixels = PaintOffScreen(List());
        return std::find(pixels.begin(), pixels.end(), kRed) != pixels.end();
    };
    fake.ScriptProcesses({{0, 4, "System", "S-1-5-18"}});
    OpenMain();
    OpenProcesses();
    ASSERT_FALSE(paintsRed());
    toldOfNewColours.clear();
    const HHOOK hook =
        SetWindowsHookExW(WH_CALLWNDPROC, RecordColourChanges, nullptr, GetCurrentThreadId());
    {
        const SystemColourChange text(COLOR_WINDOWTEXT, kRed);
        EXPECT_TRUE(paintsRed());
    }
    UnhookWindowsHookEx(hook);
    for (const HWND window : {main->Handle(), processes->Handle()})
        for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
            EXPECT_NE(std::count(toldOfNewColours.begin(), toldOfNewColours.end(), child), 0)
                << ClassName(child);
    EXPECT_FALSE(paintsRed());
}

TEST_F(Form2Test, DpiChangesInBothDirectionsLandOnTheSuggestedRectangle) {
    fake.ScriptProcesses({{0, 4, "System", "S-1-5-18"}});
    OpenProcesses();
    for (const std::vector<int>& trip : {std::vector<int>{96, 192, 96}, {96, 144, 120}}) {
        for (const int dpi : trip) {
            const SIZE client{TwipsToPixels(Form2::kClientWidth, dpi),
                              TwipsToPixels(Form2::kClientHeight, dpi)};
            const Box suggested = SendDpiChange(processes->Handle(), dpi, {dpi / 2, dpi}, client);
            EXPECT_EQ(WindowBox(processes->Handle()), suggested) << dpi;
            ExpectDesignLayout(dpi);
        }
    }
}

TEST_F(Form2Test, AFullSelectionAndItsAnchorSurviveRefreshAndSortInOneCall) {
    std::vector<FakeProcess> scripted;
    for (DWORD id = 1; id <= 3000; ++id)
        scripted.push_back(
            {id % 7, 10000 - id, std::string(1, static_cast<char>('a' + id % 13)), std::nullopt});
    fake.ScriptProcesses(scripted);
    OpenProcesses();
    SetFocus(List());
    ListView_SetItemState(List(), 5, LVIS_FOCUSED, LVIS_FOCUSED);
    ListView_SetSelectionMark(List(), 5);
    const std::wstring anchor = Cell(5, ProcessColumn::ProcessId);
    PressKey(List(), 'A', true);
    ASSERT_EQ(ListView_GetSelectedCount(List()), 3000u);

    // Every state change of an owner-data list reaches its owner as LVN_ITEMCHANGED: one with
    // row -1 is the whole list at once.
    static std::vector<int> changedRows;
    static WNDPROC original = nullptr;
    original = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(processes->Handle(), GWLP_WNDPROC));
    SetWindowLongPtrW(
        processes->Handle(), GWLP_WNDPROC,
        reinterpret_cast<LONG_PTR>(+[](HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
            if (message == WM_NOTIFY) {
                const auto& change = *reinterpret_cast<const NMLISTVIEW*>(lParam);
                if (change.hdr.code == LVN_ITEMCHANGED && (change.uNewState & LVIS_SELECTED) &&
                    !(change.uOldState & LVIS_SELECTED))
                    changedRows.push_back(change.iItem);
            }
            return CallWindowProcW(original, hwnd, message, wParam, lParam);
        }));
    for (const auto& act : std::vector<std::function<void()>>{
             [this] { ClickRefresh(); },
             [this] { ClickHeader(List(), ProcessColumn::ProcessName); },
             [this] { ClickHeader(List(), ProcessColumn::SessionId); }}) {
        changedRows.clear();
        act();
        EXPECT_EQ(ListView_GetSelectedCount(List()), 3000u);
        EXPECT_EQ(changedRows, std::vector<int>{-1});
        const int mark = ListView_GetSelectionMark(List());
        ASSERT_GE(mark, 0);
        EXPECT_EQ(Cell(mark, ProcessColumn::ProcessId), anchor);
    }
    SetWindowLongPtrW(processes->Handle(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
}

class ColumnChoiceTest : public Form2Test {
  protected:
    void SetUp() override {
        Form2Test::SetUp();
        fake.ScriptProcesses({{0, 4, "System", "S-1-5-18"}, {1, 500, "notepad.exe", "S-1-5-18"}});
        OpenProcesses();
        SetWindowSubclass(processes->Handle(), PickFromMenu, 0, reinterpret_cast<DWORD_PTR>(&menu));
    }
    // The menu's item of a cost column; Escape where none.
    void Pick(std::optional<ProcessColumn> column) {
        menu.item =
            column ? std::optional(Position(*column) - kAlwaysShownColumnCount) : std::nullopt;
    }
    // A right-click on a column's header, as the mouse gives it.
    void RightClickHeader(int column, std::optional<ProcessColumn> pick) {
        Pick(pick);
        const HWND header = ListView_GetHeader(List());
        RECT rect{};
        Header_GetItemRect(header, column, &rect);
        const LPARAM at = MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
        SendMessageW(header, WM_RBUTTONDOWN, MK_RBUTTON, at);
        SendMessageW(header, WM_RBUTTONUP, 0, at);
        DrainMessages();
    }
    void PressShiftF10(std::optional<ProcessColumn> pick) {
        Pick(pick);
        SetFocus(List());
        BYTE keys[256];
        GetKeyboardState(keys);
        keys[VK_SHIFT] = 0x80;
        SetKeyboardState(keys);
        PostMessageW(List(), WM_SYSKEYDOWN, VK_F10, 1);
        PostMessageW(List(), WM_SYSKEYUP, VK_F10, 0xC0000001);
        DrainMessages();
        keys[VK_SHIFT] = 0;
        SetKeyboardState(keys);
    }
    // The cells under a header, top to bottom; none where no column has it.
    std::vector<std::wstring> Under(ProcessColumn column) const {
        const std::vector<std::wstring> headers = HeaderTexts(List());
        const auto at = std::find(headers.begin(), headers.end(), Describe(column).header);
        if (at == headers.end()) return {};
        return ListViewColumn(List(), static_cast<int>(at - headers.begin()));
    }

    MenuPick menu;
};

TEST_F(ColumnChoiceTest, TheHeadersMenuShowsAndHidesEachCostColumnInTheTablesOrder) {
    std::vector<std::wstring> headers = TableHeaders();
    std::vector<std::pair<std::wstring, bool>> offered;
    for (int column = kAlwaysShownColumnCount; column < kProcessColumnCount; ++column)
        offered.emplace_back(kProcessColumns[column].header, false);
    RightClickHeader(0, ProcessColumn::Memory);
    EXPECT_EQ(menu.offered, offered);
    headers.emplace_back(L"Memory (KB)");
    EXPECT_EQ(HeaderTexts(List()), headers);
    // From the keyboard, the column takes its place in the table's order, before the memory.
    PressShiftF10(ProcessColumn::Threads);
    ASSERT_EQ(menu.opened, 2);
    offered[2].second = true;
    EXPECT_EQ(menu.offered, offered);
    headers.insert(headers.begin() + kAlwaysShownColumnCount, L"Threads");
    EXPECT_EQ(HeaderTexts(List()), headers);
    EXPECT_EQ(Under(ProcessColumn::ProcessName),
              (std::vector<std::wstring>{L"System", L"notepad.exe"}));
    // Dismissed, the menu changes nothing; a right-click on the rows opens none.
    RightClickHeader(1, std::nullopt);
    EXPECT_EQ(HeaderTexts(List()), headers);
    RECT list{};
    GetWindowRect(List(), &list);
    SendMessageW(processes->Handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(List()),
                 MAKELPARAM(list.left + 4, list.bottom - 4));
    EXPECT_EQ(menu.opened, 3);
    // A shown column is as wide as its header at least, and the copy holds it.
    const WindowDC dc(List());
    const SelectedObject font(dc.get(),
                              reinterpret_cast<HFONT>(SendMessageW(List(), WM_GETFONT, 0, 0)));
    EXPECT_GT(ListView_GetColumnWidth(List(), 5), TextWidth(dc.get(), L"Memory (KB)"));
    ListView_SetItemState(List(), 1, LVIS_SELECTED, LVIS_SELECTED);
    PressKey(List(), 'C', true);
    EXPECT_EQ(ClipboardText(),
              L"Session ID\tProcess ID\tProcess Name\tUser ID\tThreads\tMemory "
              L"(KB)\r\n1\t500\tnotepad.exe\tNT AUTHORITY\\SYSTEM\t0\t0\r\n");
    // Hidden again, a column is no column of the list; the next opening shows the four again.
    RightClickHeader(0, ProcessColumn::Threads);
    headers.erase(headers.begin() + kAlwaysShownColumnCount);
    EXPECT_EQ(HeaderTexts(List()), headers);
    SendMessageW(processes->Handle(), WM_CLOSE, 0, 0);
    OpenProcesses();
    EXPECT_EQ(HeaderTexts(List()), TableHeaders());
}

TEST_F(ColumnChoiceTest, ACostColumnSortsLargestFirstUnderADownArrowAndFitsItsFigures) {
    const auto process = [](DWORD id, const char* name, DWORD workingSet) {
        return FakeProcess{.SessionId = 1,
                           .ProcessId = id,
                           .ProcessName = name,
                           .UserSid = "S-1-5-18",
                           .WorkingSetSize = workingSet};
    };
    fake.ScriptProcesses({process(4, "System", 20480), process(500, "notepad.exe", 4096000),
                          process(600, "calc.exe", 40960), process(700, "idle.exe", 20480)});
    ClickRefresh();
    RightClickHeader(0, ProcessColumn::Memory);
    // Wide enough for the header to take a click on every column.
    SetClientSize(processes->Handle(), 1600, 600);
    const int memory = kAlwaysShownColumnCount;
    const auto width = [this] { return ListView_GetColumnWidth(List(), kAlwaysShownColumnCount); };
    ClickHeader(List(), memory);
    EXPECT_EQ(Under(ProcessColumn::ProcessId),
              (std::vector<std::wstring>{L"500", L"600", L"4", L"700"}));
    EXPECT_EQ(Under(ProcessColumn::Memory),
              (std::vector<std::wstring>{L"4000", L"40", L"20", L"20"}));
    EXPECT_EQ(SortArrows(List()), (std::vector<int>{0, 0, 0, 0, HDF_SORTDOWN}));
    // Typing looks in the figures; a refresh keeps the order and the selection, and a width the
    // user sets, which follows the DPI.
    SetFocus(List());
    TypeText(List(), L"2");
    EXPECT_EQ(SelectedIds(), std::vector<std::wstring>{L"4"});
    fake.ScriptProcesses({process(600, "calc.exe", 40960), process(4, "System", 4000000000u)});
    ClickRefresh();
    EXPECT_EQ(Under(ProcessColumn::Memory), (std::vector<std::wstring>{L"3906250", L"40"}));
    EXPECT_EQ(SelectedIds(), std::vector<std::wstring>{L"4"});
    PressDivider(List(), memory, -10);
    const int dragged = width();
    ClickRefresh();
    EXPECT_EQ(width(), dragged);
    SendDpiChange(
        processes->Handle(), 192, {96, 192},
        {TwipsToPixels(Form2::kClientWidth, 192), TwipsToPixels(Form2::kClientHeight, 192)});
    EXPECT_EQ(width(), 2 * dragged);
    // A column shown before it moves the arrow along; hiding the sorted column keeps its order.
    RightClickHeader(0, ProcessColumn::Threads);
    EXPECT_EQ(SortArrows(List()), (std::vector<int>{0, 0, 0, 0, 0, HDF_SORTDOWN}));
    RightClickHeader(0, ProcessColumn::Memory);
    EXPECT_EQ(SortArrows(List()), std::vector<int>(5, 0));
    EXPECT_EQ(Under(ProcessColumn::ProcessId), (std::vector<std::wstring>{L"4", L"600"}));
}

}  // namespace
}  // namespace wtsscope
