// Reads session and process records out of an arbitrary block with an arbitrary count, as the two
// windows do: the count is checked against the address space and the block first, then every
// record is copied out and a session's text read when it lies in the block. The block is an
// allocation of exactly its size plus the zero byte the platform's last text ends in, so
// AddressSanitizer stops any read past it.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <string_view>
#include <type_traits>
#include <vector>

#include "platform/record_reader.h"
#include "platform/text.h"
#include "tests/fuzz/fuzz_input.h"

namespace wtsscope::fuzz {
namespace {

// What the address-space test must answer, in arithmetic that cannot overflow.
bool FitsByWideArithmetic(std::uintptr_t start, std::size_t count, std::size_t recordSize) {
    if (count == 0) return true;
    const unsigned __int128 end =
        static_cast<unsigned __int128>(start) + static_cast<unsigned __int128>(count) * recordSize;
    return end <= std::numeric_limits<std::uintptr_t>::max();
}

// Turns whatever bytes a pointer field holds into an address the platform could have written:
// null, somewhere in the block (its end included), or just outside it on either side.
char* AddressFor(std::uintptr_t raw, char* block, std::size_t size) {
    const std::uintptr_t base = reinterpret_cast<std::uintptr_t>(block);
    const std::uintptr_t pick = raw >> 2;
    switch (raw & 3) {
        case 0:
            return nullptr;
        case 3:
            return reinterpret_cast<char*>(pick & 1 ? base + size + (pick >> 1) % 4096
                                                    : base - 1 - (pick >> 1) % 4096);
        default:
            return reinterpret_cast<char*>(base + pick % (size + 1));
    }
}

// The text at an address as the read must give it: up to the first zero byte, which the block's
// terminator bounds; nothing for a null address. Addresses outside the block are not the
// platform's and are not read.
void CheckText(const char* address, const char* block, std::size_t size) {
    const auto at = reinterpret_cast<std::uintptr_t>(address);
    const auto begin = reinterpret_cast<std::uintptr_t>(block);
    if (address != nullptr && (at < begin || at > begin + size)) return;
    const std::string_view text = ReadAnsiText(address);
    if (address == nullptr) {
        Check(text.empty());
        return;
    }
    Check(text.data() == address);
    std::size_t length = 0;
    while (address[length] != '\0') ++length;
    Check(text.size() == length);
}

template <class Record>
void RewriteAddresses(char* block, std::size_t size, std::size_t count);

template <>
void RewriteAddresses<SessionRecord>(char* block, std::size_t size, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        SessionRecord record = RecordAt<SessionRecord>(block, i);
        record.pWinStationName =
            AddressFor(reinterpret_cast<std::uintptr_t>(record.pWinStationName), block, size);
        std::memcpy(block + i * sizeof(record), &record, sizeof(record));
    }
}

template <>
void RewriteAddresses<ExtendedProcessRecord>(char* block, std::size_t size, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        auto record = RecordAt<ExtendedProcessRecord>(block, i);
        record.pProcessName = reinterpret_cast<wchar_t*>(
            AddressFor(reinterpret_cast<std::uintptr_t>(record.pProcessName), block, size));
        record.pUserSid =
            AddressFor(reinterpret_cast<std::uintptr_t>(record.pUserSid), block, size);
        std::memcpy(block + i * sizeof(record), &record, sizeof(record));
    }
}

template <class Record>
void ReadBlock(std::size_t count, bool nearCapacity, const std::uint8_t* bytes, std::size_t size) {
    // Exactly the block's size and its terminator, so a read one byte past them is caught.
    const std::unique_ptr<char[]> storage(new char[size + 1]);
    char* const block = storage.get();
    if (size != 0) std::memcpy(block, bytes, size);
    block[size] = '\0';
    const std::size_t capacity = size / sizeof(Record);
    RewriteAddresses<Record>(block, size, capacity);
    // Most counts are far too large; these stay around what the block holds, one past it included.
    if (nearCapacity) count %= capacity + 2;

    const bool fits = RecordsFitAddressSpace(block, count, sizeof(Record));
    Check(fits ==
          FitsByWideArithmetic(reinterpret_cast<std::uintptr_t>(block), count, sizeof(Record)));
    // A count the block cannot hold is refused before anything is read, as the platform layer
    // refuses one that runs past the buffer's pages.
    if (!fits || count > capacity) return;

    const std::vector<Record> records = CopyRecords<Record>(block, count);
    Check(records.size() == count);
    for (std::size_t i = 0; i < count; ++i) {
        const Record single = RecordAt<Record>(block, i);
        Check(std::memcmp(&single, &records[i], sizeof(Record)) == 0);
        // Process names are the platform's UTF-16, read by the standard library alone.
        if constexpr (std::is_same_v<Record, SessionRecord>)
            CheckText(records[i].pWinStationName, block, size);
    }
}

}  // namespace
}  // namespace wtsscope::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace wtsscope;
    using namespace wtsscope::fuzz;
    FuzzInput input(data, size);
    const auto selector = input.Take<std::uint8_t>();
    // The platform hands back a 32-bit count; wider ones exercise the address-space test itself.
    std::size_t count = input.Take<std::uint32_t>();
    if (selector & 2) count |= static_cast<std::size_t>(input.Take<std::uint32_t>()) << 32;

    // Any address at all, with any count and record size: the test must agree with exact
    // arithmetic and must not touch the memory.
    const auto anywhere = input.Take<std::uintptr_t>();
    const auto anySize = input.Take<std::uint16_t>();
    Check(RecordsFitAddressSpace(reinterpret_cast<const void*>(anywhere), count, anySize) ==
          FitsByWideArithmetic(anywhere, count, anySize));

    if (selector & 1)
        ReadBlock<ExtendedProcessRecord>(count, selector & 4, input.Rest(), input.Remaining());
    else
        ReadBlock<SessionRecord>(count, selector & 4, input.Rest(), input.Remaining());
    return 0;
}
