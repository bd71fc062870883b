#include "process_window/key_order.h"

#include <algorithm>
#include <bit>
#include <numeric>

namespace wtsscope {

void OrderByKey(const std::vector<std::uint32_t>& keys, std::vector<std::uint32_t>& order,
                std::vector<std::uint32_t>& scratch) {
    // Least significant digit first: each pass is stable, so equal keys keep their positions'
    // order. Only the bits some keys differ in are sorted, in as few digits of at most twelve
    // bits as cover them: the ranks of names and accounts and the identifiers of a few thousand
    // sessions take one pass, process identifiers two. The first pass reads the positions in
    // order, so it needs no list of them; every pass leaves its order in order.
    constexpr int kMostBits = 12;
    const auto count = static_cast<std::uint32_t>(keys.size());
    order.resize(count);
    std::uint32_t differing = 0;
    for (const std::uint32_t key : keys) differing |= key ^ keys[0];
    if (differing == 0) {
        std::iota(order.begin(), order.end(), 0u);
        return;
    }
    const int lowest = std::countr_zero(differing);
    const int span = static_cast<int>(std::bit_width(differing)) - lowest;
    const int passCount = (span + kMostBits - 1) / kMostBits;
    const int bits = (span + passCount - 1) / passCount;
    const std::uint32_t mask = (1u << bits) - 1;
    const std::size_t buckets = std::size_t{1} << bits;
    std::vector<std::uint32_t> counts(buckets * static_cast<std::size_t>(passCount));
    for (const std::uint32_t key : keys)
        for (int pass = 0; pass < passCount; ++pass)
            ++counts[pass * buckets + ((key >> (lowest + bits * pass)) & mask)];

    // Each pass after the first scatters into scratch, with a slot left free after each bucket,
    // and copies the buckets back in order. Without the free slots, keys as dense as process
    // identifiers (each low digit met once per high digit) fill the buckets in step, and with
    // buckets a power of two apart the writes compete for a few sets of the cache.
    if (passCount > 1) scratch.resize(count + buckets);
    for (int pass = 0; pass < passCount; ++pass) {
        const int shift = lowest + bits * pass;
        const auto starts = counts.begin() + static_cast<std::ptrdiff_t>(pass * buckets);
        std::exclusive_scan(starts, starts + static_cast<std::ptrdiff_t>(buckets), starts, 0u);
        if (pass == 0) {
            for (std::uint32_t position = 0; position < count; ++position)
                order[starts[(keys[position] >> shift) & mask]++] = position;
            continue;
        }
        for (std::uint32_t bucket = 0; bucket < buckets; ++bucket) starts[bucket] += bucket;
        for (const std::uint32_t position : order)
            scratch[starts[(keys[position] >> shift) & mask]++] = position;
        auto out = order.begin();
        std::uint32_t begin = 0;
        for (std::uint32_t bucket = 0; bucket < buckets; ++bucket) {
            out = std::copy(scratch.begin() + begin, scratch.begin() + starts[bucket], out);
            begin = starts[bucket] + 1;
        }
    }
}

}  // namespace wtsscope
