#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <set>

#include "tests/fakes/fake_internal.h"

namespace wtsscope::testing {

using namespace fake_detail;

namespace {

// An identifier's string form ("S-1-5-18"), empty where it has none.
std::string SidText(PSID sid) {
    LPSTR text = nullptr;
    if (!ConvertSidToStringSidA(sid, &text)) return {};
    std::string result(text);
    LocalFree(text);
    return result;
}

constexpr NTSTATUS kStatusSomeNotMapped = 0x00000107;
constexpr NTSTATUS kStatusNoneMapped = static_cast<NTSTATUS>(0xC0000073);
constexpr NTSTATUS kStatusInvalidHandle = static_cast<NTSTATUS>(0xC0000008);
constexpr NTSTATUS kStatusInvalidParameter = static_cast<NTSTATUS>(0xC000000D);

template <class Call>
NTSTATUS WithLookupLock(Call call) {
    std::unique_lock lock(lookups);
    if (current == nullptr) return kStatusInvalidHandle;
    return call(*current, lock);
}

}  // namespace

namespace fake_detail {

BOOL WINAPI FakeConvertSidToStringSidW(PSID sid, LPWSTR* text) {
    return current->SidToText(sid, text);
}

NTSTATUS NTAPI FakeLsaOpenPolicy(PLSA_UNICODE_STRING, PLSA_OBJECT_ATTRIBUTES, ACCESS_MASK,
                                 PLSA_HANDLE policy) {
    return WithLookupLock([&](FakePlatform& fake, auto&) { return fake.OpenPolicy(policy); });
}

NTSTATUS NTAPI FakeLsaLookupSids(LSA_HANDLE, ULONG count, PSID* sids,
                                 PLSA_REFERENCED_DOMAIN_LIST* domains,
                                 PLSA_TRANSLATED_NAME* names) {
    return WithLookupLock([&](FakePlatform& fake, std::unique_lock<std::mutex>& lock) {
        return fake.LookupSids(lock, count, sids, domains, names);
    });
}

NTSTATUS NTAPI FakeLsaQueryInformationPolicy(LSA_HANDLE, POLICY_INFORMATION_CLASS kind,
                                             PVOID* buffer) {
    return WithLookupLock([&](FakePlatform& fake, std::unique_lock<std::mutex>& lock) {
        return fake.QueryPolicy(lock, kind, buffer);
    });
}

uintptr_t __cdecl FakeBeginThreadEx(void* security, unsigned stackSize,
                                    _beginthreadex_proc_type start, void* argument, unsigned flags,
                                    unsigned* id) {
    if (current->threadFailure) {
        SetLastError(*current->threadFailure);
        errno = EAGAIN;
        return 0;
    }
    return _beginthreadex(security, stackSize, start, argument, flags, id);
}

// Posted by the lookups' thread, which may outlive the test's fake.
BOOL WINAPI FakePostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    {
        const std::lock_guard lock(lookups);
        if (current != nullptr && current->refusedPosts > 0) {
            --current->refusedPosts;
            SetLastError(ERROR_NOT_ENOUGH_QUOTA);
            return FALSE;
        }
    }
    return PostMessageW(window, message, wParam, lParam);
}

NTSTATUS NTAPI FakeLsaFreeMemory(PVOID buffer) {
    return WithLookupLock([&](FakePlatform& fake, auto&) { return fake.FreeLsaMemory(buffer); });
}

NTSTATUS NTAPI FakeLsaClose(LSA_HANDLE policy) {
    return WithLookupLock([&](FakePlatform& fake, auto&) { return fake.ClosePolicy(policy); });
}

}  // namespace fake_detail

BOOL FakePlatform::SidToText(PSID sid, LPWSTR* text) {
    if (sidTextFailure) {
        SetLastError(*sidTextFailure);
        return FALSE;
    }
    return ConvertSidToStringSidW(sid, text);
}

void FakePlatform::HoldLookups() {
    const std::lock_guard lock(lookups);
    holding_ = true;
}

void FakePlatform::ReleaseLookups(std::optional<int> count) {
    const std::lock_guard lock(lookups);
    if (count)
        releasedUpTo_ += *count;
    else
        holding_ = false;
    lookupChanged_.notify_all();
}

int FakePlatform::HeldLookups() const {
    const std::lock_guard lock(lookups);
    return held_;
}

