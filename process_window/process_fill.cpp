#include "process_window/process_fill.h"

#include <cstdint>

#include "platform/system_library.h"

namespace wtsscope {
namespace {

// The logical processors of every group. GetActiveProcessorCount exists from Windows 7 on and is
// looked up; before it a machine has one group, whose processors GetSystemInfo counts.
std::uint32_t LogicalProcessors() {
    using ActiveProcessorCount = DWORD(WINAPI*)(WORD group);
    static const auto activeProcessorCount = ExportOf<ActiveProcessorCount>(
        GetModuleHandleW(L"kernel32.dll"), "GetActiveProcessorCount");
    DWORD count = 0;
    if (activeProcessorCount) count = activeProcessorCount(ALL_PROCESSOR_GROUPS);
    if (count == 0) {
        SYSTEM_INFO system{};
        GetSystemInfo(&system);
        count = system.dwNumberOfProcessors;
    }
    return count == 0 ? 1 : count;
}

}  // namespace

void FillRows(ProcessTable& rows, const ProcessEnumeration& enumeration) {
    // Taken as near the enumeration as can be: the share of processor time divides by it.
    constexpr std::uint64_t kHundredNsPerMs = 10000;
    const FillTime time{GetTickCount64() * kHundredNsPerMs, LogicalProcessors()};
    const bool hasCosts = enumeration.HasCosts();
    rows.Reserve(enumeration.Size());
    for (std::size_t i = 0; i < enumeration.Size(); ++i) {
        const ProcessEntry process = enumeration.At(i);
        const ProcessCosts costs{.threads = process.threads,
                                 .handles = process.handles,
                                 .workingSet = process.workingSetSize,
                                 .peakWorkingSet = process.peakWorkingSetSize,
                                 .pagefileUsage = process.pagefileUsage,
                                 .processorTime = process.processorTime};
        // The same few hundred names and few dozen accounts come round again and again: the
        // model keeps each name once, and looks each account up once while the window is open.
        rows.Add({{.sessionId = static_cast<std::int32_t>(process.sessionId),
                   .processId = static_cast<std::int32_t>(process.processId)},
                  process.name,
                  process.sid,
                  hasCosts ? &costs : nullptr});
    }
    rows.Finish(hasCosts ? std::optional<FillTime>(time) : std::nullopt);
}

}  // namespace wtsscope
