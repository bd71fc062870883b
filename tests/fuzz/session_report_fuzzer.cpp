// Builds the session listing's lines from arbitrary sessions and an arbitrary version record and
// checks every line against the report's format: four lines per session in order, names whole
// whatever they hold, numbers as signed 32-bit decimals, then the version line.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "main_window/session_report.h"
#include "tests/fuzz/fuzz_input.h"

namespace wtsscope::fuzz {
namespace {

// The decimal text of a signed 32-bit value, by the C library rather than the program.
std::wstring Decimal(std::uint32_t bits) {
    char text[16];
    const int length = std::snprintf(text, sizeof(text), "%d", static_cast<std::int32_t>(bits));
    return std::wstring(text, text + length);
}

}  // namespace
}  // namespace wtsscope::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace wtsscope;
    using namespace wtsscope::fuzz;
    FuzzInput input(data, size);
    const auto version = input.Take<VersionRecord>();

    std::vector<Session> sessions;
    const std::size_t count = input.Take<std::uint8_t>();
    for (std::size_t i = 0; i < count && !input.Empty(); ++i) {
        Session session{input.Take<std::int32_t>(), {}, input.Take<std::int32_t>()};
        // Names are UTF-16 code units of any value, embedded zeros and lone surrogates included.
        const std::string units = input.TakeBytes(255);
        for (std::size_t at = 0; at + 1 < units.size(); at += 2)
            session.WinStationName.push_back(
                static_cast<wchar_t>(static_cast<std::uint8_t>(units[at]) |
                                     static_cast<std::uint8_t>(units[at + 1]) << 8));
        sessions.push_back(std::move(session));
    }

    const std::vector<std::wstring> lines = SessionReportLines(sessions, version);
    Check(lines.size() == sessions.size() * 4 + 1);
    for (std::size_t i = 0; i < sessions.size(); ++i) {
        const Session& session = sessions[i];
        Check(lines[i * 4] ==
              L"Session ID: " + Decimal(static_cast<std::uint32_t>(session.SessionId)));
        Check(lines[i * 4 + 1] == L"Machine Name: " + session.WinStationName);
        Check(lines[i * 4 + 2] ==
              L"Connect State: " + Decimal(static_cast<std::uint32_t>(session.State)));
        Check(lines[i * 4 + 3] == L"***********");
    }
    Check(lines.back() == L"dwMajorVersion: " + Decimal(version.dwMajorVersion) + L"." +
                              Decimal(version.dwMinorVersion) + L"." +
                              Decimal(version.dwBuildNumber));
    return 0;
}
