#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/records.h"
#include "platform/text.h"

namespace wtsscope {

// One session of a listing, copied out of the platform's buffer.
struct Session {
    std::int32_t SessionId;
    std::wstring WinStationName;
    std::int32_t State;
};

// The listing's lines: four per session in order, then the version line.
std::vector<std::wstring> SessionReportLines(const std::vector<Session>& sessions,
                                             const VersionRecord& version);

}  // namespace wtsscope
