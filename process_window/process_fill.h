#pragma once

// A fill of the process window's model from one enumeration of the platform's.

#include "platform/platform.h"
#include "process_window/process_table.h"

namespace wtsscope {

// Adds every process of the enumeration, with its costs where it has them, and finishes the fill,
// timed when it had costs.
void FillRows(ProcessTable& rows, const ProcessEnumeration& enumeration);

}  // namespace wtsscope
