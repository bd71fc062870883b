#include "tests/fakes/fake_platform.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>

#include "tests/fakes/fake_internal.h"

namespace wtsscope::testing {
namespace fake_detail {

FakePlatform* current = nullptr;
std::mutex lookups;

std::size_t AlignUp(std::size_t offset) {
    constexpr std::size_t alignment = alignof(std::max_align_t);
    return (offset + alignment - 1) / alignment * alignment;
}

// A binary SID from its string form, as bytes.
std::vector<std::byte> SidBytes(const std::string& text) {
    PSID sid = nullptr;
    if (!ConvertStringSidToSidA(text.c_str(), &sid)) return {};
    std::vector<std::byte> bytes(GetLengthSid(sid));
    std::memcpy(bytes.data(), sid, bytes.size());
    LocalFree(sid);
    return bytes;
}

}  // namespace fake_detail

using namespace fake_detail;

namespace {

BOOL WINAPI FakeEnumerateSessionsA(HANDLE, DWORD, DWORD, PWTS_SESSION_INFOA* records,
                                   DWORD* count) {
    return current->EnumerateSessions(records, count);
}

BOOL WINAPI FakeEnumerateProcessesA(HANDLE, DWORD, DWORD, PWTS_PROCESS_INFOA* records,
                                    DWORD* count) {
    return current->EnumerateProcesses(records, count);
}

void WINAPI FakeFreeMemory(PVOID buffer) { current->Release(buffer); }

BOOL WINAPI FakeGetVersionExA(OSVERSIONINFOA* record) { return current->QueryVersion(record); }

HANDLE WINAPI FakeSetClipboardData(UINT format, HANDLE data) {
    if (current->clipboardDataFailure) {
        SetLastError(*current->clipboardDataFailure);
        return nullptr;
    }
    return SetClipboardData(format, data);
}

int WINAPI FakeMessageBoxW(HWND owner, LPCWSTR prompt, LPCWSTR title, UINT style) {
    current->messageBoxes.push_back({owner, title, prompt, style});
    if (current->whileMessageBoxIsUp) current->whileMessageBoxIsUp();
    return IDOK;
}

// Copies text with its terminator to the block at offset; returns where it went.
char* PlaceText(std::byte* block, std::size_t& offset, const std::string& text) {
    char* at = reinterpret_cast<char*>(block + offset);
    std::memcpy(at, text.c_str(), text.size() + 1);
    offset += text.size() + 1;
    return at;
}

}  // namespace

FakePlatform::FakePlatform()
    : functions_{.WTSEnumerateSessionsA = FakeEnumerateSessionsA,
                 .WTSEnumerateProcessesA = FakeEnumerateProcessesA,
                 .WTSFreeMemory = FakeFreeMemory,
                 .GetVersionExA = FakeGetVersionExA,
                 .ConvertSidToStringSidW = FakeConvertSidToStringSidW,
                 .LsaOpenPolicy = FakeLsaOpenPolicy,
                 .LsaLookupSids = FakeLsaLookupSids,
                 .LsaFreeMemory = FakeLsaFreeMemory,
                 .LsaClose = FakeLsaClose,
                 .OpenClipboard = ::OpenClipboard,
                 .EmptyClipboard = ::EmptyClipboard,
                 .SetClipboardData = FakeSetClipboardData,
                 .CloseClipboard = ::CloseClipboard,
                 .MessageBoxW = FakeMessageBoxW,
                 .LsaQueryInformationPolicy = FakeLsaQueryInformationPolicy,
                 ._beginthreadex = FakeBeginThreadEx,
                 .PostMessageW = FakePostMessageW},
      platform_(functions_) {
    const std::lock_guard lock(lookups);
    current = this;
    // What a new Wine prefix reports: Windows 7 SP1 workstation.
    version.dwMajorVersion = 6;
    version.dwMinorVersion = 1;
    version.dwBuildNumber = 7601;
    version.dwPlatformId = VER_PLATFORM_WIN32_NT;
    std::strcpy(version.szCSDVersion, "Service Pack 1");
    version.wProductType = VER_NT_WORKSTATION;
}

FakePlatform::~FakePlatform() {
    // A lookup still out is let go and given the time to give everything back; one that comes
    // later finds no fake and fails.
    std::unique_lock lock(lookups);
    holding_ = false;
    lookupChanged_.notify_all();
    lookupChanged_.wait_for(lock, std::chrono::seconds(10), [this] {
        return running_ == 0 && lsaLive_.empty() && openPolicies_ == 0;
    });
    current = nullptr;
}

void FakePlatform::ScriptSessions(std::vector<FakeSession> sessions) {
    sessions_ = std::move(sessions);
    sessionFailure_.reset();
    prebuiltSessions_.reset();
}

void FakePlatform::FailSessions(DWORD lastError) { sessionFailure_ = lastError; }

void FakePlatform::ScriptProcesses(std::vector<FakeProcess> processes) {
    processes_ = std::move(processes);
    processFailure_.reset();
    processCountOnly_.reset();
    prebuiltProcesses_.reset();
}

void FakePlatform::FailProcesses(DWORD lastError) { processFailure_ = lastError; }

void FakePlatform::ScriptProcessCountOnly(DWORD count) { processCountOnly_ = count; }

void FakePlatform::PrebuildBlocks() {
    // Built the ordinary way, then kept apart from the blocks handed out.
    PWTS_SESSION_INFOA sessions = nullptr;
    PWTS_PROCESS_INFOA processes = nullptr;
    DWORD count = 0;
    if (EnumerateSessions(&sessions, &count)) {
        --sessionEnumerations;
        prebuiltSessions_ = TakeBlock(sessions, count);
    }
    if (EnumerateProcesses(&processes, &count)) {
        --processEnumerations;
        prebuiltProcesses_ = TakeBlock(processes, count);
    }
}

std::optional<FakePlatform::Prebuilt> FakePlatform::TakeBlock(void* records, DWORD count) {
    auto node = live_.extract(records);
    if (node.empty()) return std::nullopt;
    return Prebuilt{std::move(node.mapped()), count, 0};
}

template <class Record>
BOOL FakePlatform::HandOut(Prebuilt& prebuilt, Record** records, DWORD* count) {
    ++prebuilt.live;
    *records = reinterpret_cast<Record*>(prebuilt.block.data());
    *count = prebuilt.count;
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

std::byte* FakePlatform::NewBlock(std::size_t size) {
    std::vector<std::byte> block(size == 0 ? 1 : size);
    std::byte* data = block.data();
    live_.emplace(data, std::move(block));
    return data;
}

BOOL FakePlatform::EnumerateSessions(PWTS_SESSION_INFOA* records, DWORD* count) {
    ++sessionEnumerations;
    if (sessionFailure_) {
        SetLastError(*sessionFailure_);
        return FALSE;
    }
    if (prebuiltSessions_) return HandOut(*prebuiltSessions_, records, count);
    std::size_t size = AlignUp(sessions_.size() * sizeof(WTS_SESSION_INFOA));
    for (const FakeSession& session : sessions_)
        if (session.WinStationName) size += session.WinStationName->size() + 1;
    std::byte* block = NewBlock(size);
    std::size_t offset = AlignUp(sessions_.size() * sizeof(WTS_SESSION_INFOA));
    auto* out = reinterpret_cast<WTS_SESSION_INFOA*>(block);
    for (std::size_t i = 0; i < sessions_.size(); ++i) {
        out[i].SessionId = sessions_[i].SessionId;
        out[i].State = static_cast<WTS_CONNECTSTATE_CLASS>(sessions_[i].State);
        out[i].pWinStationName = sessions_[i].WinStationName
                                     ? PlaceText(block, offset, *sessions_[i].WinStationName)
                                     : nullptr;
    }
    *records = out;
    *count = static_cast<DWORD>(sessions_.size());
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL FakePlatform::EnumerateProcesses(PWTS_PROCESS_INFOA* records, DWORD* count) {
    ++processEnumerations;
    if (processesOutOfMemory) throw std::bad_alloc();
    if (processFailure_) {
        SetLastError(*processFailure_);
        return FALSE;
    }
    if (processCountOnly_) {
        *records = reinterpret_cast<WTS_PROCESS_INFOA*>(NewBlock(sizeof(WTS_PROCESS_INFOA)));
        *count = *processCountOnly_;
        return TRUE;
    }
    if (prebuiltProcesses_) return HandOut(*prebuiltProcesses_, records, count);
    std::vector<std::vector<std::byte>> sids;
    sids.reserve(processes_.size());
    std::size_t size = AlignUp(processes_.size() * sizeof(WTS_PROCESS_INFOA));
    for (const FakeProcess& process : processes_) {
        sids.push_back(process.UserSid ? SidBytes(*process.UserSid) : std::vector<std::byte>{});
        size += AlignUp(sids.back().size());
        if (process.ProcessName) size += process.ProcessName->size() + 1;
    }
    std::byte* block = NewBlock(size);
    std::size_t offset = AlignUp(processes_.size() * sizeof(WTS_PROCESS_INFOA));
    auto* out = reinterpret_cast<WTS_PROCESS_INFOA*>(block);
    // Identifiers first, where they stay aligned, then the names.
    for (std::size_t i = 0; i < processes_.size(); ++i) {
        out[i].pUserSid = nullptr;
        if (!sids[i].empty()) {
            std::memcpy(block + offset, sids[i].data(), sids[i].size());
            out[i].pUserSid = block + offset;
            offset += AlignUp(sids[i].size());
        }
    }
    for (std::size_t i = 0; i < processes_.size(); ++i) {
        out[i].SessionId = processes_[i].SessionId;
        out[i].ProcessId = processes_[i].ProcessId;
        out[i].pProcessName = processes_[i].ProcessName
                                  ? PlaceText(block, offset, *processes_[i].ProcessName)
                                  : nullptr;
    }
    *records = out;
    *count = static_cast<DWORD>(processes_.size());
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

std::size_t FakePlatform::LiveBuffers() const {
    std::size_t live = live_.size();
    for (const auto* prebuilt : {&prebuiltSessions_, &prebuiltProcesses_})
        if (*prebuilt) live += static_cast<std::size_t>((*prebuilt)->live);
    return live;
}

void FakePlatform::Release(PVOID buffer) {
    for (auto* prebuilt : {&prebuiltSessions_, &prebuiltProcesses_}) {
        if (*prebuilt && (*prebuilt)->live > 0 && (*prebuilt)->block.data() == buffer) {
            --(*prebuilt)->live;
            ++released_;
            return;
        }
    }
    if (live_.erase(buffer) == 1)
        ++released_;
    else
        ++badReleases_;
}

BOOL FakePlatform::QueryVersion(OSVERSIONINFOA* record) {
    ++versionQueries;
    const bool extended = record->dwOSVersionInfoSize == sizeof(OSVERSIONINFOEXA);
    if (extended ? failExtendedVersion : failBasicVersion) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    VersionRecord answer = version;
    answer.dwOSVersionInfoSize = record->dwOSVersionInfoSize;
    std::memcpy(record, &answer, record->dwOSVersionInfoSize);
    return TRUE;
}

}  // namespace wtsscope::testing
