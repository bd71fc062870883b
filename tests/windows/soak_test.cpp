// A long run of the two windows in one process: the process window refreshed over and over with a
// large server's processes, the session listing taken as often. Whatever the windows allocate per
// run must come back: after a warm-up, window-manager objects, GDI objects and private bytes stop
// growing, and every buffer the platform handed out is released exactly once.
//
// WTSSCOPE_SOAK_CYCLES sets the number of cycles (100 by default); the full soak is
//   WTSSCOPE_SOAK_CYCLES=1000 wtsscope_windows_tests.exe --gtest_filter=Soak.*

#include <windows.h>
#include <psapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "main_window/form1.h"
#include "process_window/form2.h"
#include "tests/fakes/fake_platform.h"
#include "tests/windows/user_input.h"
#include "tests/windows/window_readers.h"

namespace wtsscope {
namespace {

using testing::FakePlatform;
using testing::FakeProcess;
using testing::FakeSession;

constexpr int kDefaultCycles = 100;
constexpr DWORD kProcesses = 5000;
constexpr DWORD kSessions = 60;
// Growth allowed after the warm-up, which is the first tenth of the cycles.
constexpr double kAllowedGrowth = 0.01;

int Cycles() {
    // Read before any thread of the test starts.
    const char* text = std::getenv("WTSSCOPE_SOAK_CYCLES");  // NOLINT(concurrency-mt-unsafe)
    const int cycles = text ? std::atoi(text) : kDefaultCycles;
    return cycles >= 10 ? cycles : kDefaultCycles;
}

BOOL CALLBACK CountWindow(HWND window, LPARAM count) {
    ++*reinterpret_cast<std::size_t*>(count);
    EnumChildWindows(window, CountWindow, count);
    return TRUE;
}

struct Usage {
    DWORD userObjects = 0;
    DWORD gdiObjects = 0;
    // The thread's windows and their children: the part of the user objects that Wine counts too.
    std::size_t windows = 0;
    SIZE_T privateBytes = 0;
};

Usage Measure() {
    Usage usage;
    usage.userObjects = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    usage.gdiObjects = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    EnumThreadWindows(GetCurrentThreadId(), CountWindow, reinterpret_cast<LPARAM>(&usage.windows));
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof(memory);
    K32GetProcessMemoryInfo(GetCurrentProcess(),
                            reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof(memory));
    // Wine leaves PrivateUsage at zero; the page-file usage is the same commit charge.
    usage.privateBytes = memory.PrivateUsage != 0 ? memory.PrivateUsage : memory.PagefileUsage;
    return usage;
}

// One measure over the cycles: where it stood when the warm-up ended, its highest after that, and
// where it ended.
struct Trend {
    const char* name;
    double atWarmUp;
    double highest;
    double last;

