// wtsscope-bench: the process window and the session listing at terminal-server scale, timed
// through the real windows against the scripted platform, each time beside the least work any
// program must do for the same list.
//
//   wtsscope-bench            1,000, 10,000 and 100,000 processes; exits 1 when a target is missed
//   wtsscope-bench --quick    small counts, few repetitions: shows that everything still runs;
//                             times are printed but not judged
//
// The windows stay hidden throughout: they are driven by the messages a click sends.

#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cwchar>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "main_window/form1.h"
#include "platform/record_reader.h"
#include "platform/text.h"
#include "process_window/form2.h"
#include "tests/bench/report.h"
#include "tests/bench/synthetic.h"
#include "tests/fakes/fake_platform.h"
#include "tests/windows/user_input.h"
#include "tests/windows/window_readers.h"

namespace wtsscope::bench {
namespace {

using testing::FakePlatform;
using testing::FakeProcess;
using testing::FakeSession;

struct Options {
    bool quick = false;
    std::size_t memoryProbe = 0;    // a count: run only the memory probe, in a process of its own
    bool memoryProbeCosts = false;  // with every cost column shown
};

struct Plan {
    std::vector<std::size_t> counts;
    std::size_t sessions;
    bool judgeTimes;
    // Repetitions of a timed step: enough that the median is steady on a shared machine.
    int Repetitions() const { return judgeTimes ? 21 : 3; }
    // Small lists are timed in batches, so a sample is not lost in the clock's resolution.
    int Batch(std::size_t count) const {
        return judgeTimes ? static_cast<int>(std::max<std::size_t>(1, 20000 / count)) : 1;
    }
};

void Drain() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// --- The scripted server -------------------------------------------------------------------

void ScriptAccounts(FakePlatform& fake) {
    for (const SyntheticUser& user : SyntheticUsers())
        fake.accounts[user.sid] = {std::wstring(user.domain.begin(), user.domain.end()),
                                   std::wstring(user.name.begin(), user.name.end())};
}

// The fake takes names in UTF-8.
std::string Utf8(const std::wstring& text) {
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(),
                        length, nullptr, nullptr);
    return bytes;
}

void ScriptProcesses(FakePlatform& fake, const std::vector<SyntheticProcess>& processes) {
    std::vector<FakeProcess> script;
    script.reserve(processes.size());
    for (const SyntheticProcess& process : processes)
        script.push_back({process.sessionId, process.processId, Utf8(process.wideName),
                          SyntheticUsers()[process.user].sid, process.threads, process.handles,
                          process.pagefileUsage, process.pagefileUsage, process.workingSet,
                          process.peakWorkingSet, process.userTime, process.kernelTime});
    fake.ScriptProcesses(std::move(script));
    fake.PrebuildBlocks();
}

void ScriptSessions(FakePlatform& fake, const std::vector<SyntheticSession>& sessions) {
    std::vector<FakeSession> script;
    for (const SyntheticSession& session : sessions)
        script.push_back({session.sessionId, session.name, session.state});
    fake.ScriptSessions(std::move(script));
    fake.PrebuildBlocks();
}

// --- The floors: enumerate, walk every record, convert every name, release -------------------

volatile std::size_t sink;

template <class Record, class Name>
void Floor(const Enumeration<Record>& enumeration, Name name) {
    wchar_t text[256];
    std::size_t total = 0;
    for (std::size_t i = 0; i < enumeration.count; ++i) {
        const Record record = RecordAt<Record>(enumeration.buffer.get(), i);
        const char* ansi = name(record);
        const std::size_t length = ansi ? std::strlen(ansi) : 0;
        if (length == 0 || length > 256) continue;
        total += static_cast<std::size_t>(MultiByteToWideChar(
            CP_ACP, 0, ansi, static_cast<int>(length), text, static_cast<int>(std::size(text))));
    }
    sink = total;
}

// The extended enumeration's records, with their costs: a name in UTF-16 is converted by copying
// it into the program's text.
void ProcessFloor(const Platform& platform) {
    const ProcessEnumeration enumeration = platform.EnumerateProcesses();
    wchar_t text[256];
    std::size_t total = 0;
    for (std::size_t i = 0; i < enumeration.Size(); ++i) {
        const ProcessEntry process = enumeration.At(i);
        const std::size_t length = std::min(process.name.size(), std::size(text));
        std::wmemcpy(text, process.name.data(), length);
        total += length + process.threads;
    }
    sink = total;
}

void SessionFloor(const Platform& platform) {
    Floor(platform.EnumerateSessions(),
          [](const SessionRecord& record) { return record.pWinStationName; });
}

// --- Driving the windows as a user's clicks do ------------------------------------------------

HWND ListOf(const Form2& form) { return GetDlgItem(form.Handle(), Form2::kListView1); }

void ClickRefresh(const Form2& form) {
    SendMessageW(GetDlgItem(form.Handle(), Form2::kCommand1), BM_CLICK, 0, 0);
}

// Presses and releases the mouse on a column header, scrolling it into view first as a user would.
void ClickHeader(HWND list, int column) {
    const HWND header = ListView_GetHeader(list);
    RECT rect{};
    Header_GetItemRect(header, column, &rect);
    RECT client{};
    GetClientRect(list, &client);
    ListView_Scroll(list, -100000, 0);
    if (rect.right > client.right) ListView_Scroll(list, rect.right - client.right, 0);
    Header_GetItemRect(header, column, &rect);
    const LPARAM at = MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    SendMessageW(header, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(header, WM_LBUTTONUP, 0, at);
}

// The user's locale, ignoring case: as the process window sorts.
int LocaleCompare(std::wstring_view a, std::wstring_view b) {
    return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(),
                          static_cast<int>(a.size()), b.data(), static_cast<int>(b.size())) -
           CSTR_EQUAL;
}

std::wstring Cell(HWND list, int row, int column) {
    wchar_t text[512] = L"";
    ListView_GetItemText(list, row, column, text, static_cast<int>(std::size(text)));
    return text;
}

// Whether the list, read back cell by cell, is ordered by the column, with ties in the platform's
// order. The benchmark refuses to time a sort that sorts wrongly.
bool ListIsSorted(HWND list, int column, const std::vector<SyntheticProcess>& processes) {
    std::map<long long, std::size_t> platformOrder;
    for (std::size_t i = 0; i < processes.size(); ++i)
        platformOrder[static_cast<std::int32_t>(processes[i].processId)] = i;
    const int rows = ListView_GetItemCount(list);
    if (static_cast<std::size_t>(rows) != processes.size()) return false;
    std::wstring previous;
    long long previousId = 0;
    for (int row = 0; row < rows; ++row) {
        const std::wstring text = Cell(list, row, column);
        const long long id =
            std::stoll(Cell(list, row, static_cast<int>(ProcessColumn::ProcessId)));
        if (row > 0) {
            int order = 0;
            if (kProcessColumns[column].kind == ColumnDescription::Kind::Number) {
                const long long a = std::stoll(previous), b = std::stoll(text);
                order = (a > b) - (a < b);
            } else if (kProcessColumns[column].kind == ColumnDescription::Kind::Cost) {
                // Largest first, the empty last.
                const auto figure = [](const std::wstring& cell) {
                    return cell.empty() ? -1LL : std::stoll(cell);
                };
                const long long a = figure(previous), b = figure(text);
                order = (a < b) - (a > b);
            } else {
                order = LocaleCompare(previous, text);
            }
            if (order > 0 || (order == 0 && platformOrder[previousId] > platformOrder[id]))
                return false;
        }
        previous = text;
        previousId = id;
    }
    return true;
}

// Shows every cost column through the header's menu, opened from the keyboard: the list's
// columns are then the table's, in its order.
void ShowEveryCostColumn(const Form2& form) {
    MenuPick menu;
    SetWindowSubclass(form.Handle(), PickFromMenu, 0, reinterpret_cast<DWORD_PTR>(&menu));
    for (menu.item = 0; menu.item < kProcessColumnCount - kAlwaysShownColumnCount; ++*menu.item)
        SendMessageW(form.Handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(ListOf(form)),
                     static_cast<LPARAM>(-1));
    RemoveWindowSubclass(form.Handle(), PickFromMenu, 0);
    Drain();
}

// Messages the list receives and notifications it sends, while a hook is in place.
HWND countedList = nullptr;
long long countedMessages = 0;

LRESULT CALLBACK CountSent(int code, WPARAM wParam, LPARAM lParam) {
    const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION &&
        (sent->hwnd == countedList ||
         (sent->message == WM_NOTIFY &&
          reinterpret_cast<const NMHDR*>(sent->lParam)->hwndFrom == countedList)))
        ++countedMessages;
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK CountPosted(int code, WPARAM wParam, LPARAM lParam) {
    const auto* posted = reinterpret_cast<const MSG*>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE && posted->hwnd == countedList) ++countedMessages;
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// The messages one refresh costs the list, painting the rows it shows included.
long long MessagesForRefresh(const Form2& form) {
    countedList = ListOf(form);
    countedMessages = 0;
    const HHOOK sent = SetWindowsHookExW(WH_CALLWNDPROC, CountSent, nullptr, GetCurrentThreadId());
    const HHOOK posted =
        SetWindowsHookExW(WH_GETMESSAGE, CountPosted, nullptr, GetCurrentThreadId());
    ClickRefresh(form);
    Drain();
    // A hidden window is never painted; have the list paint what it would show into memory.
    PaintOffScreen(countedList);
    UnhookWindowsHookEx(posted);
    UnhookWindowsHookEx(sent);
    return countedMessages;
}

// Now, or the most there has been.
std::size_t PrivateBytes(bool peak = false) {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                         sizeof(counters));
    // Wine reports the commit charge only as the page-file usage, which Windows keeps equal.
    return peak ? counters.PeakPagefileUsage
                : std::max(counters.PrivateUsage, counters.PagefileUsage);
}

