// Runs the real windows against a scripted terminal server, for looking at them and for the
// pictures in the documentation.

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <array>
#include <string>

#include "main_window/form1.h"
#include "process_window/form2.h"
#include "tests/fakes/fake_platform.h"
#include "tests/windows/user_input.h"

namespace {

using wtsscope::testing::FakePlatform;
using wtsscope::testing::FakeProcess;

// Scripts the server; its processes.
std::vector<FakeProcess> ScriptServer(FakePlatform& fake) {
    fake.version.wProductType = VER_NT_SERVER;
    fake.ScriptSessions({{0, "Services", WTSDisconnected},
                         {1, "Console", WTSActive},
                         {2, "RDP-Tcp#14", WTSActive},
                         {3, "RDP-Tcp#15", WTSActive},
                         {65536, "RDP-Tcp", WTSListen}});
    fake.accounts["S-1-5-18"] = {L"NT AUTHORITY", L"SYSTEM"};
    fake.accounts["S-1-5-19"] = {L"NT AUTHORITY", L"LOCAL SERVICE"};
    fake.accounts["S-1-5-20"] = {L"NT AUTHORITY", L"NETWORK SERVICE"};
    fake.accounts["S-1-5-21-3623811015-3361044348-30300820-1013"] = {L"CONTOSO", L"j.lindqvist"};
    fake.accounts["S-1-5-21-3623811015-3361044348-30300820-1027"] = {L"CONTOSO", L"a.okafor"};
    std::vector<FakeProcess> processes{
        {0, 0, "System Idle Process", std::nullopt},
        {0, 4, "System", "S-1-5-18"},
        {0, 388, "smss.exe", "S-1-5-18"},
        {0, 512, "csrss.exe", "S-1-5-18"},
        {0, 596, "wininit.exe", "S-1-5-18"},
        {0, 668, "services.exe", "S-1-5-18"},
        {0, 684, "lsass.exe", "S-1-5-18"},
        {0, 812, "svchost.exe", "S-1-5-18"},
        {0, 884, "svchost.exe", "S-1-5-20"},
        {0, 968, "svchost.exe", "S-1-5-19"},
        {0, 1208, "spoolsv.exe", "S-1-5-18"},
        {0, 1500, "TermService.exe", "S-1-5-20"},
        {1, 2212, "csrss.exe", "S-1-5-18"},
        {1, 2268, "winlogon.exe", "S-1-5-18"},
        {1, 3104, "explorer.exe", "S-1-5-21-3623811015-3361044348-30300820-1013"},
    };
    const std::array<const char*, 6> apps{"rdpclip.exe", "explorer.exe", "OUTLOOK.EXE",
                                          "EXCEL.EXE",   "msedge.exe",   "Teams.exe"};
    DWORD id = 4012;
    for (DWORD session = 2; session <= 3; ++session) {
        const char* user = session == 2 ? "S-1-5-21-3623811015-3361044348-30300820-1013"
                                        : "S-1-5-21-3623811015-3361044348-30300820-1027";
        processes.push_back({session, id += 36, "csrss.exe", "S-1-5-18"});
        for (const char* app : apps) processes.push_back({session, id += 148, app, user});
    }
    fake.ScriptProcesses(processes);
    return processes;
}

// Costs for the scripted processes, the desktop programs the heaviest; seconds later, each has
// used its share of the machine's processors since.
std::vector<FakeProcess> WithCosts(std::vector<FakeProcess> processes, int secondsLater) {
    SYSTEM_INFO system{};
    GetSystemInfo(&system);
    const std::array<std::string, 5> heavy{"msedge.exe", "Teams.exe", "OUTLOOK.EXE", "EXCEL.EXE",
                                           "explorer.exe"};
    for (std::size_t i = 0; i < processes.size(); ++i) {
        FakeProcess& process = processes[i];
        const bool desktop =
            std::find(heavy.begin(), heavy.end(), process.ProcessName) != heavy.end();
        const DWORD kilobytes = (desktop ? 60000 : 2000) + static_cast<DWORD>(i * 7919 % 40000);
        process.NumberOfThreads = 4 + static_cast<DWORD>(i * 7 % 40) + (desktop ? 30 : 0);
        process.HandleCount = 90 + static_cast<DWORD>(i * 137 % 1500);
        process.WorkingSetSize = kilobytes * 1024;
        process.PeakWorkingSetSize = kilobytes * 1280;
        process.PagefileUsage = kilobytes * 700;
        const int share = desktop ? static_cast<int>(i % 7) + 1 : 0;
        process.UserTime =
            static_cast<std::int64_t>(i * 3697 % 7200) * 10'000'000 +
            std::int64_t{secondsLater} * share * system.dwNumberOfProcessors * 100'000;
    }
    return processes;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    FakePlatform fake;
    const std::vector<FakeProcess> processes = ScriptServer(fake);
    wtsscope::Form2 form2(fake.platform());
    wtsscope::Form1 form1(fake.platform(), [&form2] { form2.Show(); });
    if (!form1.Create()) return 1;
    // A margin of desktop around the windows, so a picture can be trimmed to them.
    SetWindowPos(form1.Handle(), nullptr, 16, 16, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ShowWindow(form1.Handle(), SW_SHOWNORMAL);
    const std::wstring what(commandLine);
    const bool sessions = what.find(L"sessions") != std::wstring::npos;
    if (sessions) SendDlgItemMessageW(form1.Handle(), wtsscope::Form1::kCommand1, BM_CLICK, 0, 0);
    const bool costs = what.find(L"costs") != std::wstring::npos;
    if (costs) fake.ScriptProcesses(WithCosts(processes, 0));
    if (costs || what.find(L"processes") != std::wstring::npos) {
        SendDlgItemMessageW(form1.Handle(), wtsscope::Form1::kCommand2, BM_CLICK, 0, 0);
        // Beside the main window when that shows the sessions too, so that one picture has both.
        RECT mainWindow{};
        if (sessions) GetWindowRect(form1.Handle(), &mainWindow);
        SetWindowPos(form2.Handle(), nullptr, mainWindow.right + 16, 16, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER);
    }
    if (costs) {
        // Threads, Memory (KB), CPU time and CPU %, chosen from the header's menu, sorted by the
        // memory, after a second refresh that finds each process's share of the processors.
        const HWND list = GetDlgItem(form2.Handle(), wtsscope::Form2::kListView1);
        RECT window{};
        GetWindowRect(form2.Handle(), &window);
        SetWindowPos(form2.Handle(), nullptr, 16, 16, 900, window.bottom - window.top,
                     SWP_NOZORDER);
        wtsscope::MenuPick menu;
        SetWindowSubclass(form2.Handle(), wtsscope::PickFromMenu, 0,
                          reinterpret_cast<DWORD_PTR>(&menu));
        for (const int item : {0, 2, 5, 6}) {
            menu.item = item;
            SendMessageW(form2.Handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list), -1);
        }
        RemoveWindowSubclass(form2.Handle(), wtsscope::PickFromMenu, 0);
        wtsscope::ClickHeader(list, 5);
        Sleep(2000);
        fake.ScriptProcesses(WithCosts(processes, 2));
        SendDlgItemMessageW(form2.Handle(), wtsscope::Form2::kCommand1, BM_CLICK, 0, 0);
    }
    return wtsscope::RunMessageLoop();
}
