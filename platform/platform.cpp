#include "platform/platform.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/failure.h"
#include "platform/record_reader.h"
#include "platform/system_library.h"
#include "platform/text.h"

namespace wtsscope {
namespace {

// wtsapi32.dll, loaded from the system directory and nowhere else, so that a DLL of that name
// beside the program or in the current directory is never picked up.
class TerminalServicesLibrary {
  public:
    // The export, or null with the code of the load or the lookup that failed.
    template <class Function>
    std::pair<Function, DWORD> Resolve(const char* name) {
        if (!module_) {
            const DWORD error = LoadSystemLibrary(L"wtsapi32.dll", module_);
            if (error != ERROR_SUCCESS) return {nullptr, error};
        }
        const auto function = ExportOf<Function>(module_.get(), name);
        return {function, function ? ERROR_SUCCESS : FailureCode()};
    }

  private:
    UniqueModule module_;
};

TerminalServicesLibrary& Wtsapi() {
    static TerminalServicesLibrary library;
    return library;
}

// These stand in for the library's own functions, so they fail as those do: FALSE, with the code
// as the thread's last error.
BOOL WINAPI LoadedEnumerateSessionsA(HANDLE server, DWORD reserved, DWORD version,
                                     PWTS_SESSION_INFOA* sessions, DWORD* count) {
    const auto [function, error] =
        Wtsapi().Resolve<decltype(&::WTSEnumerateSessionsA)>("WTSEnumerateSessionsA");
    if (function) return function(server, reserved, version, sessions, count);
    SetLastError(error);
    return FALSE;
}

BOOL WINAPI LoadedEnumerateProcessesW(HANDLE server, DWORD reserved, DWORD version,
                                      PWTS_PROCESS_INFOW* processes, DWORD* count) {
    const auto [function, error] =
        Wtsapi().Resolve<decltype(&::WTSEnumerateProcessesW)>("WTSEnumerateProcessesW");
    if (function) return function(server, reserved, version, processes, count);
    SetLastError(error);
    return FALSE;
}

// A system without the export fails here as the call would, and the caller falls back.
BOOL WINAPI LoadedEnumerateProcessesExW(HANDLE server, DWORD* level, DWORD sessionId,
                                        LPWSTR* processes, DWORD* count) {
    const auto [function, error] =
        Wtsapi().Resolve<EnumerateProcessesExWFunction>("WTSEnumerateProcessesExW");
    if (function) return function(server, level, sessionId, processes, count);
    SetLastError(error);
    return FALSE;
}

BOOL WINAPI LoadedFreeMemoryExW(WTS_TYPE_CLASS typeClass, PVOID memory, ULONG entries) {
    const auto [function, error] = Wtsapi().Resolve<FreeMemoryExWFunction>("WTSFreeMemoryExW");
    if (function) return function(typeClass, memory, entries);
    SetLastError(error);
    return FALSE;
}

void WINAPI LoadedFreeMemory(PVOID memory) {
    const auto function = Wtsapi().Resolve<decltype(&::WTSFreeMemory)>("WTSFreeMemory").first;
    if (function) function(memory);
}

// Whether the bytes from block on lie in memory the process can read. A buffer is one allocation,
// so it lies within a single region of pages; a count that runs past that region is not the
// platform's answer but a wild read.
bool Readable(const void* block, std::size_t size) {
    if (size == 0) return true;
    MEMORY_BASIC_INFORMATION region{};
    if (VirtualQuery(block, &region, sizeof(region)) == 0) return false;
    constexpr DWORD kReadable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY |
                                PAGE_EXECUTE_READ | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
    if (region.State != MEM_COMMIT || (region.Protect & kReadable) == 0 ||
        (region.Protect & PAGE_GUARD) != 0)
        return false;
    const auto end = reinterpret_cast<std::uintptr_t>(region.BaseAddress) + region.RegionSize;
    return size <= end - reinterpret_cast<std::uintptr_t>(block);
}

// Whether count records of the size at records are an answer the program can walk: ERROR_SUCCESS,
// or the fault.
DWORD CheckRecords(const void* records, DWORD count, std::size_t recordSize) {
    // Records missing and records not all readable are the same fault, found before and after the
    // size is known to be sound.
    if (count != 0 && records == nullptr) return ERROR_INVALID_DATA;
    if (!RecordsFitAddressSpace(records, count, recordSize)) return ERROR_ARITHMETIC_OVERFLOW;
    if (!Readable(records, count * recordSize)) return ERROR_INVALID_DATA;
    return ERROR_SUCCESS;
}

template <class Record, class Enumerate>
Enumeration<Record> EnumerateLocalServer(const PlatformFunctions& functions, Enumerate enumerate) {
    Enumeration<Record> result;
    result.buffer = WtsBuffer<Record>(nullptr, WtsMemoryDeleter{functions.WTSFreeMemory});
    Record* records = nullptr;
    DWORD count = 0;
    if (!enumerate(WTS_CURRENT_SERVER_HANDLE, 0, 1, &records, &count)) {
        result.error = FailureCode();
        return result;
    }
    result.buffer.reset(records);
    result.error = CheckRecords(records, count, sizeof(Record));
    if (result.succeeded()) result.count = count;
    return result;
}

}  // namespace

const PlatformFunctions& SystemPlatformFunctions() {
    static const PlatformFunctions functions{
        .WTSEnumerateSessionsA = LoadedEnumerateSessionsA,
        .WTSEnumerateProcessesW = LoadedEnumerateProcessesW,
        .WTSEnumerateProcessesExW = LoadedEnumerateProcessesExW,
        .WTSFreeMemoryExW = LoadedFreeMemoryExW,
        .WTSFreeMemory = LoadedFreeMemory,
        .GetVersionExA = ::GetVersionExA,
        .ConvertSidToStringSidW = ::ConvertSidToStringSidW,
        .LsaOpenPolicy = ::LsaOpenPolicy,
        .LsaLookupSids = ::LsaLookupSids,
        .LsaFreeMemory = ::LsaFreeMemory,
        .LsaClose = ::LsaClose,
        .OpenClipboard = ::OpenClipboard,
        .EmptyClipboard = ::EmptyClipboard,
        .SetClipboardData = ::SetClipboardData,
        .CloseClipboard = ::CloseClipboard,
        .MessageBoxW = ::MessageBoxW,
        .LsaQueryInformationPolicy = ::LsaQueryInformationPolicy,
        ._beginthreadex = ::_beginthreadex,
        .PostMessageW = ::PostMessageW,
    };
    return functions;
}

Enumeration<SessionRecord> Platform::EnumerateSessions() const {
    return EnumerateLocalServer<SessionRecord>(functions_, functions_.WTSEnumerateSessionsA);
}

ProcessEnumeration Platform::EnumerateProcesses() const {
    ProcessEnumeration result;
    if (functions_.WTSEnumerateProcessesExW && functions_.WTSFreeMemoryExW) {
        DWORD level = 1;
        LPWSTR records = nullptr;
        DWORD count = 0;
        if (functions_.WTSEnumerateProcessesExW(WTS_CURRENT_SERVER_HANDLE, &level, kAnySession,
                                                &records, &count)) {
            // Released as what the call says it answered with, whether it is used or not; only
            // levels 0 and 1 exist.
            std::unique_ptr<void, WtsMemoryExDeleter> buffer(
                records,
                WtsMemoryExDeleter{functions_.WTSFreeMemoryExW,
                                   level == 0 ? WTSTypeProcessInfoLevel0 : WTSTypeProcessInfoLevel1,
                                   count});
            if (level == 1 &&
                CheckRecords(records, count, sizeof(ExtendedProcessRecord)) == ERROR_SUCCESS) {
                result.extended_ = std::move(buffer);
                result.count_ = count;
                return result;
            }
        }
    }
    // Any other answer is as if the system had no extended call: the plain call says it all.
    Enumeration<ProcessRecord> plain =
        EnumerateLocalServer<ProcessRecord>(functions_, functions_.WTSEnumerateProcessesW);
    result.plain_ = std::move(plain.buffer);
    result.count_ = plain.count;
    result.error = plain.error;
    return result;
}

ProcessEntry ProcessEnumeration::At(std::size_t index) const {
    const auto name = [](const wchar_t* text) {
        return text ? std::wstring_view(text) : std::wstring_view();
    };
    if (!extended_) {
        const auto record = RecordAt<ProcessRecord>(plain_.get(), index);
        return {.sessionId = record.SessionId,
                .processId = record.ProcessId,
                .name = name(record.pProcessName),
                .sid = record.pUserSid};
    }
    const auto record = RecordAt<ExtendedProcessRecord>(extended_.get(), index);
    // A time is never negative; one that claims to be counts as none.
    const auto time = [](std::int64_t value) {
        return static_cast<std::uint64_t>(std::max<std::int64_t>(value, 0));
    };
    return {.sessionId = record.SessionId,
            .processId = record.ProcessId,
            .name = name(record.pProcessName),
            .sid = record.pUserSid,
            .threads = record.NumberOfThreads,
            .handles = record.HandleCount,
            .pagefileUsage = record.PagefileUsage,
            .workingSetSize = record.WorkingSetSize,
            .peakWorkingSetSize = record.PeakWorkingSetSize,
            .processorTime = time(record.UserTime) + time(record.KernelTime)};
}

DWORD Platform::QueryVersion(VersionRecord& record) const {
    if (functions_.GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&record))) return ERROR_SUCCESS;
    return FailureCode();
}

