#pragma once

// Numbers byte strings with a hash set of its own, one of the two hand-written structures of the
// process model.
//
// Why not std::unordered_map: every row of a refresh looks up its name, and its account's
// identifier where it differs from its session's last one. Measured through the window under
// Wine at 100,000 processes, one run of each build on the same machine, a refresh cost 2.52 times
// the floor (enumerating and converting every name) with std::unordered_map<std::string,
// std::uint32_t> looked up by string_view (transparent std::hash, reserved at twice the keys),
// and 2.60 to 2.95 times while sorted, where the target is 2; with this set 1.82, and 1.93 to
// 1.96 while sorted. A map lookup goes from its bucket to a node, and from the node to the key's
// bytes; this probes one slot of a flat array, and compares the bytes, kept end to end, only
// when the slot's hash matches.

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
    // Whether the number is the string's.
    bool Holds(std::uint32_t number, std::string_view key) const;
    std::string_view Key(std::uint32_t number) const;
    void Clear();

  private:
    static std::uint64_t Hash(std::string_view key);
    void Grow();

    // Every key end to end, and where each ends: a probe reads one small array and the bytes,
    // never a string object of its own.
    std::string bytes_;
    std::vector<std::uint32_t> ends_;
    // Open addressing: the high half holds the hash's high bits, the low half the number plus 1;
    // 0 is an empty slot.
    std::vector<std::uint64_t> slots_;
};

}  // namespace wtsscope
