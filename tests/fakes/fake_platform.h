#pragma once

// A scripted platform: enumerations hand back blocks laid out as the operating system lays them
// out (records end to end, then the texts and identifiers they point at), and every release, lookup
// and message box is recorded.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace wtsscope::testing {

struct FakeSession {
    DWORD SessionId = 0;
    std::optional<std::string> WinStationName;  // nullopt: a null pointer in the record
    int State = 0;
};

// One process, served by the extended and the plain enumeration alike; the costs by the extended
// one at level 1 only.
struct FakeProcess {
    DWORD SessionId = 0;
    DWORD ProcessId = 0;
    std::optional<std::string> ProcessName;  // UTF-8, laid out in UTF-16; nullopt: a null pointer
    std::optional<std::string> UserSid;      // string form, e.g. "S-1-5-18"; nullopt: no SID
    DWORD NumberOfThreads = 0;
    DWORD HandleCount = 0;
    DWORD PagefileUsage = 0;  // bytes, as the memory figures
    DWORD PeakPagefileUsage = 0;
    DWORD WorkingSetSize = 0;
    DWORD PeakWorkingSetSize = 0;
    std::int64_t UserTime = 0;  // 100 ns units
    std::int64_t KernelTime = 0;
};

struct FakeAccount {
    std::wstring domain;
    std::wstring name;
    SID_NAME_USE use = SidTypeUser;
};

struct ShownMessageBox {
    HWND owner;
    std::wstring title;
    std::wstring prompt;
    UINT style;
};

class FakePlatform {
  public:
    FakePlatform();
    ~FakePlatform();
    FakePlatform(const FakePlatform&) = delete;
    FakePlatform& operator=(const FakePlatform&) = delete;

    const Platform& platform() const { return platform_; }

    // The next enumerations succeed with these records, or fail with the code.
    void ScriptSessions(std::vector<FakeSession> sessions);
    void FailSessions(DWORD lastError);
    void ScriptProcesses(std::vector<FakeProcess> processes);
    // Both process enumerations fail with the code.
    void FailProcesses(DWORD lastError);
    // Both succeed with this count but an empty block: for counts that cannot be real.
    void ScriptProcessCountOnly(DWORD count);
    // The extended enumeration answers at this level (0: the plain call's records), or fails with
    // the code; RemoveExtendedEnumeration takes its export away.
    DWORD extendedLevel = 1;
    std::optional<DWORD> extendedFailure;
    void RemoveExtendedEnumeration();
    // Process enumerations throw std::bad_alloc, as the program's own reading does when memory
    // runs out in the middle of a refresh.
    bool processesOutOfMemory = false;
    // Lays out the scripted sessions and processes once, now: until they are scripted again, every
    // enumeration hands out that same block, so a timing sees the reading and not the scripting.
    void PrebuildBlocks();

    VersionRecord version{};
    bool failExtendedVersion = false;
    bool failBasicVersion = false;
    int versionQueries = 0;

    // Account lookups come from another thread than the test's: what they record is read once
    // LookupsSettled() has said so.
    std::map<std::string, FakeAccount> accounts;  // by string SID; others do not resolve
    int accountLookups = 0;                       // identifiers asked for
    std::vector<std::size_t> lookupCalls;         // identifiers asked for in each call
    // Every lookup fails with this status, as when the accounts' domain cannot be reached.
    std::optional<NTSTATUS> lookupFailure;
    // A lookup that asks about an identifier of one of these domains (string SIDs,
    // "S-1-5-21-7-8-9") fails with its status, as when that domain's controllers cannot be reached.
    std::map<std::string, NTSTATUS> unreachableDomains;
    // Lookups throw std::bad_alloc, as an allocation failing in one would.
    bool lookupsThrow = false;
    // Lookups succeed without handing back any names.
    bool lookupsWithoutNames = false;
    // Held lookups hold the query of the machine's account domain too.
    bool holdAccountDomain = false;
    // Opening the authority's policy fails with this status.
    std::optional<NTSTATUS> policyFailure;
    // The machine's own account domain (string SID), as the authority's policy tells it; nullopt:
    // the policy tells none.
    std::optional<std::string> accountDomain = "S-1-5-21-11-22-33";
    // Starting a thread fails with this code.
    std::optional<DWORD> threadFailure;
    // The next so many messages posted are refused, as by a full queue.
    int refusedPosts = 0;
    // Turning an identifier into its string form fails with this code.
    std::optional<DWORD> sidTextFailure;