bool FakePlatform::HoldingLookups() const {
    const std::lock_guard lock(lookups);
    return holding_;
}

std::size_t FakePlatform::LookupCallCount() const {
    const std::lock_guard lock(lookups);
    return lookupCalls.size();
}

int FakePlatform::AccountsAsked() const {
    const std::lock_guard lock(lookups);
    return accountLookups;
}

int FakePlatform::PolicyOpenings() const {
    const std::lock_guard lock(lookups);
    return policyOpenings_;
}

std::size_t FakePlatform::ScriptedAccounts() const {
    if (processFailure_ || processCountOnly_) return 0;
    std::set<std::string> distinct;
    for (const FakeProcess& process : processes_)
        if (process.UserSid && !SidBytes(*process.UserSid).empty())
            distinct.insert(*process.UserSid);
    return distinct.size();
}

int FakePlatform::RefusedPostsLeft() const {
    const std::lock_guard lock(lookups);
    return refusedPosts;
}

bool FakePlatform::LookupsSettled() const {
    const std::lock_guard lock(lookups);
    return running_ == 0 && lsaLive_.empty() && openPolicies_ == 0;
}

int FakePlatform::LookupLeaks() const {
    const std::lock_guard lock(lookups);
    return static_cast<int>(lsaLive_.size()) + openPolicies_ + badLsaReleases_;
}

std::byte* FakePlatform::NewLsaBlock(std::size_t size) {
    std::vector<std::byte> block(size == 0 ? 1 : size);
    std::byte* data = block.data();
    lsaLive_.emplace(data, std::move(block));
    return data;
}

NTSTATUS FakePlatform::OpenPolicy(PLSA_HANDLE policy) {
    ++policyOpenings_;
    if (policyFailure) return *policyFailure;
    ++openPolicies_;
    *policy = &openPolicies_;
    return 0;
}

void FakePlatform::WaitWhileHeld(std::unique_lock<std::mutex>& lock) {
    if (!holding_) return;
    const int ticket = arrived_++;
    ++held_;
    lookupChanged_.wait(lock, [&] { return !holding_ || ticket < releasedUpTo_; });
    --held_;
}

NTSTATUS FakePlatform::QueryPolicy(std::unique_lock<std::mutex>& lock,
                                   POLICY_INFORMATION_CLASS kind, PVOID* buffer) {
    *buffer = nullptr;
    if (holdAccountDomain) {
        ++running_;
        WaitWhileHeld(lock);
        --running_;
    }
    const std::vector<std::byte> sid =
        accountDomain ? SidBytes(*accountDomain) : std::vector<std::byte>{};
    if (kind != PolicyAccountDomainInformation || sid.empty()) return kStatusInvalidParameter;
    const std::wstring name = L"TS01";
    const std::size_t sidOffset = AlignUp(sizeof(POLICY_ACCOUNT_DOMAIN_INFO));
    const std::size_t nameOffset = AlignUp(sidOffset + sid.size());
    std::byte* block = NewLsaBlock(nameOffset + name.size() * sizeof(WCHAR));
    auto* info = reinterpret_cast<POLICY_ACCOUNT_DOMAIN_INFO*>(block);
    std::memcpy(block + sidOffset, sid.data(), sid.size());
    std::memcpy(block + nameOffset, name.data(), name.size() * sizeof(WCHAR));
    info->DomainSid = block + sidOffset;
    info->DomainName.Buffer = reinterpret_cast<WCHAR*>(block + nameOffset);
    info->DomainName.Length = info->DomainName.MaximumLength =
        static_cast<USHORT>(name.size() * sizeof(WCHAR));
    *buffer = info;
    return 0;
}

NTSTATUS FakePlatform::ClosePolicy(LSA_HANDLE policy) {
    if (policy != &openPolicies_ || openPolicies_ == 0) {
        ++badLsaReleases_;
        return kStatusInvalidHandle;
    }
    --openPolicies_;
    lookupChanged_.notify_all();
    return 0;
}

NTSTATUS FakePlatform::FreeLsaMemory(PVOID buffer) {
    if (lsaLive_.erase(buffer) != 1) ++badLsaReleases_;
    lookupChanged_.notify_all();
    return 0;
}

