#pragma once

#include <cstdint>

#include "platform/records.h"

namespace wtsscope {

// Reduces a version record to the program's version code, 0 to 18; 0 means not recognised.
std::int32_t ClassifyVersion(const VersionRecord& record);

}  // namespace wtsscope
