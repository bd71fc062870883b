#include "process_window/process_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>
#include <limits>
#include <numeric>
#include <random>

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

// The comparison above, counted, so a test can see which texts were compared at all.
int comparisons = 0;
int CountedCaseInsensitive(const std::wstring& a, const std::wstring& b) {
    ++comparisons;
    return CaseInsensitive(a, b);
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

TEST_F(ProcessTableTest, ExtremeIdentifiersSortBySignedValue) {
    const auto min = std::numeric_limits<std::int32_t>::min();
    const auto max = std::numeric_limits<std::int32_t>::max();
    // The platform's 4294967295 arrives as -1; keys must not order it after 2147483647.
    Fill({{max, 0, L"a", L""},
          {0, -1, L"b", L""},
          {-1, max, L"c", L""},
          {min, 0, L"d", L""},
          {1, min, L"e", L""},
          {0, 0, L"f", L""}});
    table.SortBy(ProcessColumn::SessionId);
    EXPECT_EQ(Column(ProcessColumn::SessionId),
              (std::vector<std::wstring>{L"-2147483648", L"-1", L"0", L"0", L"1", L"2147483647"}));
    EXPECT_EQ(Column(ProcessColumn::ProcessName),
              (std::vector<std::wstring>{L"d", L"c", L"b", L"f", L"e", L"a"}));
    table.SortBy(ProcessColumn::ProcessId);
    EXPECT_EQ(Column(ProcessColumn::ProcessName),
              (std::vector<std::wstring>{L"e", L"b", L"a", L"d", L"f", L"c"}));
}

TEST_F(ProcessTableTest, NoRowsAreShownBetweenClearAndFinish) {
    Fill({{0, 1, L"a", L""}, {0, 2, L"b", L""}});
    table.SortBy(ProcessColumn::ProcessId);
    table.Clear();
    table.Add({0, 3, L"c", table.AddUser(L"")});
    // A paint in between asks for nothing that is not there yet.
    EXPECT_EQ(table.Size(), 0u);
    table.Finish();
    EXPECT_EQ(table.Size(), 1u);
}

// A stand-in for the code page: each byte its own character, the conversions counted.
int conversions = 0;
std::wstring Widened(std::string_view bytes) {
    ++conversions;
    return std::wstring(bytes.begin(), bytes.end());
}

TEST_F(ProcessTableTest, EachDistinctNameIsConvertedOnceWhileTheWindowLasts) {
    const auto fill = [&](int count, int distinct, const std::string& prefix) {
        table.Clear();
        const std::uint32_t user = table.AddUser(L"CORP\\ann");
        for (int i = 0; i < count; ++i) {
            const std::string name = prefix + std::to_string(i % distinct);
            table.Add(
                1, i, name, [&name] { return Widened(name); }, user);
        }
        table.Finish();
    };
    conversions = 0;
    fill(3000, 50, "app");
    EXPECT_EQ(conversions, 50);
    EXPECT_EQ(table.Row(2999).ProcessName, L"app49");
    EXPECT_EQ(table.CellText(51, ProcessColumn::ProcessName), L"app1");
    EXPECT_EQ(table.UserText(table.Row(7)), L"CORP\\ann");
    // A refresh meets the same names: nothing to convert.
    fill(3000, 60, "app");
    EXPECT_EQ(conversions, 60);
    table.SortBy(ProcessColumn::ProcessName);
    EXPECT_EQ(table.Row(0).ProcessName, L"app0");
    EXPECT_EQ(table.Row(2999).ProcessName, L"app9");

    // Once the names known far outnumber the rows, they are forgotten, and a name seen again is
    // converted again.
    fill(6000, 6000, "once");
    fill(10, 10, "app");
    conversions = 0;
    fill(10, 10, "app");
    EXPECT_EQ(conversions, 10);
    fill(10, 10, "app");
    EXPECT_EQ(conversions, 10);
    EXPECT_EQ(table.Row(9).ProcessName, L"app9");
    // A closed window forgets every name.
    table.Reset();
    fill(10, 10, "app");
    EXPECT_EQ(conversions, 20);
}

// Rows with many ties and texts equal but for case, shuffled; refilled several times under a sort,
// each time with names the table has and has not seen. Every column's order must be exactly that of
// a stable sort by the comparators.
TEST_F(ProcessTableTest, SortingAgreesWithAStableSortByTheComparatorsAcrossRefreshes) {
    const std::vector<std::wstring> words{
        L"svchost.exe", L"SVCHOST.EXE", L"chrome.exe",   L"a", L"A", L"", L"zz", L"Z",
        L"b-b",         L"bb",          L"\u00e9t\u00e9"};
    std::mt19937 random(7);
    for (int refill = 0; refill < 6; ++refill) {
        std::vector<ProcessRow> rows;
        table.Clear();
        std::vector<std::uint32_t> users;
        for (const wchar_t* user : {L"NT AUTHORITY\\SYSTEM", L"corp\\ann", L"CORP\\ANN", L""})
            users.push_back(table.AddUser(user));
        for (int i = 0; i < 300; ++i) {
            // Each refill brings names no earlier one had.
            const std::wstring name = random() % 4 == 0 ? L"new" + std::to_wstring(refill) + L"-" +
                                                              std::to_wstring(random() % 20)
                                                        : words[random() % words.size()];
            rows.push_back({static_cast<std::int32_t>(random() % 5) - 2,
                            static_cast<std::int32_t>(random() % 50), name,
                            users[random() % users.size()]});
            table.Add(rows.back());
        }
        table.Finish();
        for (int step = 0; step < 4; ++step) {
            const auto column = static_cast<ProcessColumn>((refill + step) % kProcessColumnCount);
            table.SortBy(column);
            std::vector<ProcessRow> expected = rows;
            std::stable_sort(expected.begin(), expected.end(),
                             [&](const ProcessRow& a, const ProcessRow& b) {
                                 return table.Compare(column, a, b) < 0;
                             });
            ASSERT_EQ(table.Size(), expected.size());
            for (std::size_t i = 0; i < expected.size(); ++i) {
                const ProcessRow shown = table.Row(i);
                ASSERT_EQ(shown.ProcessId, expected[i].ProcessId)
                    << "refill " << refill << " row " << i;
                ASSERT_EQ(shown.ProcessName, expected[i].ProcessName);
                ASSERT_EQ(shown.SessionId, expected[i].SessionId);
                ASSERT_EQ(shown.User, expected[i].User);
            }
        }
    }
}

// --- The pieces the sort is made of --------------------------------------------------------

TEST(TextRanksTest, RanksFollowTheComparisonAndEqualTextsShareOne) {
    TextRanks ranks(CaseInsensitive);
    const std::vector<std::wstring> texts{L"b", L"A", L"a", L"", L"c", L"B", L"ab"};
    std::vector<std::uint32_t> numbers;
    for (const std::wstring& text : texts) numbers.push_back(ranks.Number(text));
    ranks.Place();
    for (std::size_t i = 0; i < texts.size(); ++i) {
        for (std::size_t j = 0; j < texts.size(); ++j) {
            const int order = CaseInsensitive(texts[i], texts[j]);
            const auto a = ranks.Rank(numbers[i]), b = ranks.Rank(numbers[j]);
            EXPECT_EQ((a > b) - (a < b), (order > 0) - (order < 0)) << i << " " << j;
        }
    }
    // Ranks are dense: "", "a"/"A", "ab", "b"/"B", "c".
    EXPECT_EQ(ranks.Rank(numbers[4]), 4u);
}

TEST(TextRanksTest, TextsPlacedInBatchesRankAsIfPlacedAtOnce) {
    std::vector<std::wstring> texts;
    for (int i = 0; i < 200; ++i) {
        std::wstring text = std::to_wstring((i * 7919) % 113);
        if (i % 3 == 0) text = L"X" + text;
        if (i % 5 == 0) text = L"x" + text.substr(text[0] == L'X' ? 1 : 0);
        texts.push_back(text);
    }
    TextRanks once(CaseInsensitive);
    for (const std::wstring& text : texts) once.Number(text);
    once.Place();
    // Batches of growing size land before, among, between and after the texts already placed.
    TextRanks batches(CaseInsensitive);
    std::size_t next = 0;
    for (std::size_t batch = 1; next < texts.size(); batch *= 2) {
        for (std::size_t end = std::min(texts.size(), next + batch); next < end; ++next)
            batches.Number(texts[next]);
        batches.Place();
    }
    for (const std::wstring& text : texts)
        EXPECT_EQ(batches.Rank(batches.Number(text)), once.Rank(once.Number(text))) << text;
}

TEST(TextRanksTest, KnownTextsAreNotComparedAgainAndNewOnesOnlyWithAFew) {
    TextRanks ranks(CountedCaseInsensitive);
    for (int i = 0; i < 1024; ++i) ranks.Number(L"name" + std::to_wstring(i));
    ranks.Place();
    comparisons = 0;
    for (int i = 0; i < 1024; ++i) ranks.Number(L"name" + std::to_wstring(i));
    ranks.Place();
    EXPECT_EQ(comparisons, 0);
    // One newcomer: a binary search and its two neighbours, not a comparison with every text.
    ranks.Number(L"name5000");
    ranks.Place();
    EXPECT_LE(comparisons, 14);
    EXPECT_LT(ranks.Rank(ranks.Number(L"name500")), ranks.Rank(ranks.Number(L"name5000")));
    EXPECT_LT(ranks.Rank(ranks.Number(L"name5000")), ranks.Rank(ranks.Number(L"name501")));
}

TEST(StringNumbersTest, EqualStringsShareANumberAndDistinctOnesNeverDo) {
    // Identifiers as bytes: zeros inside, and strings differing only in their last byte.
    StringNumbers<char> numbers;
    std::vector<std::string> keys{std::string()};
    for (int i = 0; i < 5000; ++i) {
        std::string key(28, '\0');
        key[0] = 1;
        key[1] = 5;
        key[27] = static_cast<char>(i & 0xFF);
        key[26] = static_cast<char>(i >> 8);
        keys.push_back(key);
        keys.push_back(key.substr(0, 12 + i % 16));
    }
    // Short strings that differ in a single byte anywhere.
    for (std::size_t length = 1; length <= 17; ++length)
        for (std::size_t at = 0; at < length; ++at) {
            std::string key(length, 'a');
            key[at] = 'b';
            keys.push_back(key);
            keys.push_back(std::string(length, 'a'));
        }
    std::vector<std::uint32_t> first;
    for (const std::string& key : keys) first.push_back(numbers.Number(key));
    for (std::size_t i = 0; i < keys.size(); ++i) {
        EXPECT_EQ(numbers.Number(keys[i]), first[i]);
        EXPECT_EQ(numbers.Text(first[i]), keys[i]);
    }
    std::vector<std::string> distinct = keys;
    std::sort(distinct.begin(), distinct.end());
    distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
    EXPECT_EQ(numbers.Size(), distinct.size());
    numbers.Clear();
    EXPECT_EQ(numbers.Number("x"), 0u);
}

TEST(OrderByKeyTest, OrdersByKeyAndKeepsPositionOrderAmongEqualKeys) {
    std::vector<std::uint32_t> order, scratch;
    OrderByKey({}, order, scratch);
    EXPECT_TRUE(order.empty());
    OrderByKey({7}, order, scratch);
    EXPECT_EQ(order, (std::vector<std::uint32_t>{0}));
    // Keys that differ in one byte only, the extremes, and runs of equal keys.
    const std::vector<std::uint32_t> keys{
        0xFFFFFFFF, 0x00010000, 0, 0x00010000, 0xFFFFFFFF, 0x01000000, 0, 0x000000FF, 0x00010000};
    OrderByKey(keys, order, scratch);
    EXPECT_EQ(order, (std::vector<std::uint32_t>{2, 6, 7, 1, 3, 8, 5, 0, 4}));
    std::vector<std::uint32_t> many(5000);
    std::mt19937 random(3);
    for (std::uint32_t& key : many) key = random() % 64 * 0x01010101u;
    OrderByKey(many, order, scratch);
    std::vector<std::uint32_t> expected(many.size());
    std::iota(expected.begin(), expected.end(), 0u);
    std::stable_sort(expected.begin(), expected.end(),
                     [&](std::uint32_t a, std::uint32_t b) { return many[a] < many[b]; });
    EXPECT_EQ(order, expected);
}

}  // namespace
}  // namespace wtsscope