NTSTATUS FakePlatform::LookupSids(std::unique_lock<std::mutex>& lock, ULONG count, PSID* sids,
                                  PLSA_REFERENCED_DOMAIN_LIST* domainsOut,
                                  PLSA_TRANSLATED_NAME* namesOut) {
    *domainsOut = nullptr;
    *namesOut = nullptr;
    // The answer is the one the accounts give when the lookup comes, as a domain controller
    // answers with what it knows then.
    std::vector<std::wstring> sidTexts;
    std::vector<std::optional<FakeAccount>> found;
    std::optional<NTSTATUS> failure = lookupFailure;
    for (ULONG i = 0; i < count; ++i) {
        const std::string text = SidText(sids[i]);
        ++accountLookups;
        sidTexts.emplace_back(text.begin(), text.end());
        const auto account = accounts.find(text);
        found.push_back(account == accounts.end() ? std::nullopt
                                                  : std::optional<FakeAccount>(account->second));
        for (const auto& [domain, status] : unreachableDomains)
            if (text.starts_with(domain + "-")) failure = status;
    }
    lookupCalls.push_back(count);
    if (lookupsThrow) throw std::bad_alloc();
    ++running_;
    WaitWhileHeld(lock);
    const auto done = [this](NTSTATUS status) {
        --running_;
        lookupChanged_.notify_all();
        return status;
    };
    if (failure) return done(*failure);
    if (lookupsWithoutNames) return done(0);

    // The domains named, once each, in the order first named; then the names, which point at them.
    std::vector<std::wstring> domains;
    std::vector<LONG> domainIndex(count, -1);
    std::size_t domainChars = 0;
    std::size_t nameChars = 0;
    ULONG mapped = 0;
    for (ULONG i = 0; i < count; ++i) {
        // Where it finds no account, the platform answers with the identifier's string form.
        nameChars += found[i] ? found[i]->name.size() : sidTexts[i].size();
        if (!found[i]) continue;
        ++mapped;
        const auto known = std::find(domains.begin(), domains.end(), found[i]->domain);
        domainIndex[i] = static_cast<LONG>(known - domains.begin());
        if (known == domains.end()) {
            domains.push_back(found[i]->domain);
            domainChars += found[i]->domain.size();
        }
    }
    const std::size_t trustOffset = AlignUp(sizeof(LSA_REFERENCED_DOMAIN_LIST));
    const std::size_t domainTextOffset =
        AlignUp(trustOffset + domains.size() * sizeof(LSA_TRUST_INFORMATION));
    std::byte* domainBlock = NewLsaBlock(domainTextOffset + domainChars * sizeof(WCHAR));
    auto* list = reinterpret_cast<LSA_REFERENCED_DOMAIN_LIST*>(domainBlock);
    list->Entries = static_cast<ULONG>(domains.size());
    list->Domains = reinterpret_cast<LSA_TRUST_INFORMATION*>(domainBlock + trustOffset);
    auto* domainText = reinterpret_cast<WCHAR*>(domainBlock + domainTextOffset);
    const auto place = [](LSA_UNICODE_STRING& string, WCHAR*& at, const std::wstring& text) {
        string.Length = string.MaximumLength = static_cast<USHORT>(text.size() * sizeof(WCHAR));
        string.Buffer = text.empty() ? nullptr : at;
        std::memcpy(at, text.data(), text.size() * sizeof(WCHAR));
        at += text.size();
    };
    for (std::size_t d = 0; d < domains.size(); ++d) {
        list->Domains[d].Sid = nullptr;
        place(list->Domains[d].Name, domainText, domains[d]);
    }
    const std::size_t nameTextOffset = AlignUp(count * sizeof(LSA_TRANSLATED_NAME));
    std::byte* nameBlock = NewLsaBlock(nameTextOffset + nameChars * sizeof(WCHAR));
    auto* names = reinterpret_cast<LSA_TRANSLATED_NAME*>(nameBlock);
    auto* nameText = reinterpret_cast<WCHAR*>(nameBlock + nameTextOffset);
    for (ULONG i = 0; i < count; ++i) {
        names[i].Use = found[i] ? found[i]->use : SidTypeUnknown;
        names[i].DomainIndex = domainIndex[i];
        place(names[i].Name, nameText, found[i] ? found[i]->name : sidTexts[i]);
    }
    *domainsOut = list;
    *namesOut = names;
    return done(mapped == count ? 0 : mapped == 0 ? kStatusNoneMapped : kStatusSomeNotMapped);
}

}  // namespace wtsscope::testing