    // Lookups from now on wait, each with the answer it will give, until released in the order
    // they came; Release with no count lets every one go, and those to come.
    void HoldLookups();
    void ReleaseLookups(std::optional<int> count = std::nullopt);
    int HeldLookups() const;
    bool HoldingLookups() const;
    std::size_t LookupCallCount() const;
    int AccountsAsked() const;
    // The authority's policy opened, or refused, so many times.
    int PolicyOpenings() const;
    // The distinct accounts the processes scripted now, when enumerated, run under.
    std::size_t ScriptedAccounts() const;
    int RefusedPostsLeft() const;
    // No lookup is running or held, and everything a lookup handed out has been given back.
    bool LookupsSettled() const;
    // Buffers and policy handles of the lookups never given back.
    int LookupLeaks() const;

    // The clipboard calls reach the system's clipboard; placing the text fails with this code.
    std::optional<DWORD> clipboardDataFailure;

    int sessionEnumerations = 0;
    int processEnumerations = 0;  // calls of either process enumeration
    std::vector<ShownMessageBox> messageBoxes;
    // Runs while a message box is up, as its own message loop would.
    std::function<void()> whileMessageBoxIsUp;

    // Buffers handed out and not yet released; releases of anything else, or by the wrong function,
    // or with the wrong class or count.
    std::size_t LiveBuffers() const;
    int BuffersReleased() const { return released_; }
    int BadReleases() const { return badReleases_; }

    // Serves the enumerations; public for the platform's function table.
    BOOL EnumerateSessions(PWTS_SESSION_INFOA* records, DWORD* count);
    BOOL EnumerateProcesses(PWTS_PROCESS_INFOW* records, DWORD* count);
    BOOL EnumerateProcessesEx(DWORD* level, LPWSTR* records, DWORD* count);
    // The class and count of WTSFreeMemoryExW; none for WTSFreeMemory.
    void Release(PVOID buffer, std::optional<std::pair<WTS_TYPE_CLASS, ULONG>> extended = {});
    BOOL QueryVersion(OSVERSIONINFOA* record);
    // Called with the lock of every lookup held.
    NTSTATUS OpenPolicy(PLSA_HANDLE policy);
    NTSTATUS LookupSids(std::unique_lock<std::mutex>& lock, ULONG count, PSID* sids,
                        PLSA_REFERENCED_DOMAIN_LIST* domains, PLSA_TRANSLATED_NAME* names);
    NTSTATUS QueryPolicy(std::unique_lock<std::mutex>& lock, POLICY_INFORMATION_CLASS kind,
                         PVOID* buffer);
    NTSTATUS FreeLsaMemory(PVOID buffer);
    NTSTATUS ClosePolicy(LSA_HANDLE policy);
    BOOL SidToText(PSID sid, LPWSTR* text);

  private:
    // A block handed out, and the release it must get.
    struct Block {
        std::vector<std::byte> bytes;
        std::optional<std::pair<WTS_TYPE_CLASS, ULONG>> extended;  // of WTSFreeMemoryExW
    };

    // Waits, while lookups are held, until released in the order they came.
    void WaitWhileHeld(std::unique_lock<std::mutex>& lock);

    struct Prebuilt {
        Block block;
        DWORD count = 0;
        int live = 0;  // handed out and not yet released
    };

    std::byte* NewBlock(std::size_t size, std::optional<std::pair<WTS_TYPE_CLASS, ULONG>> extended);
    std::byte* NewLsaBlock(std::size_t size);
    std::optional<Prebuilt> TakeBlock(void* records, DWORD count);
    template <class Record>
    static BOOL HandOut(Prebuilt& prebuilt, Record** records, DWORD* count);
    template <class Record>
    std::byte* LayOutProcesses(std::optional<WTS_TYPE_CLASS> extended);

    PlatformFunctions functions_;
    Platform platform_;
    std::vector<FakeSession> sessions_;
    std::optional<DWORD> sessionFailure_;
    std::vector<FakeProcess> processes_;
    std::optional<DWORD> processFailure_;
    std::optional<DWORD> processCountOnly_;
    std::map<const void*, Block> live_;
    std::optional<Prebuilt> prebuiltSessions_;
    std::optional<Prebuilt> prebuiltProcesses_;  // of the extended enumeration
    int released_ = 0;
    int badReleases_ = 0;

    // Guarded by the lock of every lookup.
    std::condition_variable lookupChanged_;
    bool holding_ = false;
    int arrived_ = 0;  // lookups that have come while holding, in order
    int releasedUpTo_ = 0;
    int held_ = 0;
    int running_ = 0;  // lookups inside a call
    std::map<const void*, std::vector<std::byte>> lsaLive_;
    int openPolicies_ = 0;
    int policyOpenings_ = 0;
    int badLsaReleases_ = 0;
};

}  // namespace wtsscope::testing
