#include "tests/fakes/fake_platform.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>
#include <type_traits>

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

BOOL WINAPI FakeEnumerateProcessesW(HANDLE, DWORD, DWORD, PWTS_PROCESS_INFOW* records,
                                    DWORD* count) {
    return current->EnumerateProcesses(records, count);
}

BOOL WINAPI FakeEnumerateProcessesExW(HANDLE, DWORD* level, DWORD sessionId, LPWSTR* records,
                                      DWORD* count) {
    if (sessionId != kAnySession) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return current->EnumerateProcessesEx(level, records, count);
}

void WINAPI FakeFreeMemory(PVOID buffer) { current->Release(buffer); }

BOOL WINAPI FakeFreeMemoryExW(WTS_TYPE_CLASS typeClass, PVOID buffer, ULONG count) {
    current->Release(buffer, std::pair(typeClass, count));
    return TRUE;
}

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
template <class Char>
Char* PlaceText(std::byte* block, std::size_t& offset, const std::basic_string<Char>& text) {
    Char* at = reinterpret_cast<Char*>(block + offset);
    std::memcpy(at, text.c_str(), (text.size() + 1) * sizeof(Char));
    offset += (text.size() + 1) * sizeof(Char);
    return at;
}

std::wstring Utf16(const std::string& text) {
    const int length =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                        length);
    return wide;
}

}  // namespace

