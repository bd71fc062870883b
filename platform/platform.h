#pragma once

// Everything the program asks of the operating system beyond drawing windows goes through one
// table of functions, so tests can replace the platform with a scripted one.

#include <windows.h>
#include <ntsecapi.h>
#include <sddl.h>
#include <wtsapi32.h>
#include <process.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/handle.h"
#include "platform/records.h"

namespace wtsscope {

// Each table sets every member by name, in this order: a member left out fails the GCC builds
// (-Wextra's missing-field-initializers), so none has a default.
struct PlatformFunctions {
    decltype(&::WTSEnumerateSessionsA) WTSEnumerateSessionsA;
    decltype(&::WTSEnumerateProcessesW) WTSEnumerateProcessesW;
    // Null where the system lacks the export (before Windows 7 and Server 2008 R2).
    EnumerateProcessesExWFunction WTSEnumerateProcessesExW;
    FreeMemoryExWFunction WTSFreeMemoryExW;
    decltype(&::WTSFreeMemory) WTSFreeMemory;
    decltype(&::GetVersionExA) GetVersionExA;
    decltype(&::ConvertSidToStringSidW) ConvertSidToStringSidW;
    decltype(&::LsaOpenPolicy) LsaOpenPolicy;
    decltype(&::LsaLookupSids) LsaLookupSids;
    decltype(&::LsaFreeMemory) LsaFreeMemory;
    decltype(&::LsaClose) LsaClose;
    decltype(&::OpenClipboard) OpenClipboard;
    decltype(&::EmptyClipboard) EmptyClipboard;
    decltype(&::SetClipboardData) SetClipboardData;
    decltype(&::CloseClipboard) CloseClipboard;
    decltype(&::MessageBoxW) MessageBoxW;
    decltype(&::LsaQueryInformationPolicy) LsaQueryInformationPolicy;
    decltype(&::_beginthreadex) _beginthreadex;
    decltype(&::PostMessageW) PostMessageW;
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
    DWORD error = ERROR_SUCCESS;  // captured where it failed
    bool succeeded() const { return error == ERROR_SUCCESS; }
};

// Releases a buffer of the extended enumeration: the platform must be told what it holds.
struct WtsMemoryExDeleter {
    FreeMemoryExWFunction free;
    WTS_TYPE_CLASS typeClass;
    ULONG count;
    void operator()(void* buffer) const noexcept { free(typeClass, buffer, count); }
};

// One process as an enumeration gives it.
struct ProcessEntry {
    DWORD sessionId = 0;
    DWORD processId = 0;
    std::wstring_view name;  // empty where the platform gave none
    const void* sid = nullptr;
    // Of the extended enumeration only, zero otherwise; see ExtendedProcessRecord.
    DWORD threads = 0;
    DWORD handles = 0;
    DWORD pagefileUsage = 0;
    DWORD workingSetSize = 0;
    DWORD peakWorkingSetSize = 0;
    std::uint64_t processorTime = 0;  // user and kernel time together, in 100 ns units
};

// What one process enumeration produced: the extended call's records with their costs, or the
// plain call's without. Whichever buffer it holds is owned from the moment the call returns.
class ProcessEnumeration {
  public:
    DWORD error = ERROR_SUCCESS;  // the plain call's: the extended call's failures never show
    bool succeeded() const { return error == ERROR_SUCCESS; }
    bool HasCosts() const { return extended_ != nullptr; }
    std::size_t Size() const { return count_; }
    ProcessEntry At(std::size_t index) const;

  private:
    friend class Platform;
    std::unique_ptr<void, WtsMemoryExDeleter> extended_{nullptr, WtsMemoryExDeleter{}};
    WtsBuffer<ProcessRecord> plain_{nullptr, WtsMemoryDeleter{nullptr}};
    std::size_t count_ = 0;
};

// Releases what the local security authority handed out, through the platform that did.
struct LsaMemoryDeleter {
    decltype(&::LsaFreeMemory) free;
    void operator()(void* buffer) const noexcept { free(buffer); }
};

template <class Record>
using LsaBuffer = std::unique_ptr<Record, LsaMemoryDeleter>;

// What one lookup of accounts produced: the platform's answer, owned from the moment the call
// returns, for every identifier asked in the order asked.
class AccountNames {
  public:
    std::size_t Size() const { return size_; }
    // Whether the call reached the authority, which answered for every identifier: with its
    // account, or that it mapped none. A call that could not be made (the authority not opened,
    // no domain controller reached, no answer handed back) says nothing about the identifiers.
    bool Reached() const { return reached_; }
    // The account an identifier names: "DOMAIN\name", the name alone where it has no domain. None
    // where the authority mapped none, which a network time-out can give as much as an identifier
    // of no account, or where the call did not reach it.
    std::optional<std::wstring> Name(std::size_t index) const;

  private:
    friend class Platform;
    LsaBuffer<LSA_REFERENCED_DOMAIN_LIST> domains_{nullptr, LsaMemoryDeleter{nullptr}};
    LsaBuffer<LSA_TRANSLATED_NAME> names_{nullptr, LsaMemoryDeleter{nullptr}};
    std::size_t size_ = 0;
    bool reached_ = false;
};

class Platform {
  public:
    // Holds its own copy of the table: a platform outlives whatever it was made from.
    explicit Platform(const PlatformFunctions& functions = SystemPlatformFunctions())
        : functions_(functions) {}

    // The local server's sessions and processes. A count too large to lie in the address space is
    // a failure with ERROR_ARITHMETIC_OVERFLOW, with the buffer still released.
    Enumeration<SessionRecord> EnumerateSessions() const;
    // Every session's processes with their costs where the system gives them (the extended call
    // at level 1), else without (the plain call, whose failure alone is the enumeration's).
    ProcessEnumeration EnumerateProcesses() const;

    // Fills the record: ERROR_SUCCESS, or the code the platform refused it with.
    DWORD QueryVersion(VersionRecord& record) const;

    // A security identifier's string form ("S-1-5-18"); empty where it has none.
    std::wstring IdentifierText(PSID sid) const;

    // The platform answers at most so many identifiers in one lookup.
    static constexpr std::size_t kMostAccountsPerLookup = 20480;

    // The accounts the identifiers (their bytes, as IdentifierBytes gives them; at most
    // kMostAccountsPerLookup) name, asked of the local security authority in one call. On a domain
    // member an unknown domain's account is a round trip to a domain controller, and a controller
    // far away or gone is a network time-out: never call this on a window's thread.
    AccountNames LookUpAccounts(std::span<const std::string> identifiers) const;
    // The identifier (its bytes) of the machine's own account domain, whose accounts the machine
    // names without a domain controller; empty where the authority does not tell it.
    std::string AccountDomain() const;

    // Runs the work on a thread of its own, which is never waited for; false, with the work not
    // run, where the platform could not start one.
    bool StartThread(std::function<void()> work) const;
    // Posts the message, without parameters, to the window's queue; false where it was refused (a
    // full queue).
    bool PostToWindow(HWND window, UINT message) const;

    // Puts text on the clipboard as Unicode text: ERROR_SUCCESS, or the code of the call that
    // failed. A clipboard another program holds open is waited for, up to about a second.
    DWORD CopyToClipboard(HWND owner, const std::wstring& text) const;

    // A modal critical-error box with one OK button, titled with a word and the error code in
    // decimal ("ERROR 5").
    void ShowError(HWND owner, std::wstring_view titleWord, DWORD code,
                   const std::wstring& prompt) const;

  private:
    PlatformFunctions functions_;
};

}  // namespace wtsscope
