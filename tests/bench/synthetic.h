#pragma once

// A terminal server made up for timing: sessions of users running the same few hundred programs,
// some services, and now and then a program no other session runs. Deterministic for a count.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace wtsscope::bench {

struct SyntheticUser {
    std::string sid;  // string form
    std::string domain;
    std::string name;
};

struct SyntheticProcess {
    std::uint32_t sessionId;
    std::uint32_t processId;
    std::string name;       // 5 to 30 characters, ANSI
    std::size_t user;       // index into SyntheticUsers()
    std::wstring wideName;  // the name in UTF-16
    // What it costs, as the extended enumeration gives it.
    std::uint32_t threads = 0;
    std::uint32_t handles = 0;
    std::uint32_t workingSet = 0;  // bytes, as the memory figures
    std::uint32_t peakWorkingSet = 0;
    std::uint32_t pagefileUsage = 0;
    std::int64_t userTime = 0;  // 100 ns units
    std::int64_t kernelTime = 0;
};

struct SyntheticSession {
    std::uint32_t sessionId;
    std::string name;
    int state;
};

// A few dozen accounts: the three service accounts and the server's users.
const std::vector<SyntheticUser>& SyntheticUsers();

// The processes in the platform's order (the order they were started, not sorted by anything).
std::vector<SyntheticProcess> SyntheticProcesses(std::size_t count);

std::vector<SyntheticSession> SyntheticSessions(std::size_t count);

// A security identifier's string form ("S-1-5-21-...") as the platform lays it out in memory.
std::vector<unsigned char> SidBytes(const std::string& text);

// How many different names, ignoring nothing, the processes carry.
std::size_t DistinctNames(const std::vector<SyntheticProcess>& processes);

}  // namespace wtsscope::bench
