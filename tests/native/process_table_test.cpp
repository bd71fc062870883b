#include "process_window/process_table.h"

#include <gtest/gtest.h>

#include <cwctype>
#include <limits>

namespace wtsscope {
namespace {

int CaseInsensitive(const std::wstring& a, const std::wstring& b) {
    const std::size_t length = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < length; ++i) {
        const auto x = std::towlower(a[i]);
        const auto y = std::towlower(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return (a.size() > b.size()) - (a.size() < b.size());
}

class ProcessTableTest : public ::testing::Test {
  protected:
    // Rows in the platform's order: session, identifier, name, account.
    void Fill(const std::vector<std::tuple<int, int, std::wstring, std::wstring>>& rows) {
        table.Clear();
        for (const auto& [session, id, name, user] : rows)
            table.Add({session, id, name, table.AddUser(user)});
        table.Finish();
    }

    std::vector<std::wstring> Column(ProcessColumn column) const {
        std::vector<std::wstring> cells;
        for (std::size_t i = 0; i < table.Size(); ++i) cells.push_back(table.CellText(i, column));
        return cells;
    }

    ProcessTable table{CaseInsensitive};
};

TEST_F(ProcessTableTest, ShowsRowsInThePlatformsOrderUntilSorted) {
    Fill({{1, 500, L"notepad.exe", L"CORP\\ann"}, {0, 4, L"System", L"NT AUTHORITY\\SYSTEM"}});
    EXPECT_EQ(Column(ProcessColumn::SessionId), (std::vector<std::wstring>{L"1", L"0"}));
    EXPECT_EQ(Column(ProcessColumn::ProcessId), (std::vector<std::wstring>{L"500", L"4"}));
    EXPECT_EQ(Column(ProcessColumn::ProcessName),
              (std::vector<std::wstring>{L"notepad.exe", L"System"}));
    EXPECT_EQ(Column(ProcessColumn::UserId),
              (std::vector<std::wstring>{L"CORP\\ann", L"NT AUTHORITY\\SYSTEM"}));
    EXPECT_FALSE(table.SortColumn());
}

TEST_F(ProcessTableTest, NumberColumnsSortByValueNotText) {
    Fill({{2, 10, L"a", L""}, {10, 9, L"b", L""}, {1, 100, L"c", L""}, {0, -1, L"d", L""}});
    table.SortBy(ProcessColumn::ProcessId);
    EXPECT_EQ(Column(ProcessColumn::ProcessId),
              (std::vector<std::wstring>{L"-1", L"9", L"10", L"100"}));
    table.SortBy(ProcessColumn::SessionId);
    EXPECT_EQ(Column(ProcessColumn::SessionId),
              (std::vector<std::wstring>{L"0", L"1", L"2", L"10"}));
}

TEST_F(ProcessTableTest, TextColumnsSortIgnoringCaseAndTiesKeepThePlatformsOrder) {
    Fill({{0, 1, L"svchost.exe", L"b"},
          {0, 2, L"Explorer.EXE", L"A"},
          {0, 3, L"SVCHOST.EXE", L"a"},
          {0, 4, L"csrss.exe", L"B"},
          {0, 5, L"svchost.exe", L"a"}});
    table.SortBy(ProcessColumn::ProcessName);
    EXPECT_EQ(Column(ProcessColumn::ProcessId),
              (std::vector<std::wstring>{L"4", L"2", L"1", L"3", L"5"}));
    // Sorting again by the same column changes nothing: there is no toggling.
    table.SortBy(ProcessColumn::ProcessName);
    EXPECT_EQ(Column(ProcessColumn::ProcessId),
              (std::vector<std::wstring>{L"4", L"2", L"1", L"3", L"5"}));
    // Ties under the new column keep the platform's order, not the previous sort's.
    table.SortBy(ProcessColumn::UserId);
    EXPECT_EQ(Column(ProcessColumn::ProcessId),
              (std::vector<std::wstring>{L"2", L"3", L"5", L"1", L"4"}));
}

TEST_F(ProcessTableTest, SortSurvivesARefreshAndResetForgetsIt) {
    Fill({{0, 30, L"c", L""}, {0, 10, L"a", L""}});
    table.SortBy(ProcessColumn::ProcessId);
    Fill({{0, 20, L"b", L""}, {0, 5, L"e", L""}, {0, 40, L"d", L""}});
    EXPECT_EQ(table.SortColumn(), ProcessColumn::ProcessId);
    EXPECT_EQ(Column(ProcessColumn::ProcessId), (std::vector<std::wstring>{L"5", L"20", L"40"}));
    table.Reset();
    EXPECT_EQ(table.Size(), 0u);
    Fill({{0, 20, L"b", L""}, {0, 5, L"e", L""}});
    EXPECT_EQ(Column(ProcessColumn::ProcessId), (std::vector<std::wstring>{L"20", L"5"}));
}

TEST_F(ProcessTableTest, ComparatorsAreStrictWeakOrderingsAtTheExtremes) {
    const auto min = std::numeric_limits<std::int32_t>::min();
    const auto max = std::numeric_limits<std::int32_t>::max();
    // 4294967295 from the platform is -1 as the signed value shown.
    const std::vector<int> values{0, -1, min, max, 1, max, 0};
    Fill({});
    std::vector<ProcessRow> rows;
    for (int value : values) rows.push_back({value, value, std::wstring(1, L'a'), 0});
    for (const auto column : {ProcessColumn::SessionId, ProcessColumn::ProcessId}) {
        for (const auto& a : rows) {
            EXPECT_EQ(table.Compare(column, a, a), 0);
            for (const auto& b : rows) {
                EXPECT_EQ(table.Compare(column, a, b), -table.Compare(column, b, a));
                EXPECT_EQ(table.Compare(column, a, b),
                          (a.SessionId > b.SessionId) - (a.SessionId < b.SessionId));
                for (const auto& c : rows) {
                    if (table.Compare(column, a, b) < 0 && table.Compare(column, b, c) < 0) {
                        EXPECT_LT(table.Compare(column, a, c), 0);
                    }
                }
            }
        }
    }
    EXPECT_LT(CompareProcessId({0, min, L"", 0}, {0, max, L"", 0}), 0);
    EXPECT_GT(CompareSessionId({max, 0, L"", 0}, {min, 0, L"", 0}), 0);
}

}  // namespace
}  // namespace wtsscope
