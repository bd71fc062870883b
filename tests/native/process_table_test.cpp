#include "process_window/process_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <cwctype>
#include <deque>
#include <limits>
#include <map>
#include <random>
#include <tuple>

namespace wtsscope {
namespace {

int comparisons = 0;
int CaseInsensitive(std::wstring_view a, std::wstring_view b) {
    ++comparisons;
    const std::size_t length = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < length; ++i) {
        const auto x = std::towlower(a[i]);
        const auto y = std::towlower(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return (a.size() > b.size()) - (a.size() < b.size());
}

// Each byte its own character.
std::wstring Widened(std::string_view bytes) { return std::wstring(bytes.begin(), bytes.end()); }

// A domain account's identifier, S-1-5-21-<rid>, as the platform lays it out.
std::vector<unsigned char> Sid(std::uint32_t rid) {
    std::vector<unsigned char> sid{1, 2, 0, 0, 0, 0, 0, 5, 21, 0, 0, 0};
    for (int i = 0; i < 4; ++i) sid.push_back(static_cast<unsigned char>(rid >> (8 * i)));
    return sid;
}

// Rows in the platform's order: session, identifier, name, account ("" runs under no account).
using GivenRow = std::tuple<int, int, std::string, std::wstring>;

class ProcessTableTest : public ::testing::Test {
  protected:
    // Each account text has an identifier of its own, laid out afresh for every fill so the table
    // can only know it by its bytes; the lookup answers with the text.
    void Fill(const std::vector<GivenRow>& rows) {
        table.Clear();
        std::deque<std::vector<unsigned char>> sids;
        for (const auto& [session, id, name, user] : rows) {
            const void* sid = nullptr;
            if (!user.empty()) {
                const auto known = static_cast<std::uint32_t>(
                    std::find(accounts.begin(), accounts.end(), user) - accounts.begin());
                if (known == accounts.size()) accounts.push_back(user);
                sids.push_back(Sid(1000 + known));
                sid = sids.back().data();
            }
            const std::wstring wide = Widened(name);
            table.Add({{.sessionId = session, .processId = id}, wide, sid});
        }
        table.Finish();
    }

    std::vector<std::wstring> Column(ProcessColumn column) const {
        std::vector<std::wstring> cells;
        for (std::size_t i = 0; i < table.Size(); ++i) cells.push_back(table.CellText(i, column));
        return cells;
    }

    // Every cell as shown, against what a stable sort of the rows as added by the column's value
    // (numbers by value, texts by the comparison) gives.
    void ExpectSortedLikeAStableSort(std::vector<GivenRow> rows, ProcessColumn column) {
        const auto key = [column](const GivenRow& row) {
            return std::tuple(column == ProcessColumn::SessionId ? std::get<0>(row) : 0,
                              column == ProcessColumn::ProcessId ? std::get<1>(row) : 0);
        };
        const auto text = [column](const GivenRow& row) {
            return column == ProcessColumn::ProcessName ? Widened(std::get<2>(row))
                   : column == ProcessColumn::UserId    ? std::get<3>(row)
                                                        : std::wstring();
        };
        std::stable_sort(rows.begin(), rows.end(), [&](const GivenRow& a, const GivenRow& b) {
            return key(a) < key(b) || (key(a) == key(b) && CaseInsensitive(text(a), text(b)) < 0);
        });
        ASSERT_EQ(table.Size(), rows.size());
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const auto& [session, id, name, user] = rows[i];
            ASSERT_EQ(table.CellText(i, ProcessColumn::ProcessId), std::to_wstring(id)) << i;
            ASSERT_EQ(table.CellText(i, ProcessColumn::SessionId), std::to_wstring(session));
            ASSERT_EQ(table.CellText(i, ProcessColumn::ProcessName), Widened(name));
            ASSERT_EQ(table.CellText(i, ProcessColumn::UserId), user);
        }
    }

    std::vector<std::wstring> accounts;
    std::map<std::wstring, int> lookups;
    ProcessTable table{CaseInsensitive, [this](const void* sid) {
                           std::uint32_t rid = 0;
                           std::memcpy(&rid, static_cast<const unsigned char*>(sid) + 12, 4);
                           const std::wstring& text = accounts.at(rid - 1000);
                           ++lookups[text];
                           return text;
                       }};
};

TEST_F(ProcessTableTest, ShowsRowsInThePlatformsOrderUntilSorted) {
    Fill({{1, 500, "notepad.exe", L"CORP\\ann"}, {0, 4, "System", L"NT AUTHORITY\\SYSTEM"}});
    EXPECT_EQ(Column(ProcessColumn::SessionId), (std::vector<std::wstring>{L"1", L"0"}));
    EXPECT_EQ(Column(ProcessColumn::ProcessId), (std::vector<std::wstring>{L"500", L"4"}));
    EXPECT_EQ(Column(ProcessColumn::ProcessName),
              (std::vector<std::wstring>{L"notepad.exe", L"System"}));
    EXPECT_EQ(Column(ProcessColumn::UserId),
              (std::vector<std::wstring>{L"CORP\\ann", L"NT AUTHORITY\\SYSTEM"}));
    EXPECT_EQ(table.CellText(1, ProcessColumn::ProcessName), L"System");
    EXPECT_FALSE(table.SortColumn());
}

TEST_F(ProcessTableTest, NumberColumnsSortBySignedValueNotText) {
    const auto min = std::numeric_limits<std::int32_t>::min();
    const auto max = std::numeric_limits<std::int32_t>::max();
    // The platform's 4294967295 arrives as -1 and must not sort after 2147483647; identifiers that
    // differ in one byte only; runs of equal values.
    const std::vector<int> ids{-1,  0x00010000, 0, 0x00010000, -1, 0x01000000, 0, 0x000000FF, max,
                               min, 10,         9, 100,        2,  max,        1, min};
    std::vector<GivenRow> rows;
    for (std::size_t i = 0; i < ids.size(); ++i)
        rows.push_back({ids[(i * 5) % ids.size()], ids[i], std::to_string(i), L""});
    // Many rows with few values between them.
    std::mt19937 random(3);
    for (int i = 0; i < 5000; ++i)
        rows.push_back(
            {static_cast<int>(random() % 64) * 0x01010101, static_cast<int>(random()), "q", L""});
    Fill(rows);
    for (const auto column : {ProcessColumn::ProcessId, ProcessColumn::SessionId}) {
        table.SortBy(column);
        ExpectSortedLikeAStableSort(rows, column);
    }
    Fill({{2, 10, "a", L""}, {10, 9, "b", L""}, {1, 100, "c", L""}, {0, -1, "d", L""}});
    EXPECT_EQ(Column(ProcessColumn::SessionId),
              (std::vector<std::wstring>{L"0", L"1", L"2", L"10"}));
    table.SortBy(ProcessColumn::ProcessId);
    EXPECT_EQ(Column(ProcessColumn::ProcessId),
              (std::vector<std::wstring>{L"-1", L"9", L"10", L"100"}));
}

TEST_F(ProcessTableTest, TextColumnsSortIgnoringCaseAndTiesKeepThePlatformsOrder) {
    Fill({{0, 1, "svchost.exe", L"b"},
          {0, 2, "Explorer.EXE", L"A"},
          {0, 3, "SVCHOST.EXE", L"a"},
          {0, 4, "csrss.exe", L"B"},
          {0, 5, "svchost.exe", L"a"}});
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
    Fill({{0, 30, "c", L""}, {0, 10, "a", L""}});
    table.SortBy(ProcessColumn::ProcessId);
    // A paint between Clear and Finish asks for nothing that is not there yet.
    table.Clear();
    EXPECT_EQ(table.Size(), 0u);
    Fill({{0, 20, "b", L""}, {0, 5, "e", L""}, {0, 40, "d", L""}});
    EXPECT_EQ(table.SortColumn(), ProcessColumn::ProcessId);
    EXPECT_EQ(Column(ProcessColumn::ProcessId), (std::vector<std::wstring>{L"5", L"20", L"40"}));
    table.Reset();
    EXPECT_EQ(table.Size(), 0u);
    Fill({{0, 20, "b", L""}, {0, 5, "e", L""}});
    EXPECT_EQ(Column(ProcessColumn::ProcessId), (std::vector<std::wstring>{L"20", L"5"}));
}

TEST_F(ProcessTableTest, NamesAreKeptByTheirUtf16BytesAcrossRefreshesAndForgetting) {
    // Names a code page would turn into the same "??.exe", and names alike in their low bytes.
    const std::vector<std::wstring> names{L"\u8bb0\u4e8b.exe", L"\u8bb0\u4e8c.exe",
                                          L"\u8cb0\u4e8b.exe"};
    const auto fill = [&](std::size_t count) {
        table.Clear();
        for (std::size_t i = 0; i < count; ++i)
            table.Add({{.sessionId = 1, .processId = static_cast<int>(i)},
                       i < names.size() ? std::wstring_view(names[i]) : L"app.exe",
                       nullptr});
        table.Finish();
    };
    fill(names.size());
    EXPECT_EQ(Column(ProcessColumn::ProcessName), names);
    // Once the names known far outnumber the rows they are forgotten; the rows stay right.
    for (int i = 0; i < 3; ++i) {
        fill(6000);
        fill(names.size());
        EXPECT_EQ(Column(ProcessColumn::ProcessName), names);
    }
}

TEST_F(ProcessTableTest, EachAccountIsAskedForOncePerOpeningByItsBytesAndNamedLater) {
    accounts = {L"S-1-5-21-1000", L"S-1-5-21-1001", L"S-1-5-21-1002"};
    std::vector<unsigned char> ann = Sid(1000), again = Sid(1000), unmapped = Sid(1001);
    // Bytes after the sub-authorities the count names are not part of the identifier.
    ann.push_back(0xAA);
    again.push_back(0x55);
    std::vector<unsigned char> revision2 = Sid(1000), tooMany = Sid(1000);
    revision2[0] = 2;
    tooMany[1] = 16;
    tooMany.resize(8 + 16 * 4);
    // The same domain with one sub-authority fewer is another identifier.
    std::vector<unsigned char> shorter = Sid(1000);
    shorter[1] = 1;
    const std::vector<const void*> script{ann.data(),     nullptr,          unmapped.data(),
                                          again.data(),   revision2.data(), tooMany.data(),
                                          unmapped.data()};
    std::vector<unsigned char> bo = Sid(1002);
    const auto fill = [&](std::vector<const void*> sids) {
        table.Clear();
        for (std::size_t i = 0; i < sids.size(); ++i)
            table.Add({{.sessionId = 1, .processId = static_cast<int>(i)}, L"app.exe", sids[i]});
        table.Finish();
    };
    const auto identifiers = [&](const std::vector<std::uint32_t>& asked) {
        std::vector<std::string> bytes;
        for (const std::uint32_t account : asked)
            bytes.emplace_back(table.AccountIdentifier(account));
        return bytes;
    };
    const auto bytesOf = [](const std::vector<unsigned char>& sid) {
        return std::string(sid.begin(), sid.begin() + 8 + std::ptrdiff_t{4} * sid[1]);
    };

    // Until named, an account shows its identifier's string form; no or a malformed identifier
    // shows nothing and is never asked for.
    fill(script);
    EXPECT_EQ(Column(ProcessColumn::UserId),
              (std::vector<std::wstring>{L"S-1-5-21-1000", L"", L"S-1-5-21-1001", L"S-1-5-21-1000",
                                         L"", L"", L"S-1-5-21-1001"}));
    const std::vector<std::uint32_t> asked = table.TakeNewAccounts();
    EXPECT_EQ(identifiers(asked), (std::vector<std::string>{bytesOf(ann), bytesOf(unmapped)}));

    // Refreshes ask only about identifiers not met since the window opened, unanswered ones
    // included.
    fill({bo.data(), ann.data()});
    fill(script);
    fill({shorter.data()});
    EXPECT_EQ(identifiers(table.TakeNewAccounts()),
              (std::vector<std::string>{bytesOf(bo), bytesOf(shorter)}));
    EXPECT_TRUE(table.TakeNewAccounts().empty());
    EXPECT_EQ(lookups, (std::map<std::wstring, int>{
                           {L"S-1-5-21-1000", 2}, {L"S-1-5-21-1001", 1}, {L"S-1-5-21-1002", 1}}));

    // A name takes the string form's place, and its place in the order; none leaves it.
    fill(script);
    table.SortBy(ProcessColumn::UserId);
    EXPECT_TRUE(table.NameAccount(asked[0], L"CORP\ann"));
    EXPECT_FALSE(table.NameAccount(asked[0], L"CORP\ann"));
    EXPECT_FALSE(table.NameAccount(asked[1], L""));
    table.SortBy(ProcessColumn::UserId);
    EXPECT_EQ(Column(ProcessColumn::UserId),
              (std::vector<std::wstring>{L"", L"", L"", L"CORP\ann", L"CORP\ann", L"S-1-5-21-1001",
                                         L"S-1-5-21-1001"}));

    // A window opened again asks for every account afresh.
    table.Reset();
    fill(script);
    EXPECT_EQ(table.TakeNewAccounts().size(), 2u);
    EXPECT_EQ(table.CellText(0, ProcessColumn::UserId), L"S-1-5-21-1000");
}

// Rows with many ties and texts equal but for case, shuffled; refilled several times under a sort,
// each time with names and accounts the table has and has not seen.
TEST_F(ProcessTableTest, SortingAgreesWithAStableSortAcrossRefreshes) {
    const std::vector<std::string> words{
        "svchost.exe", "SVCHOST.EXE", "chrome.exe", "a",  "A",        "",
        "zz",          "Z",           "b-b",        "bb", "\xe9t\xe9"};
    const std::vector<std::wstring> users{L"NT AUTHORITY\\SYSTEM", L"corp\\ann", L"CORP\\ANN", L""};
    std::mt19937 random(7);
    for (int refill = 0; refill < 6; ++refill) {
        std::vector<GivenRow> rows;
        for (int i = 0; i < 300; ++i) {
            const std::string name = random() % 4 == 0 ? "new" + std::to_string(refill) + "-" +
                                                             std::to_string(random() % 20)
                                                       : words[random() % words.size()];
            const std::wstring user = random() % 8 == 0 ? L"user" + std::to_wstring(refill)
                                                        : users[random() % users.size()];
            rows.push_back(
                {static_cast<int>(random() % 5) - 2, static_cast<int>(random() % 50), name, user});
        }
        Fill(rows);
        for (int step = 0; step < 4; ++step) {
            const auto column = static_cast<ProcessColumn>((refill + step) % kProcessColumnCount);
            table.SortBy(column);
            ExpectSortedLikeAStableSort(rows, column);
        }
    }
}

TEST_F(ProcessTableTest, KnownNamesAreNotComparedAgainAndANewOneOnlyOncePerKnownName) {
    std::vector<GivenRow> rows;
    for (int i = 0; i < 1024; ++i) rows.push_back({0, i, "name" + std::to_string(i), L""});
    Fill(rows);
    table.SortBy(ProcessColumn::ProcessName);
    comparisons = 0;
    Fill(rows);
    table.SortBy(ProcessColumn::ProcessName);
    EXPECT_EQ(comparisons, 0);
    // One newcomer is merged among the known names and the ranks read off in one pass: not placed
    // anew among them all.
    rows.push_back({0, 5000, "name5000", L""});
    Fill(rows);
    EXPECT_LE(comparisons, 2 * 1025);
    EXPECT_EQ(table.CellText(table.Size() - 1, ProcessColumn::ProcessName), L"name999");
    ExpectSortedLikeAStableSort(rows, ProcessColumn::ProcessName);
}

TEST_F(ProcessTableTest, SearchesFindTheNextRowWhoseSortedColumnBeginsWithOrIsTheText) {
    Fill({{1, 400, "notepad.exe", L"CORP\\ann"},
          {2, 12, "Explorer.EXE", L"CORP\\bo"},
          {1, 1200, "NOTEPAD.EXE", L"NT AUTHORITY\\SYSTEM"},
          {3, 7, "explorer.exe", L"corp\\ANN"},
          {2, -12, "csrss.exe", L""}});
    // Unsorted: by name, from the start row inclusive, ignoring case; sorted: the sorted column, in
    // the shown order. Only a wrapping search goes on from the top.
    struct Searched {
        std::optional<ProcessColumn> sortedBy;
        const wchar_t* text;
        TextMatch match;
        std::size_t start;
        bool wrap;
        std::optional<std::size_t> found;
    };
    const std::optional<ProcessColumn> unsorted;
    constexpr TextMatch prefix = TextMatch::Prefix;
    constexpr TextMatch whole = TextMatch::Whole;
    constexpr bool wraps = true;
    constexpr bool stops = false;
    for (const Searched& searched : std::vector<Searched>{
             {unsorted, L"NOTE", prefix, 0, wraps, 0},
             {unsorted, L"note", prefix, 1, wraps, 2},
             {unsorted, L"Notepad.exe", prefix, 3, wraps, 0},
             {unsorted, L"Notepad.exe", prefix, 3, stops, std::nullopt},
             {unsorted, L"e", prefix, 4, wraps, 1},
             {unsorted, L"c", prefix, 99, wraps, 4},
             {unsorted, L"c", prefix, 99, stops, std::nullopt},
             {unsorted, L"notepad.exe2", prefix, 0, wraps, std::nullopt},
             {unsorted, L"x", prefix, 0, wraps, std::nullopt},
             {unsorted, L"notepad", whole, 0, wraps, std::nullopt},
             {unsorted, L"notepad.EXE", whole, 1, stops, 2},
             {unsorted, L"EXPLORER.EXE", whole, 4, wraps, 1},
             {ProcessColumn::UserId, L"corp\\a", prefix, 2, wraps, 2},
             {ProcessColumn::UserId, L"CORP\\A", prefix, 3, wraps, 1},
             {ProcessColumn::UserId, L"nt ", prefix, 0, wraps, 4},
             {ProcessColumn::UserId, L"notepad", prefix, 0, wraps, std::nullopt},
             {ProcessColumn::UserId, L"CORP\\ANN", whole, 3, wraps, 1},
             {ProcessColumn::UserId, L"corp\\a", whole, 0, wraps, std::nullopt},
             {ProcessColumn::ProcessId, L"12", prefix, 0, wraps, 2},
             {ProcessColumn::ProcessId, L"12", prefix, 3, wraps, 4},
             {ProcessColumn::ProcessId, L"12", whole, 3, wraps, 2},
             {ProcessColumn::ProcessId, L"12", whole, 3, stops, std::nullopt},
             {ProcessColumn::ProcessId, L"1", whole, 0, wraps, std::nullopt},
             {ProcessColumn::ProcessId, L"7", prefix, 3, wraps, 1},
             {ProcessColumn::ProcessId, L"-1", prefix, 0, wraps, 0},
             {ProcessColumn::ProcessId, L"4", prefix, 0, wraps, 3},
             {ProcessColumn::ProcessId, L"5", prefix, 0, wraps, std::nullopt},
             {ProcessColumn::SessionId, L"2", prefix, 0, wraps, 2},
         }) {
        if (searched.sortedBy && table.SortColumn() != searched.sortedBy)
            table.SortBy(*searched.sortedBy);
        EXPECT_EQ(table.Find({searched.text, searched.match, searched.start, searched.wrap},
                             searched.sortedBy.value_or(ProcessColumn::ProcessName)),
                  searched.found)
            << searched.text << " from " << searched.start;
    }
    // The shown order the searches by account ran in.
    table.SortBy(ProcessColumn::UserId);
    EXPECT_EQ(Column(ProcessColumn::ProcessId),
              (std::vector<std::wstring>{L"-12", L"400", L"7", L"12", L"1200"}));
    table.Reset();
    EXPECT_EQ(table.Find({L"n", TextMatch::Prefix, 0, true}, ProcessColumn::ProcessName),
              std::nullopt);
}

TEST(KeyedTextsTest, EqualKeysShareANumberAndDistinctOnesNeverDo) {
    // Identifiers as bytes: zeros inside, and keys differing only in their last byte.
    KeyedTexts texts;
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
    // Short keys that differ in a single byte anywhere.
    for (std::size_t length = 1; length <= 17; ++length)
        for (std::size_t at = 0; at < length; ++at) {
            std::string key(length, 'a');
            key[at] = 'b';
            keys.push_back(key);
            keys.push_back(std::string(length, 'a'));
        }
    std::vector<std::uint32_t> first;
    for (const std::string& key : keys)
        first.push_back(texts.Number(key, [&key] { return Widened(key); }));
    for (std::size_t i = 0; i < keys.size(); ++i) {
        EXPECT_EQ(texts.Number(keys[i], [] { return std::wstring(L"made again"); }), first[i]);
        EXPECT_EQ(texts.Text(first[i]), Widened(keys[i]));
    }
    std::vector<std::string> distinct = keys;
    std::sort(distinct.begin(), distinct.end());
    distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
    EXPECT_EQ(texts.Size(), distinct.size());
    texts.Clear();
    EXPECT_EQ(texts.Number("x", [] { return std::wstring(L"x"); }), 0u);
}

}  // namespace
}  // namespace wtsscope
