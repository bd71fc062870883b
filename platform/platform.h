#pragma once

// Everything the program asks of the operating system beyond drawing windows goes through one
// table of functions, so tests can replace the platform with a scripted one.

#include <windows.h>
#include <wtsapi32.h>
#include <sddl.h>

#include <cstddef>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "platform/handle.h"
#include "platform/records.h"

namespace wtsscope {

struct PlatformFunctions {
    decltype(&::WTSEnumerateSessionsA) WTSEnumerateSessionsA;
    decltype(&::WTSEnumerateProcessesA) WTSEnumerateProcessesA;
    decltype(&::WTSFreeMemory) WTSFreeMemory;
    decltype(&::GetVersionExA) GetVersionExA;
    decltype(&::LookupAccountSidA) LookupAccountSidA;
    decltype(&::ConvertSidToStringSidA) ConvertSidToStringSidA;
    decltype(&::MessageBoxW) MessageBoxW;
};

// The operating system's own functions; the terminal-services ones are loaded from the system
// directory on first use.
const PlatformFunctions& SystemPlatformFunctions();

// Releases an enumeration buffer through the platform that handed it out.
struct WtsMemoryDeleter {
    decltype(&::WTSFreeMemory) free;
    void operator()(void* buffer) const noexcept { free(buffer); }
};

template <class Record>
using WtsBuffer = std::unique_ptr<Record[], WtsMemoryDeleter>;

// What one enumeration produced. The buffer is owned from the moment the call returns.
template <class Record>
struct Enumeration {
    WtsBuffer<Record> buffer{nullptr, WtsMemoryDeleter{nullptr}};
    std::size_t count = 0;
    bool succeeded = false;
    DWORD lastError = ERROR_SUCCESS;

    std::span<const Record> Records() const { return {buffer.get(), count}; }
};

class Platform {
  public:
    explicit Platform(const PlatformFunctions& functions = SystemPlatformFunctions())
        : functions_(functions) {}

    // The local server's sessions and processes. A count too large to lie in the address space is
    // a failure with ERROR_ARITHMETIC_OVERFLOW, with the buffer still released.
    Enumeration<SessionRecord> EnumerateSessions() const;
    Enumeration<ProcessRecord> EnumerateProcesses() const;

    // Fills the record; false with the last-error code when the platform refuses.
    bool QueryVersion(VersionRecord& record, DWORD& lastError) const;

    // The account a security identifier names, as "DOMAIN\name" (just the name where there is no
    // domain); its string form where it names none.
    std::wstring AccountText(PSID sid) const;

    // A modal critical-error box with one OK button.
    void ShowError(HWND owner, const std::wstring& title, const std::wstring& prompt) const;

    const PlatformFunctions& Functions() const { return functions_; }

  private:
    const PlatformFunctions& functions_;
};

// Where the loader looks for DLLs, for the whole process: called before anything can load one.
// SetDefaultDllDirectories exists from Windows 8 on, and on Vista and 7 only with KB2533623, so it
// is looked up, never imported: an import of it keeps the program from starting at all without
// the update. Without it the current directory at least leaves the search (SetDllDirectory, from
// XP SP1 on), and wtsapi32.dll is loaded by its full path in the system directory.
using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
SetDefaultDllDirectoriesFunction SystemSetDefaultDllDirectories();

enum class LibrarySearch { SystemDirectoryOnly, WithoutCurrentDirectory, Unchanged };
LibrarySearch RestrictLibrarySearch(SetDefaultDllDirectoriesFunction setDefaultDllDirectories);

// ANSI text in the system's ANSI code page, as UTF-16.
std::wstring AnsiToWide(std::string_view text);

}  // namespace wtsscope
