#include "process_window/key_order.h"

#include <array>
#include <numeric>

namespace wtsscope {

void OrderByKey(const std::vector<std::uint32_t>& keys, std::vector<std::uint32_t>& order,
                std::vector<std::uint32_t>& scratch) {
    // Least significant digit first, eleven bits at a time: each pass is stable, so equal keys
    // keep their positions' order. A digit that is the same in every key needs no pass, and keys
    // below 2,048 (the ranks of names and accounts) need one. The first pass reads the positions
    // in order, so it needs no list of them; the last one writes the order out.
    constexpr int kBits = 11;
    constexpr int kDigits = 3;
    constexpr std::uint32_t kMask = (1u << kBits) - 1;
    const auto count = static_cast<std::uint32_t>(keys.size());
    order.resize(count);
    std::uint32_t differing = 0;
    for (const std::uint32_t key : keys) differing |= key ^ keys[0];
    std::array<int, kDigits> passes{};
    int passCount = 0;
    for (int digit = 0; digit < kDigits; ++digit)
        if ((differing >> (kBits * digit)) & kMask) passes[passCount++] = digit;
    if (passCount == 0) {
        std::iota(order.begin(), order.end(), 0u);
        return;
    }
    std::array<std::array<std::uint32_t, 1u << kBits>, kDigits> counts{};
    for (const std::uint32_t key : keys)
        for (int pass = 0; pass < passCount; ++pass)
            ++counts[pass][(key >> (kBits * passes[pass])) & kMask];
    // Passes alternate between the two lists so that the last one ends in order.
    if (passCount > 1) scratch.resize(count);
    std::vector<std::uint32_t>* from = nullptr;
    std::vector<std::uint32_t>* to = passCount % 2 == 0 ? &scratch : &order;
    for (int pass = 0; pass < passCount; ++pass) {
        const int shift = kBits * passes[pass];
        std::array<std::uint32_t, 1u << kBits>& starts = counts[pass];
        std::exclusive_scan(starts.begin(), starts.end(), starts.begin(), 0u);
        std::uint32_t* out = to->data();
        if (from == nullptr) {
            for (std::uint32_t position = 0; position < count; ++position)
                out[starts[(keys[position] >> shift) & kMask]++] = position;
        } else {
            for (const std::uint32_t position : *from)
                out[starts[(keys[position] >> shift) & kMask]++] = position;
        }
        from = to;
        to = to == &order ? &scratch : &order;
    }
}

}  // namespace wtsscope
