// wtsscope-bench on the host: the process model alone, filled with the synthetic server and sorted
// by each column, with a portable stand-in for the locale's comparison. The windows and the floor
// exist only in the Windows build; here each time is shown beside the time to fill the model.
//
//   wtsscope-bench            1,000, 10,000 and 100,000 processes
//   wtsscope-bench --quick    small counts
//
// Exits 1 when a sort leaves the rows out of order; times are never judged here (this tree is
// built for the sanitizers, not for speed).

#include <cwctype>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "process_window/process_table.h"
#include "tests/bench/report.h"
#include "tests/bench/synthetic.h"

namespace wtsscope::bench {
namespace {

int CaseInsensitive(std::wstring_view a, std::wstring_view b) {
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        const auto x = std::towlower(a[i]);
        const auto y = std::towlower(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return (a.size() > b.size()) - (a.size() < b.size());
}

// The names as the platform's code page 1252 converts them: each byte is its own character.
std::wstring Latin1(const std::string& text) {
    std::wstring wide;
    for (const char c : text) wide.push_back(static_cast<unsigned char>(c));
    return wide;
}

// The accounts' identifiers as the platform lays them out, and their string forms.
struct Accounts {
    std::vector<std::vector<unsigned char>> sids;

    Accounts() {
        for (const SyntheticUser& user : SyntheticUsers()) sids.push_back(SidBytes(user.sid));
    }
    IdentifierText Text() const {
        return [this](const void* sid) {
            for (std::size_t i = 0; i < sids.size(); ++i)
                if (sids[i].data() == sid) return Latin1(SyntheticUsers()[i].sid);
            return std::wstring();
        };
    }
};

void Fill(ProcessTable& table, const std::vector<SyntheticProcess>& processes,
          const Accounts& accounts) {
    table.Clear();
    table.Reserve(processes.size());
    for (const SyntheticProcess& process : processes) {
        table.Add({{.sessionId = static_cast<std::int32_t>(process.sessionId),
                    .processId = static_cast<std::int32_t>(process.processId)},
                   process.wideName,
                   accounts.sids[process.user].data()});
    }
    table.Finish();
}

// Whether each shown row is in order with the one before it: numbers by value, texts by the
// comparison, costs largest first.
bool Sorted(const ProcessTable& table, ProcessColumn column) {
    for (std::size_t i = 1; i < table.Size(); ++i) {
        const std::wstring a = table.CellText(i - 1, column), b = table.CellText(i, column);
        const ColumnDescription::Kind kind = Describe(column).kind;
        // Figures largest first, the empty last: unsigned and zero-padded after the hours, so the
        // longer text is the larger figure.
        if (kind == ColumnDescription::Kind::Cost ? std::pair(a.size(), a) < std::pair(b.size(), b)
            : kind == ColumnDescription::Kind::Number ? std::stol(a) > std::stol(b)
                                                      : CaseInsensitive(a, b) > 0)
            return false;
    }
    return true;
}

}  // namespace
}  // namespace wtsscope::bench

int main(int argc, char** argv) {
    using namespace wtsscope;
    using namespace wtsscope::bench;
    const bool quick = argc > 1 && std::string(argv[1]) == "--quick";
    const std::vector<std::size_t> counts =
        quick ? std::vector<std::size_t>{200, 2000} : std::vector<std::size_t>{1000, 10000, 100000};
    Report report("fill");
    bool ordered = true;
    std::size_t extraLookups = 0;
    for (const std::size_t count : counts) {
        const std::vector<SyntheticProcess> processes = SyntheticProcesses(count);
        const int repetitions = quick ? 3 : 7;
        Accounts accounts;
        ProcessTable table(CaseInsensitive, accounts.Text());
        Fill(table, processes, accounts);
        table.TakeNewAccounts();
        const double fill =
            MedianMilliseconds(repetitions, [&] { Fill(table, processes, accounts); });
        report.Add({"fill", count, fill, fill, ""});
        for (int column = 0; column < kProcessColumnCount; ++column) {
            const auto which = static_cast<ProcessColumn>(column);
            // Each sort starts from new rows sorted by another column, as after a refresh; the
            // names' order is known from earlier sorts, as in a window that stays open.
            const auto other = static_cast<ProcessColumn>((column + 1) % kProcessColumnCount);
            const double sort = MedianMilliseconds(
                repetitions,
                [&] {
                    table.SortBy(other);
                    Fill(table, processes, accounts);
                },
                [&] { table.SortBy(which); });
            report.Add({"sort by " + ColumnName(column), count, sort, fill, ""});
            const double sortedFill =
                MedianMilliseconds(repetitions, [&] { Fill(table, processes, accounts); });
            report.Add({"fill, sorted by " + ColumnName(column), count, sortedFill, fill, ""});
            ordered = ordered && Sorted(table, which);
        }
        // The worst a typed character costs: no row matches, every row is visited.
        table.SortBy(ProcessColumn::ProcessName);
        const double typed = MedianMilliseconds(repetitions, [&] {
            ordered = ordered && !table.Find({L"no such name", TextMatch::Prefix, count / 2, true},
                                             ProcessColumn::ProcessName);
        });
        report.Add({"type-ahead, no match", count, typed, fill, ""});
        extraLookups += table.TakeNewAccounts().size();
    }
    report.Check("accounts asked for after the first fill", static_cast<double>(extraLookups), 0,
                 true);
    report.Check("sorts that left rows out of order", ordered ? 0 : 1, 0, true);
    std::cout << "wtsscope-bench (model only, host build): median of repetitions, times in "
                 "milliseconds, ratios to filling the model\n\n";
    report.Print(std::cout);
    return report.Passed() ? 0 : 1;
}
