#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "process_window/process_table.h"

namespace wtsscope {
namespace {

int Ordinal(std::wstring_view a, std::wstring_view b) { return a.compare(b); }

struct CostRow {
    std::int32_t processId;
    std::wstring name;
    std::optional<ProcessCosts> costs;
};

class CostColumnsTest : public ::testing::Test {
  protected:
    void Fill(const std::vector<CostRow>& rows, std::optional<FillTime> time) {
        table.Clear();
        for (const CostRow& row : rows)
            table.Add({{.processId = row.processId},
                       row.name,
                       nullptr,
                       row.costs ? &*row.costs : nullptr});
        table.Finish(time);
    }
    std::vector<std::wstring> Column(ProcessColumn column) const {
        std::vector<std::wstring> cells;
        for (std::size_t i = 0; i < table.Size(); ++i) cells.push_back(table.CellText(i, column));
        return cells;
    }

    ProcessTable table{Ordinal, [](const void*) { return std::wstring(); }};
};

constexpr std::uint64_t kSecond = 10'000'000;

TEST_F(CostColumnsTest, FiguresAreUnsignedDecimalsKilobytesRoundedDownAndHoursUnbounded) {
    const std::uint32_t most = std::numeric_limits<std::uint32_t>::max();
    Fill({{1, L"a", ProcessCosts{most, 0, 2047, most, 1023, 0}},
          {2, L"b", ProcessCosts{7, 12, 1024, 0, 0, kSecond - 1}},
          {3, L"c", ProcessCosts{1, 1, 0, 0, 0, 3600 * kSecond - 1}},
          {4, L"d", ProcessCosts{1, 1, 0, 0, 0, (100 * 3600 + 1) * kSecond}},
          {5, L"e", ProcessCosts{1, 1, 0, 0, 0, std::numeric_limits<std::uint64_t>::max()}},
          {6, L"f", std::nullopt}},
         FillTime{kSecond, 2});
    using Cells = std::vector<std::wstring>;
    EXPECT_EQ(Column(ProcessColumn::Threads), (Cells{L"4294967295", L"7", L"1", L"1", L"1", L""}));
    EXPECT_EQ(Column(ProcessColumn::Handles), (Cells{L"0", L"12", L"1", L"1", L"1", L""}));
    EXPECT_EQ(Column(ProcessColumn::Memory), (Cells{L"1", L"1", L"0", L"0", L"0", L""}));
    EXPECT_EQ(Column(ProcessColumn::PeakMemory), (Cells{L"4194303", L"0", L"0", L"0", L"0", L""}));
    EXPECT_EQ(Column(ProcessColumn::PrivateMemory), (Cells{L"0", L"0", L"0", L"0", L"0", L""}));
    EXPECT_EQ(Column(ProcessColumn::ProcessorTime),
              (Cells{L"0:00:00", L"0:00:00", L"0:59:59", L"100:00:01", L"512409557:36:10", L""}));
    // Nothing to compare with at the first fill.
    EXPECT_EQ(Column(ProcessColumn::ProcessorShare), Cells(6));
    EXPECT_EQ(table.WidthCandidates(ProcessColumn::ProcessorTime), Cells{L"512409557:36:10"});
    EXPECT_EQ(table.WidthCandidates(ProcessColumn::Threads), Cells{L"4294967295"});
}

TEST_F(CostColumnsTest, ShareOfTheProcessorIsTheChangeOverTheTimeOnEveryProcessor) {
    struct Case {
        std::uint64_t before, after, elapsed;
        std::uint32_t processors;
        const wchar_t* laterName;
        const wchar_t* share;
    } cases[] = {
        {0, kSecond / 2, kSecond, 1, L"p", L"50"},
        {kSecond, 2 * kSecond, kSecond, 4, L"p", L"25"},  // a quarter of four processors
        {0, 5, 1000, 1, L"p", L"1"},                      // 0.5 rounds up
        {0, 4, 1000, 1, L"p", L"0"},
        {0, 3 * kSecond, kSecond, 1, L"p", L"100"},   // held to the whole machine
        {0, 1ull << 61, 1ull << 62, 4, L"p", L"13"},  // times beyond 64 bits once multiplied
        {kSecond, 0, kSecond, 1, L"p", L""},          // the change is negative
        {0, kSecond, 0, 1, L"p", L""},                // no time passed
        {0, kSecond, kSecond, 1, L"q", L""},          // another process under the identifier
    };
    for (const Case& c : cases) {
        table.Reset();
        const auto costs = [](std::uint64_t time) { return ProcessCosts{1, 1, 0, 0, 0, time}; };
        // The later fill has the processes in another order, and one new.
        Fill({{8, L"p", costs(c.before)}, {4, L"r", costs(0)}}, FillTime{1000, c.processors});
        Fill({{12, L"new", costs(kSecond)}, {4, L"r", costs(0)}, {8, c.laterName, costs(c.after)}},
             FillTime{1000 + c.elapsed, c.processors});
        EXPECT_EQ(Column(ProcessColumn::ProcessorShare),
                  (std::vector<std::wstring>{L"", c.elapsed ? L"0" : L"", c.share}))
            << c.before << " to " << c.after << " in " << c.elapsed;
    }
    // A fill without costs has no share, nor has the one after it.
    table.Reset();
    Fill({{8, L"p", ProcessCosts{}}}, FillTime{0, 1});
    Fill({{8, L"p", std::nullopt}}, std::nullopt);
    EXPECT_EQ(Column(ProcessColumn::ProcessorShare), std::vector<std::wstring>{L""});
    Fill({{8, L"p", ProcessCosts{}}}, FillTime{kSecond, 1});
    EXPECT_EQ(Column(ProcessColumn::ProcessorShare), std::vector<std::wstring>{L""});
    Fill({{8, L"p", ProcessCosts{}}}, FillTime{2 * kSecond, 1});
    EXPECT_EQ(Column(ProcessColumn::ProcessorShare), std::vector<std::wstring>{L"0"});
    // Names no row uses any more are forgotten between two fills: the process is still known.
    std::vector<CostRow> many;
    for (int i = 0; i < 5000; ++i) many.push_back({i, std::to_wstring(i), ProcessCosts{}});
    Fill(many, FillTime{3 * kSecond, 1});
    Fill({{8, L"late", ProcessCosts{1, 1, 0, 0, 0, 0}}}, FillTime{4 * kSecond, 1});
    Fill({{8, L"late", ProcessCosts{1, 1, 0, 0, 0, kSecond / 4}}}, FillTime{5 * kSecond, 1});
    EXPECT_EQ(Column(ProcessColumn::ProcessorShare), std::vector<std::wstring>{L"25"});
}

TEST_F(CostColumnsTest, CostsSortLargestFirstByTheFigureShownEmptyLastTiesInThePlatformsOrder) {
    const auto memory = [](std::uint32_t bytes) { return ProcessCosts{1, 1, bytes, 0, 0, 0}; };
    Fill({{1, L"a", memory(2048)},
          {2, L"b", std::nullopt},
          {3, L"c", memory(3071)},  // the same kilobytes as 2048
          {4, L"d", memory(4096)},
          {5, L"e", memory(0)}},
         FillTime{0, 1});
    table.SortBy(ProcessColumn::Memory);
    EXPECT_EQ(Column(ProcessColumn::ProcessId),
              (std::vector<std::wstring>{L"4", L"1", L"3", L"5", L"2"}));
    // A number column sorts ascending again.
    table.SortBy(ProcessColumn::ProcessId);
    EXPECT_EQ(Column(ProcessColumn::ProcessId),
              (std::vector<std::wstring>{L"1", L"2", L"3", L"4", L"5"}));
    // Type-ahead reads the figures as shown.
    table.SortBy(ProcessColumn::Memory);
    EXPECT_EQ(table.Find({L"2", TextMatch::Prefix, 0, true}, ProcessColumn::Memory), 1u);
    EXPECT_EQ(table.Find({L"1:", TextMatch::Prefix, 0, true}, ProcessColumn::ProcessorTime),
              std::nullopt);
    EXPECT_EQ(table.RowsAsText({0, 4}, {ProcessColumn::ProcessName, ProcessColumn::Memory}),
              L"Process Name\tMemory (KB)\r\nd\t4\r\nb\t\r\n");
}

}  // namespace
}  // namespace wtsscope
