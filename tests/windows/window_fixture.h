#pragma once

// The real windows on a scripted platform, as every window test starts them: each test begins as a
// fresh program would, and ends with every buffer the platform handed out released exactly once.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "main_window/form1.h"
#include "process_window/form2.h"
#include "tests/fakes/fake_platform.h"
#include "tests/windows/user_input.h"
#include "tests/windows/window_readers.h"

namespace wtsscope {

// The cells most window tests compare, so that a column added to the table changes none of them.
constexpr ProcessColumn kCheckedColumns[] = {ProcessColumn::SessionId, ProcessColumn::ProcessId,
                                             ProcessColumn::ProcessName, ProcessColumn::UserId};

inline int Position(ProcessColumn column) { return static_cast<int>(column); }

// The headers of the columns a window opens with, in the table's order.
inline std::vector<std::wstring> TableHeaders() {
    std::vector<std::wstring> headers;
    for (int column = 0; column < kAlwaysShownColumnCount; ++column)
        headers.emplace_back(kProcessColumns[column].header);
    return headers;
}

inline void ClickHeader(HWND listView, ProcessColumn column) {
    ClickHeader(listView, Position(column));
}

// Both windows on a platform, reached the way a user reaches them. The windows stay hidden unless
// a test needs them shown: Wine maps and unmaps shown windows slowly on a display with no window
// manager.
class Windows {
  public:
    explicit Windows(const Platform& platform) : platform_(platform) {}
    ~Windows() {
        main.reset();
        processes.reset();
        DrainMessages();
    }
    Windows(const Windows&) = delete;
    Windows& operator=(const Windows&) = delete;

    void OpenMain() {
        main = std::make_unique<Form1>(platform_, [this] { ++processWindowRequests; });
        ASSERT_NE(main->Create(), nullptr);
    }
    // Loads the process window as the main window's button does, without showing it.
    void OpenProcesses() {
        if (!processes) processes = std::make_unique<Form2>(platform_);
        processes->Create();
        DrainMessages();
    }
    // Opens it as the main window's button does, shown, then hides it again.
    void ShowProcesses() {
        if (!processes) processes = std::make_unique<Form2>(platform_);
        processes->Show();
        ShowWindow(processes->Handle(), SW_HIDE);
        DrainMessages();
    }

    HWND MainControl(int id) const { return GetDlgItem(main->Handle(), id); }
    void ListSessions() { ClickButton(MainControl(Form1::kCommand1)); }
    std::vector<std::wstring> Report() const { return ListBoxLines(MainControl(Form1::kList1)); }

    HWND List() const { return GetDlgItem(processes->Handle(), Form2::kListView1); }
    HWND Refresh() const { return GetDlgItem(processes->Handle(), Form2::kCommand1); }
    void ClickRefresh() { ClickButton(Refresh()); }
    std::vector<std::wstring> Column(ProcessColumn column) const {
        return ListViewColumn(List(), Position(column));
    }
    std::wstring Cell(int row, ProcessColumn column) const {
        return ListViewCell(List(), row, Position(column));
    }
    // A row's cells in the checked columns.
    std::vector<std::wstring> Row(int row) const {
        std::vector<std::wstring> cells;
        for (const ProcessColumn column : kCheckedColumns) cells.push_back(Cell(row, column));
        return cells;
    }
    std::vector<std::vector<std::wstring>> Rows() const {
        std::vector<std::vector<std::wstring>> rows;
        for (int row = 0; row < ListViewRows(List()); ++row) rows.push_back(Row(row));
        return rows;
    }
    // The process identifiers of the selected rows, top to bottom.
    std::vector<std::wstring> SelectedIds() const {
        std::vector<std::wstring> ids;
        for (int row = ListView_GetNextItem(List(), -1, LVNI_SELECTED); row >= 0;
             row = ListView_GetNextItem(List(), row, LVNI_SELECTED))
            ids.push_back(Cell(row, ProcessColumn::ProcessId));
        return ids;
    }
    std::wstring FocusedId() const {
        const int row = ListView_GetNextItem(List(), -1, LVNI_FOCUSED);
        return row < 0 ? L"" : Cell(row, ProcessColumn::ProcessId);
    }

    std::unique_ptr<Form1> main;
    std::unique_ptr<Form2> processes;
    int processWindowRequests = 0;

  private:
    const Platform& platform_;
};

// The scripted platform comes first, so that the windows can be given it.
struct ScriptedPlatform {
    testing::FakePlatform fake;
};

class WindowTest : public ::testing::Test, protected ScriptedPlatform, protected Windows {
  protected:
    WindowTest() : Windows(fake.platform()) {}

    // A window that opens asks for its accounts on a thread of its own; these wait for the names,
    // as a user looking at them does, unless the lookups are held.
    void OpenProcesses() {
        AwaitingAccountNames([this] { Windows::OpenProcesses(); });
    }
    void ShowProcesses() {
        AwaitingAccountNames([this] { Windows::ShowProcesses(); });
    }

    // Waits until the lookups have been called so many times in all and every call is answered,
    // then hands the answers to the window.
    void AwaitAccountNames(std::size_t calls) {
        EXPECT_TRUE(WaitUntil([&] {
            return fake.LookupCallCount() >= calls && fake.LookupsSettled();
        })) << "no answer to lookup "
            << calls;
        DrainMessages();
    }

    void SetUp() override {
        fake.accounts["S-1-5-18"] = {L"NT AUTHORITY", L"SYSTEM"};
        fake.accounts["S-1-5-21-7-8-9-1001"] = {L"CORP", L"ann"};
    }

    void TearDown() override {
        main.reset();
        processes.reset();
        DrainMessages();
        EXPECT_EQ(fake.LiveBuffers(), 0u);
        EXPECT_EQ(fake.BadReleases(), 0);
        fake.ReleaseLookups();
        AwaitAccountNames(0);
        EXPECT_EQ(fake.LookupLeaks(), 0);
    }

  private:
    // A window that opens asks about each account once, in one call or several.
    template <class Open>
    void AwaitingAccountNames(Open open) {
        const bool opening = !processes || !processes->Handle();
        const int asked = fake.AccountsAsked();
        open();
        const auto accounts = static_cast<int>(fake.ScriptedAccounts());
        if (!opening || accounts == 0 || fake.HoldingLookups()) return;
        EXPECT_TRUE(WaitUntil([&] {
            return fake.AccountsAsked() >= asked + accounts && fake.LookupsSettled();
        })) << "not every account asked about";
        DrainMessages();
    }
};

}  // namespace wtsscope