std::wstring Platform::IdentifierText(PSID sid) const {
    UniqueHandle<LPWSTR, &::LocalFree> text;
    if (!functions_.ConvertSidToStringSidW(sid, text.put())) return {};
    return text.get();
}

namespace {

constexpr NTSTATUS kStatusNoneMapped = static_cast<NTSTATUS>(0xC0000073);

// The local security authority's policy, opened for the access, and closed through the platform
// that opened it; none where it could not be opened.
using Policy = std::unique_ptr<void, decltype(&::LsaClose)>;

Policy OpenPolicy(const PlatformFunctions& functions, ACCESS_MASK access) {
    LSA_OBJECT_ATTRIBUTES attributes{};
    LSA_HANDLE policy = nullptr;
    if (functions.LsaOpenPolicy(nullptr, &attributes, access, &policy) != 0) policy = nullptr;
    return Policy(policy, functions.LsaClose);
}

unsigned WINAPI RunWork(void* work) {
    const std::unique_ptr<std::function<void()>> owned(static_cast<std::function<void()>*>(work));
    (*owned)();
    return 0;
}

}  // namespace

AccountNames Platform::LookUpAccounts(std::span<const std::string> identifiers) const {
    AccountNames result;
    result.size_ = identifiers.size();
    if (identifiers.empty()) return result;
    const Policy policy = OpenPolicy(functions_, POLICY_LOOKUP_NAMES);
    if (!policy) return result;

    // An identifier is read as the platform's SID, whose sub-authorities are 32-bit: each is
    // copied to a place aligned for them.
    std::vector<std::vector<DWORD>> copies;
    std::vector<PSID> sids;
    copies.reserve(identifiers.size());
    sids.reserve(identifiers.size());
    for (const std::string& identifier : identifiers) {
        copies.emplace_back((identifier.size() + sizeof(DWORD) - 1) / sizeof(DWORD));
        std::memcpy(copies.back().data(), identifier.data(), identifier.size());
        sids.push_back(copies.back().data());
    }
    PLSA_REFERENCED_DOMAIN_LIST domains = nullptr;
    PLSA_TRANSLATED_NAME names = nullptr;
    const NTSTATUS status = functions_.LsaLookupSids(policy.get(), static_cast<ULONG>(sids.size()),
                                                     sids.data(), &domains, &names);
    // Released whatever the answer, as the platform asks even of a lookup that found none.
    const LsaMemoryDeleter free{functions_.LsaFreeMemory};
    result.domains_ = LsaBuffer<LSA_REFERENCED_DOMAIN_LIST>(domains, free);
    result.names_ = LsaBuffer<LSA_TRANSLATED_NAME>(names, free);
    // Success and "some not mapped" answer about the identifiers with a name for each, "none
    // mapped" even without; any other status, or a success without names, is a lookup that could
    // not be made (no domain controller reached, a trust broken).
    result.reached_ = (status >= 0 && names != nullptr) || status == kStatusNoneMapped;
    return result;
}

