// Where wtsapi32.dll comes from, and what the windows do when it cannot be had. Copies of a
// stand-in that leaves a mark when loaded are planted beside the executables and in the current
// directory, and must never be loaded; without the library, or with one that lacks an export, the
// windows report the loader's code and go on working. Where the system cannot be told to search
// only its own directory, the current directory at least leaves the search.
//
// Each case runs in a process of its own, started here from a copy of the executable under a name
// of its own, so that the library is loaded afresh and Wine's loader can be told, for that name
// alone, what to do: by default Wine prefers its own built-in copy of a system library to any file
// of that name, which would hide a program that looks in the wrong place, so those copies are made
// to prefer files, as Windows does.

#include <windows.h>
#include <wtsapi32.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cwctype>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "main_window/form1.h"
#include "platform/platform.h"
#include "platform/system_library.h"
#include "process_window/form2.h"
#include "tests/windows/child_process.h"
#include "tests/windows/window_fixture.h"

namespace wtsscope {
namespace {

constexpr wchar_t kPreferFiles[] = L"native,builtin";
constexpr wchar_t kNoLibrary[] = L"";
constexpr wchar_t kStandInVariable[] = L"WTSSCOPE_STAND_IN";
constexpr DWORD kChildTimeoutMs = 120000;
// Names no system library has, so that only the order of the search decides whether they load.
constexpr wchar_t kBesideTheProgram[] = L"wtsscope_beside.dll";
constexpr wchar_t kInCurrentDirectory[] = L"wtsscope_current.dll";

bool UnderWine() {
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

std::wstring DirectoryOf(const std::wstring& path) {
    return path.substr(0, path.find_last_of(L"\\/"));
}

std::wstring BuildDirectory() { return DirectoryOf(ModulePath(nullptr)); }

std::wstring SystemDirectory() {
    wchar_t directory[MAX_PATH];
    const UINT length = GetSystemDirectoryW(directory, MAX_PATH);
    return std::wstring(directory, length);
}

bool SamePath(std::wstring a, std::wstring b) {
    for (std::wstring* path : {&a, &b})
        for (wchar_t& c : *path) c = c == L'/' ? L'\\' : static_cast<wchar_t>(std::towlower(c));
    return a == b;
}

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A directory of its own under the temporary directory, removed with everything in it.
class ScratchDirectory {
  public:
    explicit ScratchDirectory(const std::wstring& purpose) {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        static int made = 0;
        path_ = std::wstring(temp) + L"wtsscope-" + purpose + L"-" +
                std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++made);
        CreateDirectoryW(path_.c_str(), nullptr);
    }
    ~ScratchDirectory() {
        WIN32_FIND_DATAW found;
        const HANDLE search = FindFirstFileW((path_ + L"\\*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                    DeleteFileW((path_ + L"\\" + found.cFileName).c_str());
            } while (FindNextFileW(search, &found));
            FindClose(search);
        }
        RemoveDirectoryW(path_.c_str());
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    const std::wstring& Path() const { return path_; }
    std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

    // Copies a file from the build directory in under the given name.
    bool Place(const std::wstring& builtName, const std::wstring& name) const {
        return CopyFileW((BuildDirectory() + L"\\" + builtName).c_str(), (*this / name).c_str(),
                         FALSE) != FALSE;
    }

  private:
    std::wstring path_;
};

// Tells Wine's loader how to load wtsapi32.dll into programs of one file name, for as long as this
// lives. Windows has no such setting and needs none: it always loads files.
class WineLibraryOrder {
  public:
    WineLibraryOrder(const std::wstring& programName, const wchar_t* order)
        : key_(L"Software\\Wine\\AppDefaults\\" + programName) {
        if (!UnderWine()) return;
        HKEY overrides = nullptr;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, (key_ + L"\\DllOverrides").c_str(), 0, nullptr, 0,
                            KEY_SET_VALUE, nullptr, &overrides, nullptr) != ERROR_SUCCESS)
            return;
        RegSetValueExW(overrides, L"wtsapi32", 0, REG_SZ, reinterpret_cast<const BYTE*>(order),
                       static_cast<DWORD>((wcslen(order) + 1) * sizeof(wchar_t)));
        RegCloseKey(overrides);
    }
    ~WineLibraryOrder() {
        if (UnderWine()) RegDeleteTreeW(HKEY_CURRENT_USER, key_.c_str());
    }
    WineLibraryOrder(const WineLibraryOrder&) = delete;
    WineLibraryOrder& operator=(const WineLibraryOrder&) = delete;

  private:
    std::wstring key_;
};

// A file name no other run uses, so that the loader setting above reaches only this test's copy.
std::wstring UniqueProgramName(const std::wstring& stem) {
    static int made = 0;
    return stem + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++made) +
           L".exe";
}

