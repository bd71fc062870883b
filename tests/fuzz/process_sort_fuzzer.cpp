// The process table's sort and search on random rows. Sorting by a column must give exactly what a
// stable sort of the platform's order by that column's value gives, whatever the table does inside,
// and a search must find exactly the row a walk of the shown texts finds.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "process_window/process_table.h"
#include "tests/fuzz/fuzz_input.h"

namespace wtsscope::fuzz {
namespace {

// Case-insensitive for ASCII letters, by code unit otherwise: deterministic, and with texts that
// are equal without being the same, so ties are common.
int FoldedCompare(std::wstring_view a, std::wstring_view b) {
    const auto fold = [](wchar_t c) { return c >= L'A' && c <= L'Z' ? c - L'A' + L'a' : c; };
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        const auto x = fold(a[i]);
        const auto y = fold(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return (a.size() > b.size()) - (a.size() < b.size());
}

// Short texts over a small alphabet, so that equal and case-equal texts turn up: code page 1252
// bytes, each its own character.
std::string TakeText(FuzzInput& input) {
    static constexpr char kAlphabet[] = "aAbB.-0\xe9\xc9";
    std::string text = input.TakeBytes(6);
    for (char& byte : text)
        byte = kAlphabet[static_cast<std::uint8_t>(byte) % (std::size(kAlphabet) - 1)];
    return text;
}

std::wstring Widened(std::string_view bytes) {
    std::wstring text;
    for (const char byte : bytes) text.push_back(static_cast<std::uint8_t>(byte));
    return text;
}

struct Row {
    ProcessNumbers numbers;
    std::string name;
    std::size_t user;  // index into the accounts' texts and identifiers
    std::optional<ProcessCosts> costs;
};

// A cost column's figure as the user reads it; none where the row has no costs. The share of the
// processor needs a fill before, which these fills never give.
std::optional<std::uint64_t> Figure(const Row& row, ProcessColumn column) {
    if (!row.costs || column == ProcessColumn::ProcessorShare) return std::nullopt;
    const ProcessCosts& costs = *row.costs;
    switch (column) {
        case ProcessColumn::Threads:
            return costs.threads;
        case ProcessColumn::Handles:
            return costs.handles;
        case ProcessColumn::Memory:
            return costs.workingSet / 1024;
        case ProcessColumn::PeakMemory:
            return costs.peakWorkingSet / 1024;
        case ProcessColumn::PrivateMemory:
            return costs.pagefileUsage / 1024;
        default:
            return costs.processorTime / 10'000'000;
    }
}

// The shown order after sorting by the column: that of a stable sort of the rows as added by the
// column's value, numbers by value and texts by the comparison.
void CheckShownOrder(const ProcessTable& table, ProcessColumn column, std::vector<Row> rows,
                     const std::vector<std::wstring>& users) {
    const ColumnDescription& sorted = Describe(column);
    const auto text = [&](const Row& row) {
        return sorted.texts == KeptTexts::Names ? Widened(row.name) : users[row.user];
    };
    std::stable_sort(rows.begin(), rows.end(), [&](const Row& a, const Row& b) {
        if (sorted.kind == ColumnDescription::Kind::Number)
            return a.numbers.*sorted.number < b.numbers.*sorted.number;
        // Largest first, the empty last.
        if (sorted.kind == ColumnDescription::Kind::Cost)
            return Figure(a, column).value_or(0) + Figure(a, column).has_value() >
                   Figure(b, column).value_or(0) + Figure(b, column).has_value();
        return FoldedCompare(text(a), text(b)) < 0;
    });
    Check(table.Size() == rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        Check(table.CellText(i, ProcessColumn::SessionId) ==
                  std::to_wstring(rows[i].numbers.sessionId) &&
              table.ProcessId(i) == rows[i].numbers.processId &&
              table.CellText(i, ProcessColumn::ProcessName) == Widened(rows[i].name) &&
              table.CellText(i, ProcessColumn::UserId) == users[rows[i].user]);
    }
}

// The row a search finds, against a walk of the shown texts of the sorted column.
void CheckSearch(const ProcessTable& table, const ListSearch& search) {
    const ProcessColumn column = table.SortColumn().value_or(ProcessColumn::ProcessName);
    // Digits and colons have no case.
    const bool number = Describe(column).kind != ColumnDescription::Kind::Text;
    // From the start row to the last, then from the first up to the start if the search wraps.
    const std::size_t count = table.Size();
    const std::size_t from = std::min(search.start, count);
    const std::size_t steps = search.wrap ? count : count - from;
    std::optional<std::size_t> expected;
    for (std::size_t step = 0; step < steps && !expected; ++step) {
        const std::size_t row = (from + step) % count;
        const std::wstring text = table.CellText(row, column);
        const std::wstring_view compared =
            search.match == TextMatch::Whole
                ? std::wstring_view(text)
                : std::wstring_view(text).substr(0, search.text.size());
        if (number ? compared == search.text : FoldedCompare(compared, search.text) == 0)
            expected = row;
    }
    Check(table.Find(search, column) == expected);
}

}  // namespace
}  // namespace wtsscope::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace wtsscope;
    using namespace wtsscope::fuzz;
    FuzzInput input(data, size);
    // Each account has an identifier of its own, S-1-5-21-<index>, whose text stands for it; the
    // table must make each text once.
    std::vector<std::wstring> users;
    std::vector<std::array<std::uint8_t, 16>> sids;
    std::vector<int> lookups;
    ProcessTable table(FoldedCompare, [&](const void* sid) {
        const std::size_t user = static_cast<const std::uint8_t*>(sid)[12];
        Check(user < users.size() && ++lookups[user] == 1);
        return users[user];
    });

