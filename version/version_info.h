#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace wtsscope {

// Asks the platform for the running Windows version, fills VersionInfo with its answer and returns
// its code. A platform that answers neither the extended nor the basic query gives 0, not
// recognised, and leaves the record as those queries left it.
std::int32_t GetVersionCode(const Platform& platform, VersionRecord& VersionInfo);

}  // namespace wtsscope
