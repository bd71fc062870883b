// Classifies any version record. The code must be the table's, must be one of 0 to 18, and must not
// depend on the fields the classification never reads.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "tests/fuzz/fuzz_input.h"
#include "version/version_code.h"

namespace wtsscope::fuzz {
namespace {

// The one-letter service-pack mark, if the field holds exactly one letter between blanks.
char ServicePackMark(const VersionRecord& record) {
    std::string_view field(record.szCSDVersion,
                           strnlen(record.szCSDVersion, sizeof(record.szCSDVersion)));
    while (!field.empty() && field.front() == ' ') field.remove_prefix(1);
    while (!field.empty() && field.back() == ' ') field.remove_suffix(1);
    return field.size() == 1 ? field[0] : '\0';
}

// The classification table, row by row.
std::int32_t Expected(const VersionRecord& record) {
    const auto platform = static_cast<std::int32_t>(record.dwPlatformId);
    const auto major = static_cast<std::int32_t>(record.dwMajorVersion);
    const auto minor = static_cast<std::int32_t>(record.dwMinorVersion);
    const bool server = record.wProductType == 3;
    if (platform == 0) return 1;
    if (platform == 1) {
        if (major != 4) return 0;
        const char mark = ServicePackMark(record);
        if (minor == 0) return mark == 'C' ? 4 : mark == 'B' ? 3 : 2;
        if (minor == 10) return mark == 'A' ? 6 : 5;
        if (minor == 90) return 7;
        return 0;
    }
    if (platform != 2) return 0;
    if (major == 4) return 8;
    if (major == 5 && minor == 0) {
        if (server) return 10;
        if (record.wProductType == 2 && (record.wSuiteMask & 0x02) != 0) return 11;
        return 9;
    }
    if (major == 5 && minor == 1) return 12;
    if (major == 5 && minor == 2) return 13;
    if (major == 6 && minor == 0) return 14;
    if (major == 6 && minor == 1) return server ? 16 : 15;
    if (major == 6 && minor == 2) return server ? 18 : 17;
    if (major == 7) return 17;
    return 0;
}

}  // namespace
}  // namespace wtsscope::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace wtsscope;
    using namespace wtsscope::fuzz;
    FuzzInput input(data, size);
    VersionRecord record = input.Take<VersionRecord>();
    // Small platform and version numbers reach the table's rows far more often than raw words do.
    const auto steer = input.Take<std::uint8_t>();
    if (steer & 1) record.dwPlatformId %= 4;
    if (steer & 2) record.dwMajorVersion %= 9;
    if (steer & 4) record.dwMinorVersion %= 100;
    if (steer & 8) record.wProductType %= 4;

    const std::int32_t code = ClassifyVersion(record);
    Check(code >= 0 && code <= 18);
    Check(code == Expected(record));

    // The size, build, service-pack numbers, reserved byte and the suite mask's high byte are
    // never read; neither is the service-pack field outside Windows 95-family records. The
    // service-pack numbers follow that field directly, so a read past an unterminated field shows
    // up here as a changed code.
    VersionRecord other = record;
    other.dwOSVersionInfoSize = input.Take<std::uint32_t>();
    other.dwBuildNumber = input.Take<std::uint32_t>();
    other.wServicePackMajor = input.Take<std::uint16_t>();
    other.wServicePackMinor = input.Take<std::uint16_t>();
    other.wReserved = input.Take<std::uint8_t>();
    other.wSuiteMask =
        static_cast<std::uint16_t>((record.wSuiteMask & 0xFF) | input.Take<std::uint8_t>() << 8);
    if (record.dwPlatformId != 1) std::memset(other.szCSDVersion, input.Take<char>(), 128);
    Check(ClassifyVersion(other) == code);
    return 0;
}
