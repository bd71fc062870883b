// Every platform function the windows call, failing in turn, through the real windows: what the
// user is told, that the window stays usable, and that the next call that succeeds shows all of its
// data with every buffer handed back exactly once.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "main_window/form1.h"
#include "process_window/form2.h"
#include "tests/fakes/fake_platform.h"
#include "tests/windows/window_fixture.h"

namespace wtsscope {
namespace {

// The prompts of the two error boxes, word for word as the user reads them, two blanks included.
constexpr wchar_t kSessionsPrompt[] =
    L"Error occurred calling WTSEnumerateSessionsA.  Check the Platform SDK error codes in the "
    L"MSDN Documentation for more information.";
constexpr wchar_t kProcessesPrompt[] =
    L"Error occurred calling WTSEnumerateProcesses.  Check the Platform SDK error codes in the "
    L"MSDN Documentation for more information.";

constexpr UINT kErrorBoxStyle = MB_OK | MB_ICONERROR;

// Access denied, the terminal-services service not running, and the server out of memory.
constexpr DWORD kEnumerationFailures[] = {ERROR_ACCESS_DENIED, RPC_S_SERVER_UNAVAILABLE,
                                          ERROR_NOT_ENOUGH_MEMORY};

std::wstring Widen(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

// A station name far longer than any real one, in printable ASCII so that it reads back the same
// in every code page.
std::string HugeName() {
    std::string name;
    for (int i = 0; name.size() < 40000; ++i) name += "RDP-Tcp#" + std::to_string(i) + "/";
    return name;
}

class Faults : public WindowTest {
  protected:
    // A listing of this shape must come out line for line after any failure.
    void ScriptTypicalSessions() {
        fake.ScriptSessions({{0, "Services", 4}, {1, "Console", 0}, {65536, HugeName(), 6}});
    }
    void ExpectTypicalReport(const std::wstring& versionLine) const {
        const std::vector<std::wstring> expected{
            L"Session ID: 0",     L"Machine Name: Services",
            L"Connect State: 4",  L"***********",
            L"Session ID: 1",     L"Machine Name: Console",
            L"Connect State: 0",  L"***********",
            L"Session ID: 65536", L"Machine Name: " + Widen(HugeName()),
            L"Connect State: 6",  L"***********",
            versionLine};
        EXPECT_EQ(Report(), expected);
    }

    void ScriptTypicalProcesses() {
        fake.ScriptProcesses({{0, 4, "System", "S-1-5-18"},
                              {1, 500, "notepad.exe", "S-1-5-21-7-8-9-1001"},
                              {1, 7000, std::nullopt, "S-1-5-21-1-2-3-4242"},
                              {2, 8000, HugeName(), std::nullopt}});
    }
    std::vector<std::vector<std::wstring>> TypicalRows() const {
        return {
            {L"0", L"4", L"System", L"NT AUTHORITY\\SYSTEM"},
            {L"1", L"500", L"notepad.exe", L"CORP\\ann"},
            {L"1", L"7000", L"", L"S-1-5-21-1-2-3-4242"},
            // The list hands back at most its buffer's worth of a cell; the model keeps it whole.
            {L"2", L"8000", Widen(HugeName()).substr(0, 1023), L""}};
    }
};

class SessionEnumerationFault : public Faults, public ::testing::WithParamInterface<DWORD> {};

TEST_P(SessionEnumerationFault, IsReportedAndTheNextListingIsComplete) {
    const DWORD code = GetParam();
    OpenMain();
    ScriptTypicalSessions();
    ListSessions();
    ExpectTypicalReport(L"dwMajorVersion: 6.1.7601");

    // Twice in a row: each failure gets its own box, and nothing of the earlier report survives.
    fake.FailSessions(code);
    for (std::size_t failures = 1; failures <= 2; ++failures) {
        ListSessions();
        ASSERT_EQ(fake.messageBoxes.size(), failures);
        const testing::ShownMessageBox& box = fake.messageBoxes.back();
        EXPECT_EQ(box.title, L"ERROR " + std::to_wstring(code));
        EXPECT_EQ(box.prompt, kSessionsPrompt);
        EXPECT_EQ(box.style, kErrorBoxStyle);
        EXPECT_EQ(box.owner, main->Handle());
        EXPECT_EQ(Report(), std::vector<std::wstring>{L"dwMajorVersion: 6.1.7601"});
    }

    // Still usable: both buttons answer.
    EXPECT_TRUE(IsWindowEnabled(main->Handle()));
    EXPECT_TRUE(IsWindowEnabled(MainControl(Form1::kCommand1)));
    ClickButton(MainControl(Form1::kCommand2));
    EXPECT_EQ(processWindowRequests, 1);

    ScriptTypicalSessions();
    ListSessions();
    ExpectTypicalReport(L"dwMajorVersion: 6.1.7601");

    // A success with nothing in it after a failure: the buffer still goes back.
    fake.FailSessions(code);
    ListSessions();
    fake.ScriptSessions({});
    ListSessions();
    EXPECT_EQ(Report(), std::vector<std::wstring>{L"dwMajorVersion: 6.1.7601"});

    EXPECT_EQ(fake.messageBoxes.size(), 3u);
    EXPECT_EQ(fake.sessionEnumerations, 6);
    // Only the three that succeeded handed out a buffer.
    EXPECT_EQ(fake.BuffersReleased(), 3);
}

class ProcessEnumerationFault : public Faults, public ::testing::WithParamInterface<DWORD> {};

TEST_P(ProcessEnumerationFault, OnLoadAndOnRefreshIsReportedAndTheNextRefreshIsComplete) {
    const DWORD code = GetParam();
    fake.FailProcesses(code);
    ShowProcesses();
    ASSERT_EQ(fake.messageBoxes.size(), 1u);
    EXPECT_EQ(fake.messageBoxes[0].title, L"Error " + std::to_wstring(code));
    EXPECT_EQ(fake.messageBoxes[0].prompt, kProcessesPrompt);
    EXPECT_EQ(fake.messageBoxes[0].style, kErrorBoxStyle);
    EXPECT_EQ(fake.messageBoxes[0].owner, processes->Handle());
    // The window loaded in full even though its list is empty.
    EXPECT_EQ(ListViewRows(List()), 0);
    EXPECT_EQ(HeaderTexts(List()), TableHeaders());
    EXPECT_EQ(WindowText(Refresh()), L"Refresh");
    EXPECT_TRUE(IsWindowEnabled(Refresh()));

    ScriptTypicalProcesses();
    ClickRefresh();
    AwaitAccountNames(2);
    EXPECT_EQ(Rows(), TypicalRows());

    // Sorted, then failing on a refresh: no stale rows, and the sort survives into the next fill.
    ClickHeader(List(), ProcessColumn::ProcessId);
    fake.FailProcesses(code);
    ClickRefresh();
    ASSERT_EQ(fake.messageBoxes.size(), 2u);
    EXPECT_EQ(fake.messageBoxes[1].title, L"Error " + std::to_wstring(code));
    EXPECT_EQ(fake.messageBoxes[1].owner, processes->Handle());
    EXPECT_EQ(ListViewRows(List()), 0);
    EXPECT_TRUE(IsWindowEnabled(Refresh()));

    fake.ScriptProcesses({{3, 30, "c.exe", "S-1-5-18"},
                          {1, 10, "a.exe", "S-1-5-21-7-8-9-1001"},
                          {2, 20, "b.exe", std::nullopt}});
    ClickRefresh();
    const std::vector<std::vector<std::wstring>> sorted{
        {L"1", L"10", L"a.exe", L"CORP\\ann"},
        {L"2", L"20", L"b.exe", L""},
        {L"3", L"30", L"c.exe", L"NT AUTHORITY\\SYSTEM"}};
    EXPECT_EQ(Rows(), sorted);

    // Reopening after a close loads afresh, with the failure reported again and then recovered.
    SendMessageW(processes->Handle(), WM_CLOSE, 0, 0);
    DrainMessages();
    fake.FailProcesses(code);
    ShowProcesses();
    EXPECT_EQ(fake.messageBoxes.size(), 3u);
    EXPECT_EQ(ListViewRows(List()), 0);
    ScriptTypicalProcesses();
    ClickRefresh();
    AwaitAccountNames(5);
    EXPECT_EQ(Rows(), TypicalRows());

    // A failing fill asks both calls, a succeeding one the extended call alone.
    EXPECT_EQ(fake.processEnumerations, 9);
    EXPECT_EQ(fake.BuffersReleased(), 3);
}

std::string CodeName(const ::testing::TestParamInfo<DWORD>& info) {
    return "Code" + std::to_string(info.param);
}

INSTANTIATE_TEST_SUITE_P(Codes, SessionEnumerationFault, ::testing::ValuesIn(kEnumerationFailures),
                         CodeName);
INSTANTIATE_TEST_SUITE_P(Codes, ProcessEnumerationFault, ::testing::ValuesIn(kEnumerationFailures),
                         CodeName);

// Memory running out in the middle of a refresh ends that message, not the window; the error box
// waits until the message is over.
TEST_F(Faults, AnExceptionInAWindowIsReportedWithItsCodeAndTheWindowStays) {
    fake.processesOutOfMemory = true;
    processes = std::make_unique<Form2>(fake.platform());
    ASSERT_NE(processes->Create(), nullptr);
    EXPECT_TRUE(fake.messageBoxes.empty());
    DrainMessages();
    ASSERT_EQ(fake.messageBoxes.size(), 1u);
    EXPECT_EQ(fake.messageBoxes[0].title, L"Error 8");  // ERROR_NOT_ENOUGH_MEMORY
    EXPECT_EQ(fake.messageBoxes[0].prompt, L"The action could not be completed.");
    EXPECT_EQ(fake.messageBoxes[0].style, kErrorBoxStyle);
    EXPECT_EQ(fake.messageBoxes[0].owner, processes->Handle());
    fake.processesOutOfMemory = false;
    ScriptTypicalProcesses();
    ClickRefresh();
    AwaitAccountNames(1);
    EXPECT_EQ(Rows(), TypicalRows());
    // Failing half-way through a refresh leaves the list as empty as the model, not its old count.
    fake.processesOutOfMemory = true;
    ClickRefresh();
    EXPECT_EQ(ListViewRows(List()), 0);
}

TEST_F(Faults, AnEnumerationFailingWithoutACodeIsStillReported) {
    // FALSE, with the thread's last error left at 0.
    fake.FailSessions(ERROR_SUCCESS);
    fake.FailProcesses(ERROR_SUCCESS);
    OpenMain();
    ListSessions();
    ShowProcesses();
    ASSERT_EQ(fake.messageBoxes.size(), 2u);
    EXPECT_EQ(fake.messageBoxes[0].title, L"ERROR 31");  // ERROR_GEN_FAILURE
    EXPECT_EQ(fake.messageBoxes[1].title, L"Error 31");
}

TEST_F(Faults, VersionQueriesFallBackToTheBasicRecordThenToUnrecognised) {
    // The basic record ends before the product type: a server reads as a workstation.
    fake.version.wProductType = VER_NT_SERVER;
    fake.failExtendedVersion = true;
    OpenMain();
    EXPECT_EQ(fake.versionQueries, 2);
    EXPECT_EQ(WindowText(MainControl(Form1::kLabel1)), L"15");
    ScriptTypicalSessions();
    ListSessions();
    ExpectTypicalReport(L"dwMajorVersion: 6.1.7601");
    main.reset();

    // Neither: not a failure the user is told about; the listing shows the record as it is.
    fake.failBasicVersion = true;
    OpenMain();
    EXPECT_EQ(fake.versionQueries, 4);
    EXPECT_EQ(WindowText(MainControl(Form1::kLabel1)), L"0");
    ListSessions();
    ExpectTypicalReport(L"dwMajorVersion: 0.0.0");
    EXPECT_TRUE(fake.messageBoxes.empty());
    ClickButton(MainControl(Form1::kCommand2));
    EXPECT_EQ(processWindowRequests, 1);
}

// A lookup that could not be made, or the authority's answer that it mapped none of the
// identifiers, which a network time-out can give.
struct LookupFault {
    const char* name;
    std::function<void(testing::FakePlatform&)> inject;
    int attempts;     // the authority's policy opened or refused until the lookups are through
    bool noneMapped;  // final for the identifiers the system names itself, not for a domain's
    const wchar_t* system = L"S-1-5-18";  // as S-1-5-18 is shown meanwhile
};

void PrintTo(const LookupFault& fault, std::ostream* out) { *out << fault.name; }

class AccountLookupFault : public Faults, public ::testing::WithParamInterface<LookupFault> {};

TEST_P(AccountLookupFault,
       LeavesTheIdentifiersShownUnreportedAndAFailureIsAskedAgainAtTheNextFill) {
    GetParam().inject(fake);
    ScriptTypicalProcesses();
    Windows::OpenProcesses();
    // The machine's account domain, then a call for what the system names itself, one for the
    // rest: each opens the authority's policy.
    EXPECT_TRUE(WaitUntil(
        [&] { return fake.PolicyOpenings() == GetParam().attempts && fake.LookupsSettled(); }));
    DrainMessages();
    EXPECT_EQ(Column(ProcessColumn::UserId),
              (std::vector<std::wstring>{GetParam().system, L"S-1-5-21-7-8-9-1001",
                                         L"S-1-5-21-1-2-3-4242", L""}));
    EXPECT_TRUE(fake.messageBoxes.empty());

    // The domain controller answers again.
    fake.unreachableDomains.clear();
    fake.lookupFailure.reset();
    fake.policyFailure.reset();
    fake.threadFailure.reset();
    fake.lookupsThrow = false;
    fake.lookupsWithoutNames = false;
    // Asked at the next fill, as soon as the failure is known: a refresh that comes while the
    // failing call is still on its way is followed by another.
    EXPECT_TRUE(WaitUntil([&] {
        ClickRefresh();
        DrainMessages();
        return fake.LookupsSettled() && Cell(1, ProcessColumn::UserId) == L"CORP\\ann";
    }));
    EXPECT_EQ(
        Column(ProcessColumn::UserId),
        (std::vector<std::wstring>{GetParam().noneMapped ? L"S-1-5-18" : L"NT AUTHORITY\\SYSTEM",
                                   L"CORP\\ann", L"S-1-5-21-1-2-3-4242", L""}));
}

std::string FaultName(const ::testing::TestParamInfo<LookupFault>& info) { return info.param.name; }

// Every lookup call fails with the status, as when the accounts' domain cannot be reached.
std::function<void(testing::FakePlatform&)> CallsFailWith(ULONG status) {
    return [status](testing::FakePlatform& fake) {
        fake.lookupFailure = static_cast<NTSTATUS>(status);
    };
}

INSTANTIATE_TEST_SUITE_P(
    Faults, AccountLookupFault,
    ::testing::Values(
        LookupFault{"NoneMapped", CallsFailWith(0xC0000073), 3, true},
        LookupFault{"SuccessWithoutNames",
                    [](testing::FakePlatform& fake) { fake.lookupsWithoutNames = true; }, 3, false},
        LookupFault{"AccessDenied", CallsFailWith(0xC0000022), 3, false},
        LookupFault{"ControllerUnreachable", CallsFailWith(0xC0020017), 3, false},
        LookupFault{"TrustBroken", CallsFailWith(0xC000018D), 3, false},
        LookupFault{"FarDomainUnreachable",
                    [](testing::FakePlatform& fake) {
                        fake.unreachableDomains["S-1-5-21-7-8-9"] =
                            static_cast<NTSTATUS>(0xC0020017);
                    },
                    3, false, L"NT AUTHORITY\\SYSTEM"},
        LookupFault{"PolicyRefused",
                    [](testing::FakePlatform& fake) {
                        fake.policyFailure = static_cast<NTSTATUS>(0xC0000022);
                    },
                    3, false},
        LookupFault{
            "ThreadNotStarted",
            [](testing::FakePlatform& fake) { fake.threadFailure = ERROR_NOT_ENOUGH_MEMORY; }, 0,
            false},
        LookupFault{"OutOfMemoryOnTheThread",
                    [](testing::FakePlatform& fake) { fake.lookupsThrow = true; }, 2, false}),
    FaultName);

TEST_F(Faults, NamesWhoseMessageAFullQueueRefusedAreAnnouncedAgain) {
    // Windows refuses a post to a queue that holds 10,000 messages; Wine's never fills.
    fake.refusedPosts = 3;
    ScriptTypicalProcesses();
    OpenProcesses();
    EXPECT_EQ(fake.RefusedPostsLeft(), 0);
    EXPECT_EQ(Column(ProcessColumn::UserId),
              (std::vector<std::wstring>{L"NT AUTHORITY\\SYSTEM", L"CORP\\ann",
                                         L"S-1-5-21-1-2-3-4242", L""}));
}

TEST_F(Faults, AccountWithNoStringFormEitherLeavesTheCellEmpty) {
    fake.lookupFailure = static_cast<NTSTATUS>(0xC0000073);
    fake.sidTextFailure = ERROR_NOT_ENOUGH_MEMORY;
    ScriptTypicalProcesses();
    ShowProcesses();
    EXPECT_EQ(Column(ProcessColumn::UserId), (std::vector<std::wstring>{L"", L"", L"", L""}));
    EXPECT_EQ(Column(ProcessColumn::ProcessId),
              (std::vector<std::wstring>{L"4", L"500", L"7000", L"8000"}));
    EXPECT_TRUE(fake.messageBoxes.empty());
}

TEST_F(Faults, AccountNamesInAnyScriptAndOfAnyLengthComeOutWhole) {
    // Outside the ANSI code page of a Western server, and longer than any first guess.
    fake.accounts["S-1-5-21-7-8-9-1001"] = {L"\x041A\x041E\x0420\x041F",
                                            L"\x0418\x0432\x0430\x043D"};
    fake.accounts["S-1-5-21-1-2-3-4242"] = {std::wstring(200, L'd'),
                                            L"\x5C71\x7530" + std::wstring(300, L'n')};
    ScriptTypicalProcesses();
    ShowProcesses();
    EXPECT_EQ(Column(ProcessColumn::UserId),
              (std::vector<std::wstring>{
                  L"NT AUTHORITY\\SYSTEM", L"\x041A\x041E\x0420\x041F\\\x0418\x0432\x0430\x043D",
                  std::wstring(200, L'd') + L"\\\x5C71\x7530" + std::wstring(300, L'n'), L""}));
}

}  // namespace
}  // namespace wtsscope
