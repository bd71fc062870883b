#pragma once

// A scripted platform: enumerations hand back blocks laid out as the operating system lays them
// out (records end to end, then the texts and identifiers they point at), and every release, lookup
// and message box is recorded.

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace wtsscope::testing {

struct FakeSession {
    DWORD SessionId;
    std::optional<std::string> WinStationName;  // nullopt: a null pointer in the record
    int State;
};

struct FakeProcess {
    DWORD SessionId;
    DWORD ProcessId;
    std::optional<std::string> ProcessName;  // nullopt: a null pointer in the record
    std::optional<std::string> UserSid;      // string form, e.g. "S-1-5-18"; nullopt: no SID
};

struct FakeAccount {
    std::string domain;
    std::string name;
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
    void FailProcesses(DWORD lastError);
    // Succeeds with this count but an empty block: for counts that cannot be real.
    void ScriptProcessCountOnly(DWORD count);
    // Lays out the scripted sessions and processes once, now: until they are scripted again, every
    // enumeration hands out that same block, so a timing sees the reading and not the scripting.
    void PrebuildBlocks();

    VersionRecord version{};
    bool failExtendedVersion = false;
    bool failBasicVersion = false;
    int versionQueries = 0;

    std::map<std::string, FakeAccount> accounts;  // by string SID; others do not resolve
    int accountLookups = 0;
    std::map<std::string, int> lookupsBySid;
    // Every lookup fails with this code, as when the account's domain cannot be reached.
    std::optional<DWORD> lookupFailure;
    // Each lookup takes this long, as one that has to ask across the network does.
    DWORD lookupDelayMs = 0;
    // Turning an identifier into its string form fails with this code.
    std::optional<DWORD> sidTextFailure;

    int sessionEnumerations = 0;
    int processEnumerations = 0;
    std::vector<ShownMessageBox> messageBoxes;

    // Buffers handed out and not yet released; releases of anything else.
    std::size_t LiveBuffers() const;
    int BuffersReleased() const { return released_; }
    int BadReleases() const { return badReleases_; }

    // Serves the enumerations; public for the platform's function table.
    BOOL EnumerateSessions(PWTS_SESSION_INFOA* records, DWORD* count);
    BOOL EnumerateProcesses(PWTS_PROCESS_INFOA* records, DWORD* count);
    void Release(PVOID buffer);
    BOOL QueryVersion(OSVERSIONINFOA* record);
    BOOL LookupAccount(PSID sid, LPSTR name, LPDWORD nameLength, LPSTR domain,
                       LPDWORD domainLength);
    BOOL SidToText(PSID sid, LPSTR* text);

  private:
    struct Prebuilt {
        std::vector<std::byte> block;
        DWORD count = 0;
        int live = 0;  // handed out and not yet released
    };

    std::byte* NewBlock(std::size_t size);
    std::optional<Prebuilt> TakeBlock(void* records, DWORD count);
    template <class Record>
    static BOOL HandOut(Prebuilt& prebuilt, Record** records, DWORD* count);

    PlatformFunctions functions_;
    Platform platform_;
    std::vector<FakeSession> sessions_;
    std::optional<DWORD> sessionFailure_;
    std::vector<FakeProcess> processes_;
    std::optional<DWORD> processFailure_;
    std::optional<DWORD> processCountOnly_;
    std::map<const void*, std::vector<std::byte>> live_;
    std::optional<Prebuilt> prebuiltSessions_;
    std::optional<Prebuilt> prebuiltProcesses_;
    int released_ = 0;
    int badReleases_ = 0;
};

}  // namespace wtsscope::testing