// Runs one of the tests below that only make sense in a process of their own, from a copy of this
// executable in the given directory whose loader prefers files or goes without the library.
void RunInChild(const std::wstring& test, const std::wstring& programDirectory,
                const std::wstring& currentDirectory, const wchar_t* order) {
    const std::wstring name = UniqueProgramName(L"wtsscope-tests");
    const std::wstring program = programDirectory + L"\\" + name;
    ASSERT_TRUE(CopyFileW(ModulePath(nullptr).c_str(), program.c_str(), FALSE));
    const WineLibraryOrder loaderOrder(name, order);
    const ScratchDirectory logs(L"log");
    const ChildResult child = RunChild(
        program, L"--gtest_also_run_disabled_tests --gtest_filter=InOwnProcess.DISABLED_" + test,
        currentDirectory, logs / L"output.txt", kChildTimeoutMs);
    DeleteFileW(program.c_str());
    ASSERT_TRUE(child.finished) << child.output;
    EXPECT_EQ(child.exitCode, 0u) << child.output;
    EXPECT_NE(child.output.find("[  PASSED  ] 1 test."), std::string::npos) << child.output;
}

struct FoundWindow {
    DWORD process;
    HWND window;
};

BOOL CALLBACK FindMainWindow(HWND window, LPARAM found) {
    auto& search = *reinterpret_cast<FoundWindow*>(found);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != search.process || ClassName(window) != L"wtsscope.Form1") return TRUE;
    search.window = window;
    return FALSE;
}

TEST(LibraryLoading, PlantedCopiesBesideTheTestsAndInTheCurrentDirectoryAreNotLoaded) {
    const ScratchDirectory program(L"program");
    const ScratchDirectory current(L"current");
    ASSERT_TRUE(program.Place(L"stand_in_wtsapi32.dll", L"wtsapi32.dll"));
    ASSERT_TRUE(current.Place(L"stand_in_wtsapi32.dll", L"wtsapi32.dll"));
    const std::wstring besideMark = program / L"wtsapi32.dll.loaded";
    const std::wstring currentMark = current / L"wtsapi32.dll.loaded";

    // First, that the plant would be caught: a plain load by name picks the copy beside the
    // program, and the copy says so.
    RunInChild(L"PlainLoadByNameFindsThePlantedCopy", program.Path(), current.Path(), kPreferFiles);
    ASSERT_TRUE(Exists(besideMark)) << "the planted copy would go unnoticed";
    ASSERT_TRUE(DeleteFileW(besideMark.c_str()));

    RunInChild(L"PlatformFunctionsUseTheSystemCopy", program.Path(), current.Path(), kPreferFiles);
    EXPECT_FALSE(Exists(besideMark));
    EXPECT_FALSE(Exists(currentMark));
}

TEST(LibraryLoading, PlantedCopiesBesideTheProgramAndInItsCurrentDirectoryAreNotLoaded) {
    const ScratchDirectory program(L"program");
    const ScratchDirectory current(L"current");
    const std::wstring name = UniqueProgramName(L"wtsscope");
    ASSERT_TRUE(program.Place(L"wtsscope.exe", name));
    ASSERT_TRUE(program.Place(L"stand_in_wtsapi32.dll", L"wtsapi32.dll"));
    ASSERT_TRUE(current.Place(L"stand_in_wtsapi32.dll", L"wtsapi32.dll"));
    const WineLibraryOrder loaderOrder(name, kPreferFiles);
    const ScratchDirectory logs(L"log");

    // The program started as a user would, hidden; its listing makes it load the library.
    LRESULT listed = 0;
    const ChildResult child = RunChild(
        program / name, L"", current.Path(), logs / L"output.txt", kChildTimeoutMs, SW_HIDE,
        [&](const PROCESS_INFORMATION& process) {
            FoundWindow found{process.dwProcessId, nullptr};
            for (int waited = 0; waited < 300 && !found.window; ++waited) {
                if (WaitForSingleObject(process.hProcess, 100) == WAIT_OBJECT_0) return;
                EnumWindows(FindMainWindow, reinterpret_cast<LPARAM>(&found));
            }
            if (!found.window) return;
            const HWND command1 = GetDlgItem(found.window, Form1::kCommand1);
            DWORD_PTR ignored = 0;
            SendMessageTimeoutW(found.window, WM_COMMAND, MAKEWPARAM(Form1::kCommand1, BN_CLICKED),
                                reinterpret_cast<LPARAM>(command1), SMTO_ABORTIFHUNG, 30000,
                                &ignored);
            SendMessageTimeoutW(GetDlgItem(found.window, Form1::kList1), LB_GETCOUNT, 0, 0,
                                SMTO_ABORTIFHUNG, 30000, reinterpret_cast<DWORD_PTR*>(&listed));
            PostMessageW(found.window, WM_CLOSE, 0, 0);
        });
    ASSERT_TRUE(child.finished);
    EXPECT_EQ(child.exitCode, 0u);
    // At least the version line: the listing ran, so the library was asked for.
    EXPECT_GE(listed, 1);
    EXPECT_FALSE(Exists(program / L"wtsapi32.dll.loaded"));
    EXPECT_FALSE(Exists(current / L"wtsapi32.dll.loaded"));
}