std::optional<std::wstring> AccountNames::Name(std::size_t index) const {
    // None mapped may come without an entry per identifier.
    if (!reached_ || !names_ || index >= size_) return std::nullopt;
    const LSA_TRANSLATED_NAME& name = names_.get()[index];
    const auto text = [](const LSA_UNICODE_STRING& string) {
        if (string.Buffer == nullptr) return std::wstring();
        return std::wstring(string.Buffer, string.Length / sizeof(WCHAR));
    };
    if (name.Use == SidTypeInvalid || name.Use == SidTypeUnknown) return std::nullopt;
    std::wstring domain;
    const LSA_REFERENCED_DOMAIN_LIST* domains = domains_.get();
    if (domains != nullptr && name.DomainIndex >= 0 &&
        static_cast<ULONG>(name.DomainIndex) < domains->Entries)
        domain = text(domains->Domains[name.DomainIndex].Name);
    // A domain's own identifier names the domain; its name is no account's.
    if (name.Use == SidTypeDomain) return domain;
    std::wstring account = text(name.Name);
    if (account.empty() || domain.empty()) return account;
    return domain + L"\\" + account;
}

std::string Platform::AccountDomain() const {
    const Policy policy = OpenPolicy(functions_, POLICY_VIEW_LOCAL_INFORMATION);
    if (!policy) return {};
    void* buffer = nullptr;
    const NTSTATUS status =
        functions_.LsaQueryInformationPolicy(policy.get(), PolicyAccountDomainInformation, &buffer);
    const LsaBuffer<POLICY_ACCOUNT_DOMAIN_INFO> domain(
        static_cast<POLICY_ACCOUNT_DOMAIN_INFO*>(buffer),
        LsaMemoryDeleter{functions_.LsaFreeMemory});
    if (status != 0 || !domain) return {};
    return std::string(IdentifierBytes(domain->DomainSid));
}

