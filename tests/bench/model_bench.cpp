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
#include <vector>

#include "process_window/process_table.h"
#include "tests/bench/report.h"
#include "tests/bench/synthetic.h"

namespace wtsscope::bench {
namespace {

int CaseInsensitive(const std::wstring& a, const std::wstring& b) {
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

void Fill(ProcessTable& table, const std::vector<SyntheticProcess>& processes) {
    table.Clear();
    table.Reserve(processes.size());
    for (const SyntheticUser& user : SyntheticUsers())
        table.AddUser(Latin1(user.domain + "\\" + user.name));
    for (const SyntheticProcess& process : processes) {
        table.Add(
            static_cast<std::int32_t>(process.sessionId),
            static_cast<std::int32_t>(process.processId), process.name,
            [&process] { return Latin1(process.name); }, static_cast<std::uint32_t>(process.user));
    }
    table.Finish();
}

bool Sorted(const ProcessTable& table, ProcessColumn column) {
    for (std::size_t i = 1; i < table.Size(); ++i)
        if (table.Compare(column, table.Row(i - 1), table.Row(i)) > 0) return false;
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
    static constexpr const char* kColumns[] = {"Session ID", "Process ID", "Process Name",
                                               "User ID"};
    Report report("fill");
    bool ordered = true;
    for (const std::size_t count : counts) {
        const std::vector<SyntheticProcess> processes = SyntheticProcesses(count);
        const int repetitions = quick ? 3 : 7;
        ProcessTable table(CaseInsensitive);
        const double fill = MedianMilliseconds(repetitions, [&] { Fill(table, processes); });
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
                    Fill(table, processes);
                },
                [&] { table.SortBy(which); });
            report.Add({std::string("sort by ") + kColumns[column], count, sort, fill, ""});
            ordered = ordered && Sorted(table, which);
        }
    }
    report.Check("sorts that left rows out of order", ordered ? 0 : 1, 0, true);
    std::cout << "wtsscope-bench (model only, host build): median of repetitions, times in "
                 "milliseconds, ratios to filling the model\n\n";
    report.Print(std::cout);
    return report.Passed() ? 0 : 1;
}
