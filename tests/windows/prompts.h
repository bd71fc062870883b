#pragma once

// The prompts of the two error boxes, word for word as the user reads them, two blanks included.

namespace wtsscope::testing {

inline constexpr wchar_t kSessionsPrompt[] =
    L"Error occurred calling WTSEnumerateSessionsA.  Check the Platform SDK error codes in the "
    L"MSDN Documentation for more information.";
inline constexpr wchar_t kProcessesPrompt[] =
    L"Error occurred calling WTSEnumerateProcesses.  Check the Platform SDK error codes in the "
    L"MSDN Documentation for more information.";

}  // namespace wtsscope::testing
