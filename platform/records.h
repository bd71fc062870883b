#pragma once

// The platform's record layouts. On Windows they are the SDK's own types; elsewhere a mirror with
// the same fields at the same pointer width, so the portable logic reads records exactly as the
// platform lays them out and can be tested on any host.

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)

#include <windows.h>
#include <wtsapi32.h>

namespace wtsscope {
using SessionRecord = WTS_SESSION_INFOA;
using ProcessRecord = WTS_PROCESS_INFOW;
using VersionRecord = OSVERSIONINFOEXA;
using IdentifierRecord = SID;
constexpr unsigned char kIdentifierRevision = SID_REVISION;
constexpr unsigned char kMaxSubAuthorities = SID_MAX_SUB_AUTHORITIES;
}  // namespace wtsscope

#if !defined(_WIN64)
static_assert(sizeof(wtsscope::SessionRecord) == 12,
              "WTS_SESSION_INFOA is 12 bytes on 32-bit Windows");
static_assert(sizeof(wtsscope::ProcessRecord) == 16,
              "WTS_PROCESS_INFOW is 16 bytes on 32-bit Windows");
#endif

#else

namespace wtsscope {

struct SessionRecord {
    std::uint32_t SessionId;
    char* pWinStationName;
    int State;
};

struct ProcessRecord {
    std::uint32_t SessionId;
    std::uint32_t ProcessId;
    wchar_t* pProcessName;
    void* pUserSid;
};

struct VersionRecord {
    std::uint32_t dwOSVersionInfoSize;
    std::uint32_t dwMajorVersion;
    std::uint32_t dwMinorVersion;
    std::uint32_t dwBuildNumber;
    std::uint32_t dwPlatformId;
    char szCSDVersion[128];
    std::uint16_t wServicePackMajor;
    std::uint16_t wServicePackMinor;
    std::uint16_t wSuiteMask;
    std::uint8_t wProductType;
    std::uint8_t wReserved;
};

struct IdentifierRecord {
    std::uint8_t Revision;
    std::uint8_t SubAuthorityCount;
    std::uint8_t IdentifierAuthority[6];
    std::uint32_t SubAuthority[1];
};
constexpr unsigned char kIdentifierRevision = 1;
constexpr unsigned char kMaxSubAuthorities = 15;

}  // namespace wtsscope

#endif

static_assert(sizeof(wtsscope::VersionRecord) == 156, "the extended version record is 156 bytes");

namespace wtsscope {

// The extended process enumeration's records (Windows 7 and Server 2008 R2 on), which Debian 12's
// MinGW headers lack: declared from Microsoft's documented layout. The memory figures are counts
// of bytes; the times, though documented as milliseconds, are in 100 ns units.
struct ExtendedProcessRecord {  // WTS_PROCESS_INFO_EXW
    std::uint32_t SessionId;
    std::uint32_t ProcessId;
    wchar_t* pProcessName;
    void* pUserSid;
    std::uint32_t NumberOfThreads;
    std::uint32_t HandleCount;
    std::uint32_t PagefileUsage;
    std::uint32_t PeakPagefileUsage;
    std::uint32_t WorkingSetSize;
    std::uint32_t PeakWorkingSetSize;
    alignas(8) std::int64_t UserTime;  // LARGE_INTEGER
    alignas(8) std::int64_t KernelTime;
};

// What a buffer of the extended calls holds, for WTSFreeMemoryExW.
enum WTS_TYPE_CLASS {
    WTSTypeProcessInfoLevel0,
    WTSTypeProcessInfoLevel1,
    WTSTypeSessionInfoLevel1
};

// Every session's processes, for WTSEnumerateProcessesExW.
constexpr std::uint32_t kAnySession = 0xFFFFFFFE;  // WTS_ANY_SESSION, (DWORD)-2

}  // namespace wtsscope

static_assert(sizeof(void*) != 4 || (sizeof(wtsscope::ExtendedProcessRecord) == 56 &&
                                     offsetof(wtsscope::ExtendedProcessRecord, UserTime) == 40),
              "WTS_PROCESS_INFO_EXW is 56 bytes with UserTime at 40 on 32-bit Windows");
static_assert(sizeof(void*) != 8 || (sizeof(wtsscope::ExtendedProcessRecord) == 64 &&
                                     offsetof(wtsscope::ExtendedProcessRecord, UserTime) == 48),
              "WTS_PROCESS_INFO_EXW is 64 bytes with UserTime at 48 on 64-bit Windows");

#if defined(_WIN32)
namespace wtsscope {
using EnumerateProcessesExWFunction = BOOL(WINAPI*)(HANDLE server, DWORD* level, DWORD sessionId,
                                                    LPWSTR* processes, DWORD* count);
using FreeMemoryExWFunction = BOOL(WINAPI*)(WTS_TYPE_CLASS typeClass, PVOID memory, ULONG entries);
}  // namespace wtsscope
#endif
