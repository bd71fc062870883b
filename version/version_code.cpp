#include "version/version_code.h"

#include <cstring>
#include <string_view>

namespace wtsscope {
namespace {

constexpr std::int32_t kPlatformWin32s = 0;
constexpr std::int32_t kPlatformWindows = 1;
constexpr std::int32_t kPlatformNt = 2;

constexpr std::uint8_t kProductDomainController = 2;
constexpr std::uint8_t kProductServer = 3;

constexpr std::uint16_t kSuiteEnterprise = 2;

// The service-pack text as the platform wrote it: up to its terminator, never past the field, with
// the blanks some versions put around a one-letter mark removed.
std::string_view ServicePackText(const VersionRecord& record) {
    const char* field = record.szCSDVersion;
    std::string_view text(field, strnlen(field, sizeof(record.szCSDVersion)));
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

std::int32_t ClassifyWindows(const VersionRecord& record, std::int32_t major, std::int32_t minor) {
    if (major != 4) return 0;
    const std::string_view mark = ServicePackText(record);
    switch (minor) {
        case 0:
            if (mark == "C") return 4;
            if (mark == "B") return 3;
            return 2;
        case 10:
            return mark == "A" ? 6 : 5;
        case 90:
            return 7;
        default:
            return 0;
    }
}

std::int32_t ClassifyNt(const VersionRecord& record, std::int32_t major, std::int32_t minor) {
    const bool server = record.wProductType == kProductServer;
    switch (major) {
        case 4:
            return 8;
        case 5:
            switch (minor) {
                case 0:
                    if (server) return 10;
                    // Only the low byte of the suite mask takes part.
                    if (record.wProductType == kProductDomainController &&
                        (record.wSuiteMask & 0xFF & kSuiteEnterprise) != 0)
                        return 11;
                    return 9;
                case 1:
                    return 12;
                case 2:
                    return 13;
                default:
                    return 0;
            }
        case 6:
            switch (minor) {
                case 0:
                    return 14;
                case 1:
                    return server ? 16 : 15;
                case 2:
                    return server ? 18 : 17;
                default:
                    return 0;
            }
        case 7:
            return 17;
        default:
            return 0;
    }
}

}  // namespace

std::int32_t ClassifyVersion(const VersionRecord& record) {
    // The platform's fields are unsigned; the codes are defined over their signed 32-bit values.
    const auto platform = static_cast<std::int32_t>(record.dwPlatformId);
    const auto major = static_cast<std::int32_t>(record.dwMajorVersion);
    const auto minor = static_cast<std::int32_t>(record.dwMinorVersion);
    switch (platform) {
        case kPlatformWin32s:
            return 1;
        case kPlatformWindows:
            return ClassifyWindows(record, major, minor);
        case kPlatformNt:
            return ClassifyNt(record, major, minor);
        default:
            return 0;
    }
}

}  // namespace wtsscope
