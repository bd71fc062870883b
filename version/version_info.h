#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace wtsscope {

// What the platform last reported about the running Windows version; all zero until asked.
extern VersionRecord VersionInfo;

// Asks the platform for the version, keeps the answer in VersionInfo and returns its code.
// A platform that answers neither the extended nor the basic query gives 0, not recognised.
std::int32_t GetVersionCode(const Platform& platform);

}  // namespace wtsscope
