#include "tests/bench/synthetic.h"

#include <algorithm>
#include <array>
#include <numeric>
#include <string_view>
#include <unordered_set>

namespace wtsscope::bench {
namespace {

// splitmix64: the same sequence on every compiler, unlike the standard distributions.
class Random {
  public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::size_t Below(std::size_t bound) { return static_cast<std::size_t>(Next() % bound); }

  private:
    std::uint64_t state_;
};

template <class T>
void Shuffle(std::vector<T>& items, std::size_t from, Random& random) {
    for (std::size_t i = items.size(); i > from + 1; --i)
        std::swap(items[i - 1], items[from + random.Below(i - from)]);
}

constexpr std::size_t kSystem = 0;
constexpr std::size_t kLocalService = 1;
constexpr std::size_t kNetworkService = 2;
constexpr std::size_t kServiceAccounts = 3;
constexpr std::size_t kPeople = 33;

constexpr std::array<std::string_view, 14> kServices{
    "svchost.exe",       "svchost.exe",  "svchost.exe",     "svchost.exe",  "svchost.exe",
    "svchost.exe",       "spoolsv.exe",  "MsMpEng.exe",     "WmiPrvSE.exe", "dllhost.exe",
    "SearchIndexer.exe", "vmtoolsd.exe", "TermService.exe", "msdtc.exe"};

// What every desktop session starts, under the session's user unless said otherwise.
constexpr std::array<std::string_view, 13> kDesktop{"explorer.exe",
                                                    "rdpclip.exe",
                                                    "sihost.exe",
                                                    "taskhostw.exe",
                                                    "ctfmon.exe",
                                                    "RuntimeBroker.exe",
                                                    "RuntimeBroker.exe",
                                                    "ShellExperienceHost.exe",
                                                    "StartMenuExperienceHost.exe",
                                                    "TextInputHost.exe",
                                                    "SearchApp.exe",
                                                    "conhost.exe",
                                                    "smartscreen.exe"};

constexpr std::array<std::string_view, 22> kApplications{
    "chrome.exe",   "chrome.exe",  "chrome.exe",  "chrome.exe",       "msedge.exe",  "msedge.exe",
    "OUTLOOK.EXE",  "WINWORD.EXE", "EXCEL.EXE",   "POWERPNT.EXE",     "Teams.exe",   "AcroRd32.exe",
    "notepad.exe",  "mstsc.exe",   "Code.exe",    "javaw.exe",        "firefox.exe", "OneDrive.exe",
    "saplogon.exe", "Zoom.exe",    "mspaint.exe", "CalculatorApp.exe"};

// Line-of-business programs: a vendor, a subject and a role, a few hundred in all.
constexpr std::array<std::string_view, 12> kVendors{"Contoso",
                                                    "Fabrikam",
                                                    "Northwind",
                                                    "Tailspin",
                                                    "Litware",
                                                    "Adatum",
                                                    "Wingtip",
                                                    "Proseware",
                                                    "Lucerne",
                                                    "Margie",
                                                    "R\xE9seau",
                                                    "\xDC"
                                                    "bersee"};
constexpr std::array<std::string_view, 10> kSubjects{
    "Ledger", "Payroll", "Dispatch", "Claims", "Stock", "Billing", "Lab", "CRM", "Scan", "Archive"};
constexpr std::array<std::string_view, 5> kRoles{"Client", "Agent", "Viewer", "Sync", ""};

std::string LineOfBusiness(Random& random) {
    std::string name(kVendors[random.Below(kVendors.size())]);
    name += kSubjects[random.Below(kSubjects.size())];
    name += kRoles[random.Below(kRoles.size())];
    name += random.Below(4) == 0 ? ".EXE" : ".exe";
    return name;
}

// A program only one session runs: an installer's or updater's temporary copy.
std::string OneOff(Random& random) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string name = random.Below(2) ? "setup_" : "~upd";
    const std::size_t digits = 4 + random.Below(12);
    for (std::size_t i = 0; i < digits; ++i) name += kHex[random.Below(16)];
    name += random.Below(2) ? ".tmp" : ".exe";
    return name;
}

}  // namespace

const std::vector<SyntheticUser>& SyntheticUsers() {
    static const std::vector<SyntheticUser> users = [] {
        std::vector<SyntheticUser> list{{"S-1-5-18", "NT AUTHORITY", "SYSTEM"},
                                        {"S-1-5-19", "NT AUTHORITY", "LOCAL SERVICE"},
                                        {"S-1-5-20", "NT AUTHORITY", "NETWORK SERVICE"}};
        static constexpr std::array<std::string_view, 11> kGiven{
            "ann", "bo", "chidi", "dagny", "emre", "fatima", "gus", "hana", "ivo", "jun", "kai"};
        static constexpr std::array<std::string_view, 3> kFamily{"lindqvist", "okafor", "moreau"};
        for (std::size_t i = 0; i < kPeople; ++i) {
            const std::string name = std::string(kGiven[i % kGiven.size()]) + "." +
                                     std::string(kFamily[i / kGiven.size()]);
            list.push_back({"S-1-5-21-3623811015-3361044348-30300820-" + std::to_string(1013 + i),
                            i % 4 == 3 ? "LAB" : "CONTOSO", name});
        }
        return list;
    }();
    return users;
}

