#pragma once

// Reading what an enumeration hands back: records laid end to end in one block. Nothing here
// touches a window.

#include <cstddef>
#include <cstring>
#include <string_view>
#include <vector>

#include "platform/records.h"

namespace wtsscope {

// Whether count records of the given size starting at block fit in the address space, so that
// walking them cannot wrap around.
bool RecordsFitAddressSpace(const void* block, std::size_t count, std::size_t recordSize);

// A security identifier's own bytes (revision, count, authority, then the count's
// sub-authorities), which name the same account wherever they lie; none for a null or malformed
// identifier.
std::string_view IdentifierBytes(const void* sid);

// Copies the record at a position out of the block, as the platform laid it out.
template <class Record>
Record RecordAt(const void* block, std::size_t index) {
    Record record{};
    std::memcpy(&record, static_cast<const std::byte*>(block) + index * sizeof(Record),
                sizeof(Record));
    return record;
}

// Copies all records out of the block in one piece, in the platform's order.
template <class Record>
std::vector<Record> CopyRecords(const void* block, std::size_t count) {
    std::vector<Record> records(count);
    if (count != 0) std::memcpy(records.data(), block, count * sizeof(Record));
    return records;
}

}  // namespace wtsscope