    const std::size_t userCount = input.Take<std::uint8_t>() % 6 + 1;
    for (std::size_t i = 0; i < userCount; ++i) {
        users.push_back(Widened(TakeText(input)));
        sids.push_back({1, 2, 0, 0, 0, 0, 0, 5, 21, 0, 0, 0, static_cast<std::uint8_t>(i)});
    }
    lookups.assign(userCount, 0);
    std::vector<Row> rows;
    const auto fill = [&] {
        table.Clear();
        for (const Row& row : rows)
            table.Add({row.numbers, Widened(row.name), sids[row.user].data(),
                       row.costs ? &*row.costs : nullptr});
        table.Finish();
    };
    const std::size_t rowCount = input.Take<std::uint8_t>() % 40;
    for (std::size_t i = 0; i < rowCount && !input.Empty(); ++i) {
        const auto ids = input.Take<std::uint8_t>();
        // Identifiers from a narrow range collide often; full words cover the signed extremes.
        const std::int32_t sessionId = ids & 1 ? input.Take<std::int32_t>() : (ids >> 2) % 4;
        const std::int32_t processId = ids & 2 ? input.Take<std::int32_t>() : (ids >> 4) % 8;
        std::string name = TakeText(input);
        const std::size_t user = input.Take<std::uint8_t>() % userCount;
        // Figures from a few values collide often; some rows have none.
        std::optional<ProcessCosts> costs;
        if (const auto figures = input.Take<std::uint8_t>(); figures & 1) {
            const auto figure = [&] {
                return (input.Take<std::uint8_t>() % 4u) << ((figures >> 1) % 24);
            };
            costs = ProcessCosts{figure(), figure(), figure(),
                                 figure(), figure(), std::uint64_t{figure()} * 1'000'000};
        }
        rows.push_back(
            {{.sessionId = sessionId, .processId = processId}, std::move(name), user, costs});
    }
    fill();
    Check(table.Size() == rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i)
        Check(table.ProcessId(i) == rows[i].numbers.processId &&
              table.CellText(i, ProcessColumn::ProcessName) == Widened(rows[i].name));

    // Columns in an order the input picks; whatever was shown before, ties keep the order added.
    for (int step = 0; step < 3; ++step) {
        const auto column =
            static_cast<ProcessColumn>(input.Take<std::uint8_t>() % kProcessColumnCount);
        table.SortBy(column);
        CheckShownOrder(table, column, rows, users);
        const std::uint8_t start = input.Take<std::uint8_t>();
        const std::uint8_t kind = input.Take<std::uint8_t>();
        const std::wstring text = Widened(TakeText(input));
        CheckSearch(
            table, {text, kind & 1 ? TextMatch::Whole : TextMatch::Prefix, start, (kind & 2) != 0});
    }

    // A refill under a set sort column arrives sorted, and asks about no account again.
    std::reverse(rows.begin(), rows.end());
    fill();
    CheckShownOrder(table, *table.SortColumn(), rows, users);
    return 0;
}