FakePlatform::FakePlatform()
    : functions_{.WTSEnumerateSessionsA = FakeEnumerateSessionsA,
                 .WTSEnumerateProcessesW = FakeEnumerateProcessesW,
                 .WTSEnumerateProcessesExW = FakeEnumerateProcessesExW,
                 .WTSFreeMemoryExW = FakeFreeMemoryExW,
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

void FakePlatform::RemoveExtendedEnumeration() {
    functions_.WTSEnumerateProcessesExW = nullptr;
    functions_.WTSFreeMemoryExW = nullptr;
    platform_ = Platform(functions_);
}

void FakePlatform::PrebuildBlocks() {
    // Built the ordinary way, then kept apart from the blocks handed out.
    PWTS_SESSION_INFOA sessions = nullptr;
    LPWSTR processes = nullptr;
    DWORD count = 0;
    DWORD level = 1;
    if (EnumerateSessions(&sessions, &count)) {
        --sessionEnumerations;
        prebuiltSessions_ = TakeBlock(sessions, count);
    }
    if (extendedLevel == 1 && EnumerateProcessesEx(&level, &processes, &count)) {
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
    *records = reinterpret_cast<Record*>(prebuilt.block.bytes.data());
    *count = prebuilt.count;
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

std::byte* FakePlatform::NewBlock(std::size_t size,
                                  std::optional<std::pair<WTS_TYPE_CLASS, ULONG>> extended) {
    std::vector<std::byte> block(size == 0 ? 1 : size);
    std::byte* data = block.data();
    live_.emplace(data, Block{std::move(block), extended});
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
    std::byte* block = NewBlock(size, std::nullopt);
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

BOOL FakePlatform::EnumerateProcesses(PWTS_PROCESS_INFOW* records, DWORD* count) {
    ++processEnumerations;
    if (processesOutOfMemory) throw std::bad_alloc();
    if (processFailure_) {
        SetLastError(*processFailure_);
        return FALSE;
    }
    if (processCountOnly_) {
        *records = reinterpret_cast<PWTS_PROCESS_INFOW>(NewBlock(sizeof(ProcessRecord), {}));
        *count = *processCountOnly_;
        return TRUE;
    }
    *records = reinterpret_cast<PWTS_PROCESS_INFOW>(LayOutProcesses<ProcessRecord>({}));
    *count = static_cast<DWORD>(processes_.size());
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL FakePlatform::EnumerateProcessesEx(DWORD* level, LPWSTR* records, DWORD* count) {
    ++processEnumerations;
    if (processesOutOfMemory) throw std::bad_alloc();
    if (const std::optional<DWORD> failure = extendedFailure ? extendedFailure : processFailure_) {
        SetLastError(*failure);
        return FALSE;
    }
    if (*level != 1) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *level = extendedLevel;
    const auto typeClass = extendedLevel == 0 ? WTSTypeProcessInfoLevel0 : WTSTypeProcessInfoLevel1;
    if (processCountOnly_) {
        *records = reinterpret_cast<LPWSTR>(
            NewBlock(sizeof(ExtendedProcessRecord), std::pair(typeClass, *processCountOnly_)));
        *count = *processCountOnly_;
        return TRUE;
    }
    if (prebuiltProcesses_ && extendedLevel == 1)
        return HandOut(*prebuiltProcesses_, records, count);
    *records = reinterpret_cast<LPWSTR>(extendedLevel == 0
                                            ? LayOutProcesses<ProcessRecord>(typeClass)
                                            : LayOutProcesses<ExtendedProcessRecord>(typeClass));
    *count = static_cast<DWORD>(processes_.size());
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

// The records, then the identifiers, where they stay aligned, then the names in UTF-16.
template <class Record>
std::byte* FakePlatform::LayOutProcesses(std::optional<WTS_TYPE_CLASS> extended) {
    std::vector<std::vector<std::byte>> sids;
    std::vector<std::optional<std::wstring>> names;
    std::size_t size = AlignUp(processes_.size() * sizeof(Record));
    for (const FakeProcess& process : processes_) {
        sids.push_back(process.UserSid ? SidBytes(*process.UserSid) : std::vector<std::byte>{});
        if (process.ProcessName)
            names.push_back(Utf16(*process.ProcessName));
        else
            names.emplace_back();
        size += AlignUp(sids.back().size()) + (names.back() ? names.back()->size() + 1 : 0) * 2;
    }
    const auto count = static_cast<ULONG>(processes_.size());
    std::byte* block =
        NewBlock(size, extended ? std::optional(std::pair(*extended, count)) : std::nullopt);
    std::size_t offset = AlignUp(processes_.size() * sizeof(Record));
    auto* out = reinterpret_cast<Record*>(block);
    for (std::size_t i = 0; i < processes_.size(); ++i) {
        const FakeProcess& process = processes_[i];
        out[i] = Record{};
        out[i].SessionId = process.SessionId;
        out[i].ProcessId = process.ProcessId;
        if (!sids[i].empty()) {
            std::memcpy(block + offset, sids[i].data(), sids[i].size());
            out[i].pUserSid = block + offset;
            offset += AlignUp(sids[i].size());
        }
        if constexpr (std::is_same_v<Record, ExtendedProcessRecord>) {
            out[i].NumberOfThreads = process.NumberOfThreads;
            out[i].HandleCount = process.HandleCount;
            out[i].PagefileUsage = process.PagefileUsage;
            out[i].PeakPagefileUsage = process.PeakPagefileUsage;
            out[i].WorkingSetSize = process.WorkingSetSize;
            out[i].PeakWorkingSetSize = process.PeakWorkingSetSize;
            out[i].UserTime = process.UserTime;
            out[i].KernelTime = process.KernelTime;
        }
    }
    for (std::size_t i = 0; i < processes_.size(); ++i)
        if (names[i]) out[i].pProcessName = PlaceText(block, offset, *names[i]);
    return block;
}

std::size_t FakePlatform::LiveBuffers() const {
    std::size_t live = live_.size();
    for (const auto* prebuilt : {&prebuiltSessions_, &prebuiltProcesses_})
        if (*prebuilt) live += static_cast<std::size_t>((*prebuilt)->live);
    return live;
}

void FakePlatform::Release(PVOID buffer, std::optional<std::pair<WTS_TYPE_CLASS, ULONG>> extended) {
    for (auto* prebuilt : {&prebuiltSessions_, &prebuiltProcesses_}) {
        if (*prebuilt && (*prebuilt)->live > 0 && (*prebuilt)->block.bytes.data() == buffer) {
            --(*prebuilt)->live;
            ++(extended == (*prebuilt)->block.extended ? released_ : badReleases_);
            return;
        }
    }
    const auto block = live_.find(buffer);
    if (block != live_.end() && block->second.extended == extended)
        ++released_;
    else
        ++badReleases_;
    if (block != live_.end()) live_.erase(block);
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