std::vector<SyntheticProcess> SyntheticProcesses(std::size_t count) {
    Random random(0x5E55'1011u + count);
    std::vector<SyntheticProcess> processes;
    processes.reserve(count);
    const auto add = [&](std::uint32_t session, std::string_view name, std::size_t user) {
        if (processes.size() < count)
            processes.push_back(
                {session, 0, std::string(name), user, std::wstring(name.begin(), name.end())});
    };

    // The services come up first, in session 0.
    add(0, "System", kSystem);
    for (std::string_view name :
         {"smss.exe", "csrss.exe", "wininit.exe", "services.exe", "lsass.exe", "fontdrvhost.exe"})
        add(0, name, kSystem);
    for (int round = 0; round < 5; ++round)
        for (std::size_t i = 0; i < kServices.size(); ++i)
            add(0, kServices[i],
                i % 3 == 0   ? kSystem
                : i % 3 == 1 ? kLocalService
                             : kNetworkService);
    const std::size_t started = processes.size();

    std::vector<std::string> lineOfBusiness;
    for (int i = 0; i < 300; ++i) lineOfBusiness.push_back(LineOfBusiness(random));

    for (std::uint32_t session = 1; processes.size() < count; ++session) {
        const std::size_t user = kServiceAccounts + (session - 1) % kPeople;
        add(session, "csrss.exe", kSystem);
        add(session, "winlogon.exe", kSystem);
        add(session, "dwm.exe", kSystem);
        for (std::string_view name : kDesktop) add(session, name, user);
        const std::size_t applications = 15 + random.Below(25);
        for (std::size_t i = 0; i < applications; ++i) {
            const std::size_t pick = random.Below(100);
            if (pick < 60)
                add(session, kApplications[random.Below(kApplications.size())], user);
            else if (pick < 98)
                add(session, lineOfBusiness[random.Below(lineOfBusiness.size())], user);
            else
                add(session, OneOff(random), user);
        }
    }

    // Sessions log on and start programs at the same time: the platform's order interleaves them.
    Shuffle(processes, std::min(started, processes.size()), random);
    // Identifiers are distinct multiples of four, in no order; System's is 4.
    std::vector<std::uint32_t> ids(processes.size());
    std::iota(ids.begin(), ids.end(), 2u);
    Shuffle(ids, 0, random);
    for (std::size_t i = 0; i < processes.size(); ++i) processes[i].processId = ids[i] * 4;
    if (!processes.empty()) processes[0].processId = 4;
    // Costs spread over orders of magnitude, as a server's are: a few processes weigh the most.
    for (SyntheticProcess& process : processes) {
        const auto scale = static_cast<std::uint32_t>(1u << random.Below(12));
        process.threads = 1 + static_cast<std::uint32_t>(random.Below(8)) * scale / 64;
        process.handles = 20 + static_cast<std::uint32_t>(random.Below(400)) * scale / 16;
        process.workingSet = 4096 * (64 + static_cast<std::uint32_t>(random.Below(256)) * scale);
        process.peakWorkingSet =
            process.workingSet + 4096 * static_cast<std::uint32_t>(random.Below(4096));
        process.pagefileUsage =
            process.workingSet / 2 + 4096 * static_cast<std::uint32_t>(random.Below(1024));
        process.userTime = static_cast<std::int64_t>(random.Below(100000)) * scale * 1000;
        process.kernelTime = process.userTime / 3;
    }
    return processes;
}

std::vector<SyntheticSession> SyntheticSessions(std::size_t count) {
    Random random(0x5E55'1012u + count);
    std::vector<SyntheticSession> sessions;
    sessions.reserve(count);
    constexpr int kActive = 0, kDisconnected = 4, kListen = 6;
    if (count > 0) sessions.push_back({0, "Services", kDisconnected});
    if (count > 1) sessions.push_back({1, "Console", kActive});
    for (std::uint32_t id = 2; sessions.size() + 1 < count; ++id) {
        const bool connected = random.Below(5) != 0;
        sessions.push_back({id, connected ? "RDP-Tcp#" + std::to_string(id + 40) : "",
                            connected ? kActive : kDisconnected});
    }
    if (count > 2) sessions.push_back({65536, "RDP-Tcp", kListen});
    return sessions;
}

std::vector<unsigned char> SidBytes(const std::string& text) {
    // S-revision-authority-sub-authority...: the authority in six bytes, most significant first,
    // then each sub-authority in four, least significant first.
    std::vector<std::uint64_t> parts;
    for (std::size_t at = 2; at <= text.size();) {
        const std::size_t end = std::min(text.find('-', at), text.size());
        parts.push_back(std::stoull(text.substr(at, end - at)));
        at = end + 1;
    }
    std::vector<unsigned char> sid{static_cast<unsigned char>(parts[0]),
                                   static_cast<unsigned char>(parts.size() - 2)};
    for (int shift = 40; shift >= 0; shift -= 8)
        sid.push_back(static_cast<unsigned char>(parts[1] >> shift));
    for (std::size_t i = 2; i < parts.size(); ++i)
        for (int shift = 0; shift < 32; shift += 8)
            sid.push_back(static_cast<unsigned char>(parts[i] >> shift));
    return sid;
}

std::size_t DistinctNames(const std::vector<SyntheticProcess>& processes) {
    std::unordered_set<std::string_view> names;
    for (const SyntheticProcess& process : processes) names.insert(process.name);
    return names.size();
}

}  // namespace wtsscope::bench