TEST(LibraryLoading, WithoutTheLibraryBothWindowsReportTheLoadersCode) {
    if (!UnderWine()) GTEST_SKIP() << "only Wine can be told to leave out a system library";
    const ScratchDirectory program(L"program");
    RunInChild(L"WithoutTheLibrary", program.Path(), program.Path(), kNoLibrary);
}

TEST(LibraryLoading, WithAnExportMissingOnlyThatFunctionFails) {
    const ScratchDirectory program(L"program");
    const ScratchDirectory library(L"library");
    ASSERT_TRUE(library.Place(L"stand_in_wtsapi32_partial.dll", L"wtsapi32.dll"));
    SetEnvironmentVariableW(kStandInVariable, (library / L"wtsapi32.dll").c_str());
    RunInChild(L"WithAnExportMissing", program.Path(), program.Path(), kPreferFiles);
    SetEnvironmentVariableW(kStandInVariable, nullptr);
}

TEST(LibraryLoading, TheSearchLeavesTheCurrentDirectoryWithoutTheSearchFlags) {
    const ScratchDirectory program(L"program");
    const ScratchDirectory current(L"current");
    ASSERT_TRUE(program.Place(L"stand_in_wtsapi32.dll", kBesideTheProgram));
    ASSERT_TRUE(current.Place(L"stand_in_wtsapi32.dll", kInCurrentDirectory));
    RunInChild(L"LibrarySearchNarrows", program.Path(), current.Path(), kPreferFiles);
}

// What follows runs only in the processes started above.

std::vector<std::wstring> boxTitles;

int WINAPI RecordMessageBox(HWND, LPCWSTR, LPCWSTR title, UINT) {
    boxTitles.push_back(title);
    return IDOK;
}

// The system's functions, loaded the program's way, with error boxes recorded instead of shown.
PlatformFunctions SystemFunctionsRecordingBoxes() {
    PlatformFunctions functions = SystemPlatformFunctions();
    functions.MessageBoxW = RecordMessageBox;
    return functions;
}

TEST(InOwnProcess, DISABLED_PlainLoadByNameFindsThePlantedCopy) {
    const HMODULE loaded = LoadLibraryW(L"wtsapi32.dll");
    ASSERT_NE(loaded, nullptr);
    EXPECT_NE(GetProcAddress(loaded, "StandInOutstandingBuffers"), nullptr);
}

TEST(InOwnProcess, DISABLED_PlatformFunctionsUseTheSystemCopy) {
    const PlatformFunctions& system = SystemPlatformFunctions();
    PWTS_SESSION_INFOA sessions = nullptr;
    PWTS_PROCESS_INFOW processes = nullptr;
    DWORD count = 0;
    if (system.WTSEnumerateSessionsA(WTS_CURRENT_SERVER_HANDLE, 0, 1, &sessions, &count))
        system.WTSFreeMemory(sessions);
    if (system.WTSEnumerateProcessesW(WTS_CURRENT_SERVER_HANDLE, 0, 1, &processes, &count))
        system.WTSFreeMemory(processes);

    const HMODULE loaded = GetModuleHandleW(L"wtsapi32.dll");
    ASSERT_NE(loaded, nullptr);
    EXPECT_TRUE(SamePath(DirectoryOf(ModulePath(loaded)), SystemDirectory())) << ModulePath(loaded);
    EXPECT_EQ(GetProcAddress(loaded, "StandInOutstandingBuffers"), nullptr);
}

