// The process table's comparators and sort on random rows. Each column's comparison must be a
// strict weak ordering (irreflexive, antisymmetric, transitive in both its order and its
// equivalence), and sorting by a column must give exactly what a stable sort of the platform's
// order by that comparison gives, whatever the table does inside.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "process_window/process_table.h"
#include "tests/fuzz/fuzz_input.h"

namespace wtsscope::fuzz {
namespace {

int Sign(int value) { return (value > 0) - (value < 0); }

// Case-insensitive for ASCII letters, by code unit otherwise: deterministic, and with texts that
// are equal without being the same, so ties are common.
int FoldedCompare(const std::wstring& a, const std::wstring& b) {
    const auto fold = [](wchar_t c) { return c >= L'A' && c <= L'Z' ? c - L'A' + L'a' : c; };
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        const auto x = fold(a[i]);
        const auto y = fold(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return (a.size() > b.size()) - (a.size() < b.size());
}

// Short texts over a small alphabet, so that equal and case-equal texts turn up.
std::wstring TakeText(FuzzInput& input) {
    static constexpr wchar_t kAlphabet[] = L"aAbB.-0\u00e9\u00c9";
    const std::string bytes = input.TakeBytes(6);
    std::wstring text;
    for (const char byte : bytes)
        text.push_back(kAlphabet[static_cast<std::uint8_t>(byte) % (std::size(kAlphabet) - 1)]);
    return text;
}

void CheckStrictWeakOrdering(const ProcessTable& table, ProcessColumn column,
                             const std::vector<ProcessRow>& rows) {
    const auto less = [&](const ProcessRow& a, const ProcessRow& b) {
        return table.Compare(column, a, b) < 0;
    };
    const auto equivalent = [&](const ProcessRow& a, const ProcessRow& b) {
        return table.Compare(column, a, b) == 0;
    };
    for (const ProcessRow& a : rows) {
        Check(table.Compare(column, a, a) == 0);
        for (const ProcessRow& b : rows) {
            Check(Sign(table.Compare(column, a, b)) == -Sign(table.Compare(column, b, a)));
            for (const ProcessRow& c : rows) {
                if (less(a, b) && less(b, c)) Check(less(a, c));
                if (equivalent(a, b) && equivalent(b, c)) Check(equivalent(a, c));
            }
        }
    }
}

bool SameRow(const ProcessRow& a, const ProcessRow& b) {
    return a.SessionId == b.SessionId && a.ProcessId == b.ProcessId &&
           a.ProcessName == b.ProcessName && a.User == b.User;
}

// The shown order after sorting by the column: that of a stable sort of the rows as added.
void CheckShownOrder(const ProcessTable& table, ProcessColumn column,
                     const std::vector<ProcessRow>& rows) {
    std::vector<ProcessRow> expected = rows;
    std::stable_sort(
        expected.begin(), expected.end(),
        [&](const ProcessRow& a, const ProcessRow& b) { return table.Compare(column, a, b) < 0; });
    Check(table.Size() == expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) Check(SameRow(table.Row(i), expected[i]));
}

}  // namespace
}  // namespace wtsscope::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace wtsscope;
    using namespace wtsscope::fuzz;
    FuzzInput input(data, size);
    ProcessTable table(FoldedCompare);

    const std::size_t userCount = input.Take<std::uint8_t>() % 6 + 1;
    for (std::size_t i = 0; i < userCount; ++i) table.AddUser(TakeText(input));
    std::vector<ProcessRow> rows;
    const std::size_t rowCount = input.Take<std::uint8_t>() % 40;
    for (std::size_t i = 0; i < rowCount && !input.Empty(); ++i) {
        const auto ids = input.Take<std::uint8_t>();
        // Identifiers from a narrow range collide often; full words cover the signed extremes.
        ProcessRow row{ids & 1 ? input.Take<std::int32_t>() : (ids >> 2) % 4,
                       ids & 2 ? input.Take<std::int32_t>() : (ids >> 4) % 8, TakeText(input),
                       input.Take<std::uint8_t>() % static_cast<std::uint32_t>(userCount)};
        rows.push_back(row);
        table.Add(std::move(row));
    }
    table.Finish();
    Check(table.Size() == rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) Check(SameRow(table.Row(i), rows[i]));

    // Triples of rows are cubic in their number: the first sixteen are enough to find a fault.
    const std::vector<ProcessRow> sample(rows.begin(),
                                         rows.begin() + std::min<std::ptrdiff_t>(rows.size(), 16));
    for (int column = 0; column < kProcessColumnCount; ++column)
        CheckStrictWeakOrdering(table, static_cast<ProcessColumn>(column), sample);

    // Columns in an order the input picks; whatever was shown before, ties keep the order added.
    for (int step = 0; step < 3; ++step) {
        const auto column = static_cast<ProcessColumn>(input.Take<std::uint8_t>() % 4);
        table.SortBy(column);
        CheckShownOrder(table, column, rows);
        for (std::size_t i = 0; i < table.Size(); ++i)
            Check(table.CellText(i, ProcessColumn::ProcessName) == table.Row(i).ProcessName);
    }

    // A refill under a set sort column arrives sorted.
    const ProcessColumn kept = *table.SortColumn();
    const std::vector<std::wstring> users = [&] {
        std::vector<std::wstring> texts;
        for (std::uint32_t i = 0; i < userCount; ++i) {
            const ProcessRow probe{0, 0, {}, i};
            texts.push_back(table.UserText(probe));
        }
        return texts;
    }();
    table.Clear();
    for (const std::wstring& text : users) table.AddUser(text);
    std::reverse(rows.begin(), rows.end());
    for (const ProcessRow& row : rows) table.Add(row);
    table.Finish();
    CheckShownOrder(table, kept, rows);
    return 0;
}
