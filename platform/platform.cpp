#include "platform/platform.h"

#include <algorithm>
#include <cstdint>

#include "platform/record_reader.h"

namespace wtsscope {
namespace {

using UniqueModule = UniqueHandle<HMODULE, &::FreeLibrary>;
using UniqueLocalMemory = UniqueHandle<HLOCAL, &::LocalFree>;

// The system directory's path; empty if it cannot be had.
std::wstring SystemDirectory() {
    wchar_t directory[MAX_PATH];
    const UINT length = GetSystemDirectoryW(directory, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    return std::wstring(directory, length);
}

// wtsapi32.dll, loaded from the system directory and nowhere else, so that a DLL of that name
// beside the program or in the current directory is never picked up.
class TerminalServicesLibrary {
  public:
    // The export, or null with the loader's error code as the thread's last error.
    template <class Function>
    Function Resolve(const char* name) {
        if (!module_) module_ = Load();
        if (!module_) return nullptr;
        const FARPROC address = GetProcAddress(module_.get(), name);
        if (!address) return nullptr;
        return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
    }

  private:
    static UniqueModule Load() {
        UniqueModule module(LoadLibraryExW(L"wtsapi32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
        if (module || GetLastError() != ERROR_INVALID_PARAMETER) return module;
        // Systems without the search flags: name the file in the system directory explicitly.
        const std::wstring directory = SystemDirectory();
        if (directory.empty()) return module;
        const std::wstring path = directory + L"\\wtsapi32.dll";
        return UniqueModule(LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    }

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

void Platform::ShowError(HWND owner, const std::wstring& title, const std::wstring& prompt) const {
    functions_.MessageBoxW(owner, prompt.c_str(), title.c_str(), MB_OK | MB_ICONERROR);
}

SetDefaultDllDirectoriesFunction SystemSetDefaultDllDirectories() {
    // kernel32.dll is in every process from its start.
    const FARPROC address =
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories");
    return reinterpret_cast<SetDefaultDllDirectoriesFunction>(
        reinterpret_cast<void (*)()>(address));
}

LibrarySearch RestrictLibrarySearch(SetDefaultDllDirectoriesFunction setDefaultDllDirectories) {
    if (setDefaultDllDirectories && setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32))
        return LibrarySearch::SystemDirectoryOnly;
    // Once a directory is named, the current one is no longer searched. An empty name is documented
    // to do the same, but Wine takes it for none; the system directory adds nothing new. The
    // program's own directory stays first: only the search flags can drop it.
    const std::wstring directory = SystemDirectory();
    if (SetDllDirectoryW(directory.empty() ? L"" : directory.c_str()))
        return LibrarySearch::WithoutCurrentDirectory;
    return LibrarySearch::Unchanged;
}

std::wstring AnsiToWide(std::string_view text) {
    if (text.empty()) return {};
    // Texts past INT_MAX bytes cannot be converted in one call; the platform never hands such.
    const int length = static_cast<int>(text.size());
    const int wideLength = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), length, wide.data(), wideLength);
    return wide;
}

}  // namespace wtsscope