TEST(InOwnProcess, DISABLED_WithoutTheLibrary) {
    const PlatformFunctions functions = SystemFunctionsRecordingBoxes();
    const Platform platform(functions);
    const Enumeration<SessionRecord> sessions = platform.EnumerateSessions();
    EXPECT_FALSE(sessions.succeeded());
    EXPECT_EQ(sessions.error, static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    const ProcessEnumeration processes = platform.EnumerateProcesses();
    EXPECT_FALSE(processes.succeeded());
    EXPECT_EQ(processes.error, static_cast<DWORD>(ERROR_MOD_NOT_FOUND));

    Windows windows(platform);
    windows.OpenMain();
    // Every attempt asks the loader again, and every one is reported.
    for (int attempt = 1; attempt <= 2; ++attempt) {
        windows.ListSessions();
        ASSERT_EQ(boxTitles.size(), static_cast<std::size_t>(attempt));
        EXPECT_EQ(boxTitles.back(), L"ERROR 126");
        EXPECT_EQ(windows.Report().size(), 1u);
    }
    windows.ShowProcesses();
    ASSERT_EQ(boxTitles.size(), 3u);
    EXPECT_EQ(boxTitles.back(), L"Error 126");
    EXPECT_EQ(ListViewRows(windows.List()), 0);
    ClickButton(windows.Refresh());
    ASSERT_EQ(boxTitles.size(), 4u);
    EXPECT_EQ(boxTitles.back(), L"Error 126");
    EXPECT_TRUE(IsWindowEnabled(windows.Refresh()));
    EXPECT_EQ(GetModuleHandleW(L"wtsapi32.dll"), nullptr);
}

TEST(InOwnProcess, DISABLED_WithAnExportMissing) {
    const wchar_t* const path = _wgetenv(kStandInVariable);
    ASSERT_NE(path, nullptr);
    // Loaded by its full path first, the stand-in is what the loader answers for that name from
    // then on, wherever the program asks it to look: a system whose library lacks the export.
    const HMODULE standIn = LoadLibraryW(path);
    ASSERT_NE(standIn, nullptr);
    ASSERT_EQ(GetModuleHandleW(L"wtsapi32.dll"), standIn);
    const auto outstanding = reinterpret_cast<LONG(WINAPI*)()>(
        reinterpret_cast<void (*)()>(GetProcAddress(standIn, "StandInOutstandingBuffers")));
    ASSERT_NE(outstanding, nullptr);

    const PlatformFunctions functions = SystemFunctionsRecordingBoxes();
    const Platform platform(functions);
    Windows windows(platform);
    windows.OpenMain();
    windows.ShowProcesses();
    ASSERT_EQ(boxTitles.size(), 1u);
    EXPECT_EQ(boxTitles.back(), L"Error 127");  // ERROR_PROC_NOT_FOUND
    EXPECT_EQ(ListViewRows(windows.List()), 0);
    ClickButton(windows.Refresh());
    ASSERT_EQ(boxTitles.size(), 2u);
    EXPECT_EQ(boxTitles.back(), L"Error 127");
    EXPECT_TRUE(IsWindowEnabled(windows.Refresh()));

    // The exports that are there work as before, and their buffers go back.
    windows.ListSessions();
    const std::vector<std::wstring> report = windows.Report();
    ASSERT_EQ(report.size(), 9u);
    EXPECT_EQ(report[0], L"Session ID: 1");
    EXPECT_EQ(report[1], L"Machine Name: Stand-in Console");
    EXPECT_EQ(report[2], L"Connect State: 0");
    EXPECT_EQ(report[4], L"Session ID: 3");
    EXPECT_EQ(report[5], L"Machine Name: Stand-in RDP-Tcp#3");
    EXPECT_EQ(report[6], L"Connect State: 4");
    EXPECT_EQ(boxTitles.size(), 2u);
    EXPECT_EQ(outstanding(), 0);
}

// Whether a library of that name loads from where the loader looks now.
bool Loads(const wchar_t* name) {
    const HMODULE module = LoadLibraryW(name);
    if (module) FreeLibrary(module);
    return module != nullptr;
}

TEST(InOwnProcess, DISABLED_LibrarySearchNarrows) {
    // The loader's own order looks beside the program and in the current directory.
    ASSERT_TRUE(Loads(kBesideTheProgram));
    ASSERT_TRUE(Loads(kInCurrentDirectory));

    // As on Vista, or 7 without KB2533623: the current directory leaves the search; the
    // program's own directory stays first, as documented for SetDllDirectory.
    EXPECT_EQ(RestrictLibrarySearch(nullptr), LibrarySearch::WithoutCurrentDirectory);
    EXPECT_FALSE(Loads(kInCurrentDirectory));
    EXPECT_TRUE(Loads(kBesideTheProgram));

    const SetDefaultDllDirectoriesFunction setDefault = SystemSetDefaultDllDirectories();
    if (!setDefault) GTEST_SKIP() << "this system has no SetDefaultDllDirectories";
    EXPECT_EQ(RestrictLibrarySearch(setDefault), LibrarySearch::SystemDirectoryOnly);
    EXPECT_FALSE(Loads(kBesideTheProgram));
    EXPECT_FALSE(Loads(kInCurrentDirectory));
    EXPECT_TRUE(Loads(L"wtsapi32.dll"));
}

}  // namespace
}  // namespace wtsscope