bool Platform::StartThread(std::function<void()> work) const {
    auto owned = std::make_unique<std::function<void()>>(std::move(work));
    // Started through the C runtime, as a thread that uses it must be.
    const UniqueHandle<HANDLE, &::CloseHandle> thread(reinterpret_cast<HANDLE>(
        functions_._beginthreadex(nullptr, 0, RunWork, owned.get(), 0, nullptr)));
    if (!thread) return false;
    // The thread's from here: it deletes the work when it is done.
    static_cast<void>(owned.release());
    return true;
}

bool Platform::PostToWindow(HWND window, UINT message) const {
    return functions_.PostMessageW(window, message, 0, 0) != FALSE;
}

DWORD Platform::CopyToClipboard(HWND owner, const std::wstring& text) const {
    using UniqueGlobal = UniqueHandle<HGLOBAL, &::GlobalFree>;
    const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    UniqueGlobal memory(GlobalAlloc(GMEM_MOVEABLE, bytes));
    if (!memory) return FailureCode();
    void* target = GlobalLock(memory.get());
    if (!target) return FailureCode();
    std::memcpy(target, text.c_str(), bytes);
    GlobalUnlock(memory.get());
    // Another program may hold the clipboard open for a moment: a remote session's clipboard
    // redirector does after every change.
    constexpr ULONGLONG kPatienceMs = 1000;
    constexpr DWORD kPauseMs = 10;
    const ULONGLONG deadline = GetTickCount64() + kPatienceMs;
    while (!functions_.OpenClipboard(owner)) {
        const DWORD error = FailureCode();
        if (GetTickCount64() >= deadline) return error;
        Sleep(kPauseMs);
    }
    DWORD error = ERROR_SUCCESS;
    if (functions_.EmptyClipboard() && functions_.SetClipboardData(CF_UNICODETEXT, memory.get()))
        memory.release();  // the clipboard owns it from here
    else
        error = FailureCode();
    functions_.CloseClipboard();
    return error;
}

void Platform::ShowError(HWND owner, std::wstring_view titleWord, DWORD code,
                         const std::wstring& prompt) const {
    const std::wstring title =
        std::wstring(titleWord) + L" " + DecimalText(static_cast<std::int32_t>(code));
    functions_.MessageBoxW(owner, prompt.c_str(), title.c_str(), MB_OK | MB_ICONERROR);
}

}  // namespace wtsscope