// In a process of its own, so no memory freed by earlier work is reused: the private bytes one
// refresh of an empty window to the count adds, per row. With the costs: every cost column shown,
// sorted by one, and two refreshes, the second finding each process's share of the processor from
// the first; the most the private bytes reached. Printed, and returned as the exit code.
int MemoryProbe(std::size_t count, bool costs) {
    FakePlatform fake;
    ScriptAccounts(fake);
    fake.ScriptProcesses({});
    Form2 form(fake.platform());
    if (!form.Create()) return -1;
    // A first refresh of a few rows brings in whatever is made once per window.
    ScriptProcesses(fake, SyntheticProcesses(64));
    ClickRefresh(form);
    if (costs) {
        ShowEveryCostColumn(form);
        ClickHeader(ListOf(form), static_cast<int>(ProcessColumn::Memory));
    }
    Drain();
    ScriptProcesses(fake, SyntheticProcesses(count));
    Drain();
    const std::size_t before = PrivateBytes();
    ClickRefresh(form);
    if (costs) ClickRefresh(form);
    const std::size_t after = PrivateBytes(costs);
    const double perRow =
        after > before ? static_cast<double>(after - before) / static_cast<double>(count) : 0;
    std::cout << "private bytes per row at " << count << ": " << perRow << "\n";
    return static_cast<int>(std::lround(perRow));
}

