#include "platform/platform.h"

#include <algorithm>
#include <cstdint>

#include "platform/record_reader.h"
#include "platform/system_library.h"
#include "platform/text.h"

namespace wtsscope {
namespace {

using UniqueLocalMemory = UniqueHandle<HLOCAL, &::LocalFree>;

// wtsapi32.dll, loaded from the system directory and nowhere else, so that a DLL of that name
// beside the program or in the current directory is never picked up.
class TerminalServicesLibrary {
  public:
    // The export, or null with the loader's error code as the thread's last error.
    template <class Function>
    Function Resolve(const char* name) {
        if (!module_) module_ = LoadSystemLibrary(L"wtsapi32.dll");
        return ExportOf<Function>(module_.get(), name);
    }

  private:
    UniqueModule module_;
};

TerminalServicesLibrary& Wtsapi() {
    static TerminalServicesLibrary library;
    return library;
}

BOOL WINAPI LoadedEnumerateSessionsA(HANDLE server, DWORD reserved, DWORD version,
                                     PWTS_SESSION_INFOA* sessions, DWORD* count) {
    const auto function =
        Wtsapi().Resolve<decltype(&::WTSEnumerateSessionsA)>("WTSEnumerateSessionsA");
    return function ? function(server, reserved, version, sessions, count) : FALSE;
}

BOOL WINAPI LoadedEnumerateProcessesA(HANDLE server, DWORD reserved, DWORD version,
                                      PWTS_PROCESS_INFOA* processes, DWORD* count) {
    const auto function =
        Wtsapi().Resolve<decltype(&::WTSEnumerateProcessesA)>("WTSEnumerateProcessesA");
    return function ? function(server, reserved, version, processes, count) : FALSE;
}

void WINAPI LoadedFreeMemory(PVOID memory) {
    const auto function = Wtsapi().Resolve<decltype(&::WTSFreeMemory)>("WTSFreeMemory");
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

template <class Record, class Enumerate>
Enumeration<Record> EnumerateLocalServer(const PlatformFunctions& functions, Enumerate enumerate) {
    Enumeration<Record> result;
    result.buffer = WtsBuffer<Record>(nullptr, WtsMemoryDeleter{functions.WTSFreeMemory});
    Record* records = nullptr;
    DWORD count = 0;
    const BOOL succeeded = enumerate(WTS_CURRENT_SERVER_HANDLE, 0, 1, &records, &count);
    result.lastError = GetLastError();
    if (!succeeded) return result;
    result.buffer.reset(records);
    if (count != 0 && records == nullptr) {
        result.lastError = ERROR_INVALID_DATA;
        return result;
    }
    if (!RecordsFitAddressSpace(records, count, sizeof(Record))) {
        result.lastError = ERROR_ARITHMETIC_OVERFLOW;
        return result;
    }
    if (!Readable(records, count * sizeof(Record))) {
        result.lastError = ERROR_INVALID_DATA;
        return result;
    }
    result.count = count;
    result.succeeded = true;
    return result;
}

}  // namespace

const PlatformFunctions& SystemPlatformFunctions() {
    static const PlatformFunctions functions{
        LoadedEnumerateSessionsA, LoadedEnumerateProcessesA, LoadedFreeMemory, ::GetVersionExA,
        ::LookupAccountSidA,      ::ConvertSidToStringSidA,  ::MessageBoxW,
    };
    return functions;
}

Enumeration<SessionRecord> Platform::EnumerateSessions() const {
    return EnumerateLocalServer<SessionRecord>(functions_, functions_.WTSEnumerateSessionsA);
}

Enumeration<ProcessRecord> Platform::EnumerateProcesses() const {
    return EnumerateLocalServer<ProcessRecord>(functions_, functions_.WTSEnumerateProcessesA);
}

bool Platform::QueryVersion(VersionRecord& record, DWORD& lastError) const {
    const BOOL succeeded = functions_.GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&record));
    lastError = GetLastError();
    return succeeded != FALSE;
}

std::wstring Platform::AccountText(PSID sid) const {
    std::string name(64, '\0');
    std::string domain(64, '\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        auto nameLength = static_cast<DWORD>(name.size());
        auto domainLength = static_cast<DWORD>(domain.size());
        SID_NAME_USE use;
        if (functions_.LookupAccountSidA(nullptr, sid, name.data(), &nameLength, domain.data(),
                                         &domainLength, &use)) {
            const std::wstring account = AnsiToWide(name.c_str());
            return domain[0] ? AnsiToWide(domain.c_str()) + L"\\" + account : account;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) break;
        // The lookup said how much room each part needs.
        name.assign(std::max<std::size_t>(nameLength, name.size()), '\0');
        domain.assign(std::max<std::size_t>(domainLength, domain.size()), '\0');
    }
    LPSTR text = nullptr;
    if (!functions_.ConvertSidToStringSidA(sid, &text)) return {};
    const UniqueLocalMemory owner(text);
    return AnsiToWide(text);
}

void Platform::ShowError(HWND owner, std::wstring_view titleWord, DWORD code,
                         const std::wstring& prompt) const {
    const std::wstring title =
        std::wstring(titleWord) + L" " + DecimalText(static_cast<std::int32_t>(code));
    functions_.MessageBoxW(owner, prompt.c_str(), title.c_str(), MB_OK | MB_ICONERROR);
}

}  // namespace wtsscope
