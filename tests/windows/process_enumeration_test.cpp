// The process enumeration: the extended call's records with their costs where the system answers
// it, the plain call's without where it does not, and every buffer back to the function that
// matches the call that made it.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>

#include "platform/platform.h"
#include "tests/fakes/fake_platform.h"

namespace wtsscope {
namespace {

using testing::FakePlatform;

struct Outcome {
    const char* name;
    std::function<void(FakePlatform&)> script;
    bool costs;
    DWORD error;
};

class ProcessEnumerationOutcome : public ::testing::TestWithParam<Outcome> {};

TEST_P(ProcessEnumerationOutcome, GivesTheRowsCostsOrCodeAndReleasesEachBufferItsOwnWay) {
    FakePlatform fake;
    // Threads, handles, private, its peak, working set, its peak, user and kernel time.
    fake.ScriptProcesses(
        {{1, 500, "notepad.exe", "S-1-5-18", 3, 90, 4096, 0, 8192, 12288, 20'000'000, 5'000'000},
         {2, 8, std::nullopt, std::nullopt}});
    GetParam().script(fake);
    {
        const ProcessEnumeration processes = fake.platform().EnumerateProcesses();
        EXPECT_EQ(processes.error, GetParam().error);
        EXPECT_EQ(processes.HasCosts(), GetParam().costs);
        if (processes.succeeded()) {
            ASSERT_EQ(processes.Size(), 2u);
            const ProcessEntry first = processes.At(0);
            const ProcessEntry second = processes.At(1);
            EXPECT_EQ(
                std::tuple(first.sessionId, first.processId, first.name, second.name, second.sid),
                std::tuple(1u, 500u, L"notepad.exe", L"", nullptr));
            EXPECT_NE(first.sid, nullptr);
            // Costs from the extended call only, the two times together.
            const auto costs = std::tuple(first.threads, first.handles, first.pagefileUsage,
                                          first.workingSetSize, first.peakWorkingSetSize);
            EXPECT_EQ(costs, GetParam().costs ? std::tuple(3u, 90u, 4096u, 8192u, 12288u)
                                              : std::tuple(0u, 0u, 0u, 0u, 0u));
            EXPECT_EQ(first.processorTime, GetParam().costs ? 25'000'000u : 0u);
        }
    }
    EXPECT_EQ(fake.LiveBuffers(), 0u);
    EXPECT_EQ(fake.BadReleases(), 0);
}

const Outcome kOutcomes[] = {
    {"ExtendedAnswers", [](FakePlatform&) {}, true, ERROR_SUCCESS},
    {"ExtendedMissing", [](FakePlatform& fake) { fake.RemoveExtendedEnumeration(); }, false,
     ERROR_SUCCESS},
    {"ExtendedFails", [](FakePlatform& fake) { fake.extendedFailure = ERROR_CALL_NOT_IMPLEMENTED; },
     false, ERROR_SUCCESS},
    {"ExtendedAnswersLevel0", [](FakePlatform& fake) { fake.extendedLevel = 0; }, false,
     ERROR_SUCCESS},
    // The plain call's own code, not the extended call's.
    {"BothFail",
     [](FakePlatform& fake) {
         fake.FailProcesses(ERROR_ACCESS_DENIED);
         fake.extendedFailure = ERROR_CALL_NOT_IMPLEMENTED;
     },
     false, ERROR_ACCESS_DENIED},
    {"PlainFailsWithoutExtended",
     [](FakePlatform& fake) {
         fake.RemoveExtendedEnumeration();
         fake.FailProcesses(RPC_S_SERVER_UNAVAILABLE);
     },
     false, RPC_S_SERVER_UNAVAILABLE},
};

INSTANTIATE_TEST_SUITE_P(Calls, ProcessEnumerationOutcome, ::testing::ValuesIn(kOutcomes),
                         [](const auto& outcome) { return std::string(outcome.param.name); });

// Only Wine's side of the system's functions: Wine fails the extended call (120) and answers the
// plain one with the prefix's real processes; on Windows the extended call answers.
TEST(SystemProcessEnumeration, ListsThisProcessByName) {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    ASSERT_TRUE(length > 0 && length < MAX_PATH);
    const std::wstring ownPath(path, length);
    const std::wstring ownName = ownPath.substr(ownPath.find_last_of(L"\\/") + 1);

    const Platform platform;
    const ProcessEnumeration processes = platform.EnumerateProcesses();
    ASSERT_TRUE(processes.succeeded()) << processes.error;
    bool found = false;
    for (std::size_t i = 0; i < processes.Size(); ++i) {
        const ProcessEntry process = processes.At(i);
        if (process.processId != GetCurrentProcessId()) continue;
        found = true;
        EXPECT_EQ(process.name, ownName);
    }
    EXPECT_TRUE(found);
}

}  // namespace
}  // namespace wtsscope