// Runs this program again as a memory probe; the bytes per row, or a negative on failure.
double ProbeMemory(std::size_t count, bool costs) {
    wchar_t path[MAX_PATH];
    if (GetModuleFileNameW(nullptr, path, MAX_PATH) == 0) return -1;
    std::wstring command = L"\"" + std::wstring(path) + L"\" --memory-probe " +
                           std::to_wstring(count) + (costs ? L" --costs" : L"");
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(path, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return -1;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}

// Times several steps in turn, repetition after repetition, so a slow patch of the machine falls
// on all of them alike; the median of each. Where asked, also each step's median ratio to the first
// step timed beside it in the same repetition, which a slow patch lasting one repetition cannot
// move.
std::vector<double> InterleavedMedians(
    int repetitions, int batch, const std::vector<std::function<void()>>& steps,
    const std::function<void()>& between = [] {}, std::vector<double>* ratiosToFirst = nullptr) {
    std::vector<std::vector<double>> samples(steps.size());
    for (int repetition = 0; repetition < repetitions; ++repetition) {
        for (std::size_t step = 0; step < steps.size(); ++step) {
            samples[step].push_back(MedianMilliseconds(1, between,
                                                       [&] {
                                                           for (int i = 0; i < batch; ++i)
                                                               steps[step]();
                                                       }) /
                                    batch);
        }
    }
    const auto median = [](std::vector<double> values) {
        std::sort(values.begin(), values.end());
        return values[values.size() / 2];
    };
    if (ratiosToFirst) {
        ratiosToFirst->clear();
        for (const std::vector<double>& times : samples) {
            std::vector<double> ratios;
            for (std::size_t i = 0; i < times.size(); ++i)
                ratios.push_back(times[i] / samples[0][i]);
            ratiosToFirst->push_back(median(ratios));
        }
    }
    std::vector<double> medians;
    for (const std::vector<double>& times : samples) medians.push_back(median(times));
    return medians;
}

// The worst a typed character costs the process window's model, which answers the list's search:
// no row matches, so every row is visited.
double TypeAhead(const std::vector<SyntheticProcess>& processes, int repetitions) {
    std::vector<std::vector<unsigned char>> sids;
    for (const SyntheticUser& user : SyntheticUsers()) sids.push_back(SidBytes(user.sid));
    ProcessTable table(LocaleCompare, [](const void*) { return std::wstring(L"DOMAIN\\user"); });
    for (const SyntheticProcess& process : processes)
        table.Add({{.sessionId = static_cast<std::int32_t>(process.sessionId),
                    .processId = static_cast<std::int32_t>(process.processId)},
                   process.wideName,
                   sids[process.user].data()});
    table.Finish();
    return InterleavedMedians(
        repetitions, 1, {[&] {
            sink = table
                       .Find({L"no such name", TextMatch::Prefix, processes.size() / 2, true},
                             ProcessColumn::ProcessName)
                       .value_or(0);
        }})[0];
}

struct ProcessResults {
    double floor = 0;
    double refresh = 0;
    double sort[kProcessColumnCount]{};
    double sortedRefresh[kProcessColumnCount]{};
    double sortedFloor[kProcessColumnCount]{};  // measured alongside each sorted refresh
    // Each refresh's median ratio to the floor timed beside it.
    double refreshRatio = 0;
    double sortedRatio[kProcessColumnCount]{};
    long long messages = 0;
    int firstLookups = 0;  // in a window's first refresh
    std::size_t firstCalls = 0;
    int laterLookups = 0;  // in every refresh after it
    std::size_t distinctUsers = 0;
    bool sortsCorrect = true;
};

ProcessResults MeasureProcesses(std::size_t count, const Plan& plan, Report& report) {
    ProcessResults results;
    const std::vector<SyntheticProcess> processes = SyntheticProcesses(count);
    FakePlatform fake;
    ScriptAccounts(fake);
    ScriptProcesses(fake, processes);
    std::vector<bool> seen(SyntheticUsers().size());
    for (const SyntheticProcess& process : processes) seen[process.user] = true;
    results.distinctUsers = static_cast<std::size_t>(std::count(seen.begin(), seen.end(), true));
    Form2 form(fake.platform());
    form.Create();
    // The accounts are looked up on a thread of the window's while the rows are shown, in a call
    // or two.
    while (static_cast<std::size_t>(fake.AccountsAsked()) < results.distinctUsers ||
           !fake.LookupsSettled())
        Sleep(1);
    Drain();
    results.firstLookups = fake.accountLookups;
    results.firstCalls = fake.LookupCallCount();
    const HWND list = ListOf(form);
    const Platform& platform = fake.platform();
    const int repetitions = plan.Repetitions();
    const int batch = plan.Batch(count);

    std::vector<double> ratios;
    const std::vector<double> times = InterleavedMedians(
        repetitions, batch, {[&] { ProcessFloor(platform); }, [&] { ClickRefresh(form); }}, Drain,
        &ratios);
    results.floor = times[0];
    results.refresh = times[1];
    results.refreshRatio = ratios[1];

    results.messages = MessagesForRefresh(form);
    if (static_cast<std::size_t>(results.firstLookups) < results.distinctUsers) {
        std::cerr << "accounts shown without a lookup\n";
        results.sortsCorrect = false;
    }

    for (int column = 0; column < kAlwaysShownColumnCount; ++column) {
        // Each click sorts rows fresh from a refresh, which sorted them by another column.
        const int other = (column + 1) % kAlwaysShownColumnCount;
        results.sort[column] =
            InterleavedMedians(repetitions, 1, {[&] { ClickHeader(list, column); }}, [&] {
                ClickHeader(list, other);
                ClickRefresh(form);
                Drain();
            })[0];
        Drain();
        if (!ListIsSorted(list, column, processes)) {
            std::cerr << "the list is not sorted by " << ColumnName(column) << "\n";
            results.sortsCorrect = false;
        }
        // The sort stays on: a refresh now delivers its rows sorted by the column.
        const std::vector<double> sorted = InterleavedMedians(
            repetitions, batch, {[&] { ProcessFloor(platform); }, [&] { ClickRefresh(form); }},
            Drain, &ratios);
        results.sortedFloor[column] = sorted[0];
        results.sortedRefresh[column] = sorted[1];
        results.sortedRatio[column] = ratios[1];
        if (!ListIsSorted(list, column, processes)) {
            std::cerr << "a refresh did not keep the list sorted by " << ColumnName(column) << "\n";
            results.sortsCorrect = false;
        }
    }
    results.laterLookups = fake.accountLookups - results.firstLookups;

    report.Add(
        {"floor (extended enumeration, copy names)", count, results.floor, results.floor, ""});
    report.Add({"refresh", count, results.refresh, results.floor, "", results.refreshRatio});
    for (int column = 0; column < kAlwaysShownColumnCount; ++column)
        report.Add(
            {"sort by " + ColumnName(column), count, results.sort[column], results.floor, ""});
    for (int column = 0; column < kAlwaysShownColumnCount; ++column)
        report.Add({"refresh, sorted by " + ColumnName(column), count,
                    results.sortedRefresh[column], results.sortedFloor[column], "",
                    results.sortedRatio[column]});

    // The first sort by name in a window just opened: no name's place is known yet.
    std::unique_ptr<Form2> opened;
    const double firstSort = InterleavedMedians(
        3, 1, {[&] { ClickHeader(ListOf(*opened), static_cast<int>(ProcessColumn::ProcessName)); }},
        [&] {
            opened = std::make_unique<Form2>(platform);
            opened->Create();
            Drain();
        })[0];
    opened.reset();
    Drain();
    report.Add({"first sort by name, new window", count, firstSort, results.floor, ""});
    report.Add({"type-ahead, no match (model)", count, TypeAhead(processes, repetitions),
                results.floor, ""});
    report.Add(
        {"messages to/from the list", count, 0, 0, std::to_string(results.messages) + " msgs"});
    report.Add({"account lookups, first refresh", count, 0, 0,
                std::to_string(results.firstLookups) + " of " +
                    std::to_string(results.distinctUsers) + " in " +
                    std::to_string(results.firstCalls) +
                    (results.firstCalls == 1 ? " call" : " calls")});
    report.Add(
        {"account lookups, later refreshes", count, 0, 0, std::to_string(results.laterLookups)});
    report.Add({"distinct names", count, 0, 0, std::to_string(DistinctNames(processes))});
    if (fake.LiveBuffers() != 0 || fake.BadReleases() != 0) {
        std::cerr << "buffers left or released twice\n";
        results.sortsCorrect = false;
    }
    return results;
}

// With every cost column shown: a refresh, a sort by the memory and a refresh sorted by it.
struct CostResults {
    double floor = 0;
    double refreshRatio = 0;
    double sort = 0;
    double sortedRatio = 0;
    bool sortsCorrect = true;
};

CostResults MeasureCosts(std::size_t count, const Plan& plan, Report& report) {
    CostResults results;
    const std::vector<SyntheticProcess> processes = SyntheticProcesses(count);
    FakePlatform fake;
    ScriptAccounts(fake);
    ScriptProcesses(fake, processes);
    Form2 form(fake.platform());
    form.Create();
    while (fake.AccountsAsked() == 0 || !fake.LookupsSettled()) Sleep(1);
    Drain();
    ShowEveryCostColumn(form);
    const HWND list = ListOf(form);
    const Platform& platform = fake.platform();
    const int repetitions = plan.Repetitions();
    const int batch = plan.Batch(count);
    const auto refresh = [&](const std::string& what) {
        std::vector<double> ratios;
        const std::vector<double> times = InterleavedMedians(
            repetitions, batch, {[&] { ProcessFloor(platform); }, [&] { ClickRefresh(form); }},
            Drain, &ratios);
        report.Add({what, count, times[1], times[0], "", ratios[1]});
        results.floor = times[0];
        return ratios[1];
    };
    results.refreshRatio = refresh("refresh, every cost shown");
    const int memory = static_cast<int>(ProcessColumn::Memory);
    results.sort = InterleavedMedians(repetitions, 1, {[&] { ClickHeader(list, memory); }}, [&] {
        ClickHeader(list, 0);
        ClickRefresh(form);
        Drain();
    })[0];
    Drain();
    report.Add({"sort by Memory (KB), every cost shown", count, results.sort, results.floor, ""});
    results.sortsCorrect = ListIsSorted(list, memory, processes);
    results.sortedRatio = refresh("refresh, every cost shown, sorted by Memory (KB)");
    results.sortsCorrect = results.sortsCorrect && ListIsSorted(list, memory, processes);
    if (!results.sortsCorrect) std::cerr << "the list is not sorted by Memory (KB)\n";
    return results;
}

// What a click costs whatever it does: a button whose window does nothing, and a refresh with no
// processes to show.
void MeasureFixedCosts(const Plan& plan, Report& report) {
    const HWND window = CreateWindowExW(0, WC_STATICW, L"", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                                        nullptr, nullptr, nullptr, nullptr);
    const HWND button = CreateWindowExW(0, WC_BUTTONW, L"Idle", WS_CHILD | WS_VISIBLE, 0, 0, 80, 24,
                                        window, nullptr, nullptr, nullptr);
    FakePlatform fake;
    ScriptAccounts(fake);
    ScriptProcesses(fake, {});
    Form2 form(fake.platform());
    form.Create();
    Drain();
    // Not interleaved: a click moves the focus, and moving it between windows costs more again.
    const int repetitions = plan.Repetitions();
    const double idle = InterleavedMedians(
        repetitions, 1, {[&] { SendMessageW(button, BM_CLICK, 0, 0); }}, Drain)[0];
    const double empty =
        InterleavedMedians(repetitions, 1, {[&] { ClickRefresh(form); }}, Drain)[0];
    DestroyWindow(window);
    report.Add({"click on an idle button", 0, idle, 0, ""});
    report.Add({"refresh, no processes", 0, empty, 0, ""});
}

int Run(const Options& options) {
    const Plan plan =
        options.quick ? Plan{{200, 2000}, 500, false} : Plan{{1000, 10000, 100000}, 10000, true};
    const bool judge = plan.judgeTimes;
    Report report;
    MeasureFixedCosts(plan, report);
    std::map<std::size_t, ProcessResults> results;
    for (std::size_t count : plan.counts) {
        std::cerr << "measuring " << Grouped(count) << " processes...\n";
        results[count] = MeasureProcesses(count, plan, report);
    }
    {
        // Only at the largest count: at small ones the heap's slack and the page size outweigh
        // the rows.
        const std::size_t count = plan.counts.back();
        for (const bool costs : {false, true}) {
            const std::string what = costs ? "private bytes per row, costs shown, sorted, at most"
                                           : "private bytes per row";
            const double bytes = ProbeMemory(count, costs);
            report.Add({what, count, 0, 0, std::to_string(static_cast<int>(bytes))});
            if (bytes < 0)
                report.Check("memory probe failed", 1, 0, true);
            else
                report.Check(what + " at " + Grouped(count), bytes, 256, judge);
        }
    }

    // The session listing, against its own floor.
    {
        std::cerr << "measuring the session listing...\n";
        FakePlatform fake;
        Form1 form(fake.platform(), nullptr);
        form.Create();
        ScriptSessions(fake, SyntheticSessions(plan.sessions));
        const HWND button = GetDlgItem(form.Handle(), Form1::kCommand1);
        const std::vector<double> times = InterleavedMedians(
            plan.Repetitions(), 1,
            {[&] { SessionFloor(fake.platform()); }, [&] { SendMessageW(button, BM_CLICK, 0, 0); }},
            Drain);
        report.Add({"session floor", plan.sessions, times[0], times[0], ""});
        report.Add({"session listing", plan.sessions, times[1], times[0], ""});
        DestroyWindow(form.Handle());
        Drain();
    }

    const std::size_t largest = plan.counts.back();
    const ProcessResults& top = results[largest];
    // Only at the largest count: below it, what a click costs under Wine whatever it does
    // outweighs the floor (see the fixed costs).
    const std::string atLargest = " / floor at " + Grouped(largest);
    report.Check("refresh" + atLargest, top.refreshRatio, 2, judge);
    for (int column = 0; column < kAlwaysShownColumnCount; ++column)
        report.Check("refresh, sorted by " + ColumnName(column) + atLargest,
                     top.sortedRatio[column], 2, judge);
    for (int column = 0; column < kAlwaysShownColumnCount; ++column)
        report.Check("sort by " + ColumnName(column) + atLargest, top.sort[column] / top.floor, 5,
                     judge);
    if (plan.counts.size() >= 2) {
        const std::size_t previous = plan.counts[plan.counts.size() - 2];
        report.Check("refresh " + Grouped(largest) + " / refresh " + Grouped(previous),
                     top.refresh / results[previous].refresh,
                     1.2 * static_cast<double>(largest) / static_cast<double>(previous), judge);
        // Messages may not grow with the rows: at most one more per thousand more rows.
        const ProcessResults& low = results[plan.counts.front()];
        report.Check("extra messages per 1,000 extra rows",
                     1000.0 * static_cast<double>(top.messages - low.messages) /
                         static_cast<double>(largest - plan.counts.front()),
                     1, true);
    }
    // Each account is looked up in a window's first refresh, and never again while it is open:
    // those the system names itself in one call, the domains' in one more (far fewer than the
    // 20,480 a call takes).
    for (std::size_t count : plan.counts) {
        report.Check("lookups per distinct account, first refresh at " + Grouped(count),
                     static_cast<double>(results[count].firstLookups) /
                         static_cast<double>(results[count].distinctUsers),
                     1, true);
        report.Check("lookup calls, first refresh at " + Grouped(count),
                     static_cast<double>(results[count].firstCalls), 2, true);
        report.Check("lookups in later refreshes at " + Grouped(count), results[count].laterLookups,
                     0, true);
    }
    std::cerr << "measuring the cost columns at " << Grouped(largest) << " processes...\n";
    const CostResults costs = MeasureCosts(largest, plan, report);
    report.Check("refresh, every cost shown" + atLargest, costs.refreshRatio, 2, judge);
    report.Check("refresh, every cost shown, sorted by Memory (KB)" + atLargest, costs.sortedRatio,
                 2, judge);
    report.Check("sort by Memory (KB)" + atLargest, costs.sort / costs.floor, 5, judge);
    bool sortsCorrect = costs.sortsCorrect;
    for (const auto& [count, at] : results) sortsCorrect = sortsCorrect && at.sortsCorrect;
    report.Check("lists out of order or buffers not released", sortsCorrect ? 0 : 1, 0, true);

    std::cout << "wtsscope-bench: " << (options.quick ? "quick run, times not judged" : "full run")
              << "; median of repetitions, times in milliseconds\n\n";
    report.Print(std::cout);
    const bool passed = report.Passed();
    std::cout << "\n" << (passed ? "all targets met" : "TARGETS MISSED") << "\n";
    return passed ? 0 : 1;
}

}  // namespace
}  // namespace wtsscope::bench

int main(int argc, char** argv) {
    wtsscope::bench::Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--quick") {
            options.quick = true;
        } else if (argument == "--memory-probe" && i + 1 < argc) {
            options.memoryProbe = std::stoul(argv[++i]);
        } else if (argument == "--costs") {
            options.memoryProbeCosts = true;
        } else {
            std::cerr << "usage: wtsscope-bench [--quick]\n";
            return 2;
        }
    }
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    if (options.memoryProbe)
        return wtsscope::bench::MemoryProbe(options.memoryProbe, options.memoryProbeCosts);
    return wtsscope::bench::Run(options);
}