    // Every sample is taken with both windows, their fonts and thousands of rows in place: a
    // platform that answers zero throughout does not count this at all (Wine counts neither user
    // nor GDI objects), and there is nothing to compare.
    bool Counted() const { return highest > 0; }
    double Growth() const { return (last - atWarmUp) / std::max(atWarmUp, 1.0); }
};

template <class Read>
Trend TrendOf(const char* name, const std::vector<Usage>& samples, std::size_t warmUp, Read read) {
    Trend trend{name, static_cast<double>(read(samples[warmUp])), 0, 0};
    for (std::size_t i = warmUp; i < samples.size(); ++i)
        trend.highest = std::max(trend.highest, static_cast<double>(read(samples[i])));
    trend.last = static_cast<double>(read(samples.back()));
    return trend;
}

TEST(Soak, RefreshesAndListingsLeakNothing) {
    const int cycles = Cycles();
    FakePlatform fake;
    fake.accounts["S-1-5-18"] = {L"NT AUTHORITY", L"SYSTEM"};
    fake.accounts["S-1-5-19"] = {L"NT AUTHORITY", L"LOCAL SERVICE"};
    fake.accounts["S-1-5-20"] = {L"NT AUTHORITY", L"NETWORK SERVICE"};
    for (int user = 0; user < 40; ++user)
        fake.accounts["S-1-5-21-7-8-9-" + std::to_string(1000 + user)] = {
            L"CORP", L"user" + std::to_wstring(user)};
    std::vector<FakeProcess> processes;
    for (DWORD i = 0; i < kProcesses; ++i) {
        const DWORD session = i % (kSessions / 2);
        const std::string sid = session < 2 ? "S-1-5-" + std::to_string(18 + i % 3)
                                            : "S-1-5-21-7-8-9-" + std::to_string(1000 + session);
        processes.push_back({session, 4 * (i + 1), "process-" + std::to_string(i) + ".exe", sid});
    }
    fake.ScriptProcesses(processes);
    std::vector<FakeSession> sessions;
    for (DWORD i = 0; i < kSessions; ++i)
        sessions.push_back({i, "RDP-Tcp#" + std::to_string(i), static_cast<int>(i % 10)});
    fake.ScriptSessions(sessions);

    // Hidden, as in every test here: Wine maps shown windows slowly without a window manager.
    Form1 main(fake.platform(), nullptr);
    ASSERT_NE(main.Create(), nullptr);
    // NOLINTNEXTLINE(cppcoreguidelines-special-member-functions): made in place, never copied.
    const struct CloseOnExit {
        HWND window;
        ~CloseOnExit() {
            if (IsWindow(window)) DestroyWindow(window);
            DrainMessages();
        }
    } closeMain{main.Handle()};
    Form2 processWindow(fake.platform());
    processWindow.Show();
    ShowWindow(processWindow.Handle(), SW_HIDE);
    DrainMessages();
    const HWND list = GetDlgItem(processWindow.Handle(), Form2::kListView1);
    const HWND refresh = GetDlgItem(processWindow.Handle(), Form2::kCommand1);
    const HWND command1 = GetDlgItem(main.Handle(), Form1::kCommand1);
    const HWND list1 = GetDlgItem(main.Handle(), Form1::kList1);

    std::vector<Usage> samples;
    samples.reserve(static_cast<std::size_t>(cycles));
    const DWORD started = GetTickCount();
    for (int cycle = 0; cycle < cycles; ++cycle) {
        // Each cycle sorts by the next column, so that every column's sort has run by the end of
        // the warm-up; the sort then holds for the refresh.
        ClickHeader(list, cycle % kAlwaysShownColumnCount);
        ClickButton(refresh);
        PaintOffScreen(list);
        ClickButton(command1);
        PaintOffScreen(list1);
        ASSERT_EQ(ListViewRows(list), static_cast<int>(kProcesses)) << "cycle " << cycle;
        ASSERT_EQ(SendMessageW(list1, LB_GETCOUNT, 0, 0), static_cast<LRESULT>(kSessions * 4 + 1));
        samples.push_back(Measure());
    }
    const DWORD elapsed = GetTickCount() - started;

    EXPECT_TRUE(fake.messageBoxes.empty());
    EXPECT_EQ(fake.sessionEnumerations, cycles);
    EXPECT_EQ(fake.processEnumerations, cycles + 1);
    EXPECT_EQ(fake.BuffersReleased(), 2 * cycles + 1);
    EXPECT_EQ(fake.LiveBuffers(), 0u);
    EXPECT_EQ(fake.BadReleases(), 0);

    const std::size_t warmUp = samples.size() / 10;
    const Trend trends[] = {
        TrendOf("user objects", samples, warmUp, [](const Usage& u) { return u.userObjects; }),
        TrendOf("GDI objects", samples, warmUp, [](const Usage& u) { return u.gdiObjects; }),
        TrendOf("windows", samples, warmUp, [](const Usage& u) { return u.windows; }),
        TrendOf("private bytes", samples, warmUp, [](const Usage& u) { return u.privateBytes; }),
    };
    std::printf("soak: %d cycles of %lu processes and %lu sessions in %lu ms\n", cycles,
                static_cast<unsigned long>(kProcesses), static_cast<unsigned long>(kSessions),
                static_cast<unsigned long>(elapsed));
    for (const Trend& trend : trends) {
        if (!trend.Counted()) {
            // The windows count stands in for the user objects there.
            std::printf("soak: %-13s not counted here\n", trend.name);
            continue;
        }
        std::printf("soak: %-13s after warm-up %.0f, highest %.0f, last %.0f: %+.3f%%\n",
                    trend.name, trend.atWarmUp, trend.highest, trend.last, 100 * trend.Growth());
        EXPECT_LE(trend.Growth(), kAllowedGrowth) << trend.name;
    }
}

}  // namespace
}  // namespace wtsscope
