#pragma once

// Numbers byte strings with a hash set of its own, one of the two hand-written structures of the
// process model.
//
// Why not std::unordered_map: every row of a refresh looks up its name and its account's
// identifier, two lookups per row. Measured through the window under Wine at 100,000 processes,
// std::unordered_map<std::string, std::uint32_t> with a transparent word-at-a-time hash, lookups by
// string_view and four buckets a key made a refresh cost 2.07 to 2.13 times the floor (enumerating
// and converting every name), where the target is 2; this set keeps it at about 1.7. The model
// alone took 3.9 ms to fill with the map against 3.2 ms with this: a map lookup divides by the
// bucket count and walks three nodes before it meets the key's bytes, where this probes one slot
// and compares the bytes only when the slot's hash matches.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace wtsscope {

// Numbers distinct byte strings from 0 in the order they are first seen, and keeps them. A lookup
// hashes the string once and compares it in full only with a string of the same hash.
class KeyNumbers {
  public:
    // The string's number: its old one, or the next one if it is new.
    std::uint32_t Number(std::string_view key);
    std::size_t Size() const { return ends_.size(); }
    // Whether the number is the string's.
    bool Holds(std::uint32_t number, std::string_view key) const;
    void Clear();

  private:
    static std::uint64_t Hash(std::string_view key);
    void Grow();

    std::string_view Key(std::uint32_t number) const;

    // Every key end to end, and where each ends: a probe reads one small array and the bytes,
    // never a string object of its own.
    std::string bytes_;
    std::vector<std::uint32_t> ends_;
    // Open addressing: the high half holds the hash's high bits, the low half the number plus 1;
    // 0 is an empty slot.
    std::vector<std::uint64_t> slots_;
};

}  // namespace wtsscope
