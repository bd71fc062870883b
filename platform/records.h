#pragma once

// The platform's record layouts. On Windows they are the SDK's own types; elsewhere a mirror with
// the same fields at the same pointer width, so the portable logic reads records exactly as the
// platform lays them out and can be tested on any host.

#include <cstdint>

#if defined(_WIN32)

#include <windows.h>
#include <wtsapi32.h>

namespace wtsscope {
using SessionRecord = WTS_SESSION_INFOA;
using ProcessRecord = WTS_PROCESS_INFOA;
using VersionRecord = OSVERSIONINFOEXA;
using IdentifierRecord = SID;
constexpr unsigned char kIdentifierRevision = SID_REVISION;
constexpr unsigned char kMaxSubAuthorities = SID_MAX_SUB_AUTHORITIES;
}  // namespace wtsscope

#if !defined(_WIN64)
static_assert(sizeof(wtsscope::SessionRecord) == 12,
              "WTS_SESSION_INFOA is 12 bytes on 32-bit Windows");
static_assert(sizeof(wtsscope::ProcessRecord) == 16,
              "WTS_PROCESS_INFOA is 16 bytes on 32-bit Windows");
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
    char* pProcessName;
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
