#include "platform/local_authority.h"
#include "platform/record_reader.h"
#include "platform/text.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <new>
#include <string>

// Every allocation of the program's own code is counted, where a test asks that there be none. A
// replaced operator new can only take its memory from the C heap.
namespace {
std::size_t allocations = 0;
}  // namespace

void* operator new(std::size_t size) {
    ++allocations;
    if (void* block = std::malloc(size == 0 ? 1 : size)) return block;  // NOLINT(*-no-malloc)
    throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    ++allocations;
    return std::malloc(size == 0 ? 1 : size);  // NOLINT(*-no-malloc)
}
void operator delete(void* block) noexcept { std::free(block); }  // NOLINT(*-no-malloc)
void operator delete(void* block, std::size_t) noexcept {
    std::free(block);  // NOLINT(*-no-malloc)
}

namespace wtsscope {
namespace {

TEST(ReadAnsiText, TrustedTextsRunToTheirTerminator) {
    EXPECT_EQ(ReadAnsiText(nullptr), "");
    EXPECT_EQ(ReadAnsiText(""), "");
    EXPECT_EQ(ReadAnsiText("RDP-Tcp#12"), "RDP-Tcp#12");
    const std::string longName(5000, 'x');
    EXPECT_EQ(ReadAnsiText(longName.c_str()).size(), 5000u);
    const char bytes[] = "caf\xE9\x81\x40";
    EXPECT_EQ(ReadAnsiText(bytes), std::string_view(bytes, 6));
}

TEST(Records, CopiedInThePlatformsOrderAtThisPointerWidth) {
    char services[] = "Services";
    char console[] = "Console";
    SessionRecord block[2]{};
    block[0].pWinStationName = services;
    block[0].State = static_cast<decltype(SessionRecord::State)>(4);
    block[1].SessionId = 1;
    block[1].pWinStationName = console;
    const auto records = CopyRecords<SessionRecord>(block, 2);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1].SessionId, 1u);
    EXPECT_EQ(records[1].pWinStationName, console);
    EXPECT_EQ(records[0].State, 4);
    EXPECT_TRUE(CopyRecords<SessionRecord>(nullptr, 0).empty());

    wchar_t name[] = L"svchost.exe";
    const ProcessRecord processes[] = {{0, 4, nullptr, nullptr}, {1, 500, name, nullptr}};
    const auto second = RecordAt<ProcessRecord>(processes, 1);
    EXPECT_EQ(second.SessionId, 1u);
    EXPECT_EQ(second.ProcessId, 500u);
    EXPECT_EQ(second.pProcessName, name);
}

TEST(Records, CountsThatCannotFitTheAddressSpaceAreRefused) {
    const auto max = std::numeric_limits<std::size_t>::max();
    int block = 0;
    EXPECT_TRUE(RecordsFitAddressSpace(&block, 0, sizeof(ProcessRecord)));
    EXPECT_TRUE(RecordsFitAddressSpace(&block, 1000, sizeof(ProcessRecord)));
    EXPECT_FALSE(
        RecordsFitAddressSpace(&block, max / sizeof(ProcessRecord) + 1, sizeof(ProcessRecord)));
    // Fits by multiplication but would run past the top of the address space.
    EXPECT_FALSE(
        RecordsFitAddressSpace(&block, max / sizeof(ProcessRecord), sizeof(ProcessRecord)));
    EXPECT_TRUE(
        RecordsFitAddressSpace(nullptr, max / sizeof(SessionRecord), sizeof(SessionRecord)));
}

