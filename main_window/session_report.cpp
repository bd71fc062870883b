#include "main_window/session_report.h"

namespace wtsscope {

std::vector<std::wstring> SessionReportLines(const std::vector<Session>& sessions,
                                             const VersionRecord& version) {
    std::vector<std::wstring> lines;
    lines.reserve(sessions.size() * 4 + 1);
    for (const Session& session : sessions) {
        lines.push_back(L"Session ID: " + DecimalText(session.SessionId));
        lines.push_back(L"Machine Name: " + session.WinStationName);
        lines.push_back(L"Connect State: " + DecimalText(session.State));
        lines.push_back(L"***********");
    }
    lines.push_back(L"dwMajorVersion: " +
                    DecimalText(static_cast<std::int32_t>(version.dwMajorVersion)) + L"." +
                    DecimalText(static_cast<std::int32_t>(version.dwMinorVersion)) + L"." +
                    DecimalText(static_cast<std::int32_t>(version.dwBuildNumber)));
    return lines;
}

}  // namespace wtsscope
