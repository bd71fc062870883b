#include "process_window/key_order.h"

#include <array>
#include <numeric>

namespace wtsscope {

void OrderByKey(std::vector<std::uint64_t>& entries, std::vector<std::uint64_t>& scratch,
                std::vector<std::uint32_t>& order) {
    // Least significant digit first, eleven bits at a time: each pass is stable, so equal keys
    // keep their order. A digit that is the same in every key needs no pass, and keys below 2,048
    // (the ranks of names and accounts) need one. The last pass writes the positions out.
    constexpr int kBits = 11;
    constexpr int kDigits = 3;
    constexpr std::uint64_t kMask = (1u << kBits) - 1;
    const std::size_t count = entries.size();
    order.resize(count);
    std::array<std::array<std::uint32_t, 1u << kBits>, kDigits> counts{};
    for (const std::uint64_t entry : entries)
        for (int digit = 0; digit < kDigits; ++digit)
            ++counts[digit][(entry >> (32 + kBits * digit)) & kMask];
    std::array<int, kDigits> passes{};
    int passCount = 0;
    for (int digit = 0; digit < kDigits && count > 0; ++digit)
        if (counts[digit][(entries[0] >> (32 + kBits * digit)) & kMask] != count)
            passes[passCount++] = digit;
    if (passCount == 0) {
        for (std::size_t i = 0; i < count; ++i) order[i] = static_cast<std::uint32_t>(entries[i]);
        return;
    }
    scratch.resize(count);
    for (int pass = 0; pass < passCount; ++pass) {
        const int shift = 32 + kBits * passes[pass];
        std::array<std::uint32_t, 1u << kBits>& starts = counts[passes[pass]];
        std::exclusive_scan(starts.begin(), starts.end(), starts.begin(), 0u);
        if (pass + 1 == passCount) {
            for (const std::uint64_t entry : entries)
                order[starts[(entry >> shift) & kMask]++] = static_cast<std::uint32_t>(entry);
        } else {
            for (const std::uint64_t entry : entries)
                scratch[starts[(entry >> shift) & kMask]++] = entry;
            entries.swap(scratch);
        }
    }
}

}  // namespace wtsscope