// An identifier's bytes as the platform lays a SID out: the authority most significant byte first,
// the sub-authorities as 32-bit numbers.
std::string Identifier(std::uint64_t authority,
                       std::initializer_list<std::uint32_t> subAuthorities) {
    std::string bytes(offsetof(IdentifierRecord, SubAuthority), '\0');
    bytes[offsetof(IdentifierRecord, Revision)] = static_cast<char>(kIdentifierRevision);
    bytes[offsetof(IdentifierRecord, SubAuthorityCount)] = static_cast<char>(subAuthorities.size());
    for (int i = 0; i < 6; ++i)
        bytes[offsetof(IdentifierRecord, IdentifierAuthority) + i] =
            static_cast<char>(authority >> (8 * (5 - i)));
    for (const std::uint32_t value : subAuthorities) {
        char word[sizeof(value)];
        std::memcpy(word, &value, sizeof(value));
        bytes.append(word, sizeof(word));
    }
    return bytes;
}

TEST(Identifiers, TheSystemNamesTheWellKnownAndTheMachinesOwnAccountsWithoutADomainController) {
    const std::string machine = Identifier(5, {21, 11, 22, 33});
    const struct {
        const char* what;
        std::string identifier;
        std::string_view accountDomain;
        bool local;
    } cases[] = {
        {"S-1-5-18", Identifier(5, {18}), machine, true},
        {"S-1-5-5-0-1, a logon session", Identifier(5, {5, 0, 1}), machine, true},
        {"S-1-5-32-544", Identifier(5, {32, 544}), machine, true},
        {"S-1-5-80-...",
         Identifier(5, {80, 956008885, 3418522649u, 1831038044, 1853292631, 2271478464u}), machine,
         true},
        {"S-1-5-90-0-2", Identifier(5, {90, 0, 2}), machine, true},
        {"S-1-5-96-0-1", Identifier(5, {96, 0, 1}), machine, true},
        {"S-1-5-82-..., an application pool", Identifier(5, {82, 1, 2, 3, 4, 5}), machine, true},
        {"S-1-5-83-0", Identifier(5, {83, 0}), machine, true},
        {"S-1-5-84-0-0-0-0-0", Identifier(5, {84, 0, 0, 0, 0, 0}), machine, true},
        {"S-1-5-113", Identifier(5, {113}), machine, true},
        {"S-1-5-114", Identifier(5, {114}), machine, true},
        {"S-1-5-113-1, no such group", Identifier(5, {113, 1}), machine, false},
        {"S-1-5-85-..., not among them", Identifier(5, {85, 1, 2}), machine, false},
        {"S-1-0-0", Identifier(0, {0}), machine, true},
        {"S-1-1-0", Identifier(1, {0}), machine, true},
        {"S-1-3-4", Identifier(3, {4}), machine, true},
        {"the machine's administrator", Identifier(5, {21, 11, 22, 33, 500}), machine, true},
        {"the machine's, its domain unknown", Identifier(5, {21, 11, 22, 33, 500}), "", false},
        {"a domain's user", Identifier(5, {21, 7, 8, 9, 1001}), machine, false},
        {"another domain, same length", Identifier(5, {21, 11, 22, 34, 500}), machine, false},
        {"below the machine's", Identifier(5, {21, 11, 22, 33, 500, 1}), machine, false},
        {"S-1-5-21", Identifier(5, {21}), machine, false},
        {"S-1-5, no sub-authority", Identifier(5, {}), machine, false},
        {"S-1-5-64-10, not among them", Identifier(5, {64, 10}), machine, false},
        {"S-1-16-12288, another authority", Identifier(16, {12288}), machine, false},
        {"an authority beyond a byte", Identifier(0x10000000005, {18}), machine, false},
        {"cut short", Identifier(5, {18}).substr(0, 6), machine, false},
        {"fewer sub-authorities than counted", Identifier(5, {32, 544}).substr(0, 12), machine,
         false},
    };
    // Deciding allocates nothing, so running out of memory cannot stop it half-way.
    for (const auto& at : cases) {
        const std::size_t before = allocations;
        EXPECT_EQ(NamedLocally(at.identifier, at.accountDomain), at.local) << at.what;
        EXPECT_EQ(allocations, before) << at.what;
    }
}

}  // namespace
}  // namespace wtsscope
