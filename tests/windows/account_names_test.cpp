// Looking accounts up through the platform's security authority: the answers read out of its
// buffers, an answer told from a lookup that could not be made, every buffer given back; and the
// lookups' thread, which asks in calls the system answers without waiting on a far domain.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/account_lookups.h"
#include "platform/platform.h"
#include "platform/local_authority.h"
#include "tests/fakes/fake_platform.h"
#include "tests/windows/user_input.h"

namespace wtsscope {
namespace {

std::string IdentifierFrom(const std::wstring& text) {
    PSID sid = nullptr;
    if (!ConvertStringSidToSidW(text.c_str(), &sid)) return {};
    std::string bytes(static_cast<const char*>(sid), GetLengthSid(sid));
    LocalFree(sid);
    return bytes;
}

std::vector<std::string> IdentifiersFrom(const std::vector<std::wstring>& texts) {
    std::vector<std::string> identifiers;
    for (const std::wstring& text : texts) identifiers.push_back(IdentifierFrom(text));
    return identifiers;
}

// Each name, "?" where there is none.
std::vector<std::wstring> Texts(const AccountNames& names) {
    std::vector<std::wstring> texts;
    for (std::size_t i = 0; i < names.Size(); ++i) texts.push_back(names.Name(i).value_or(L"?"));
    return texts;
}

// The system's own authority (Wine's, under Wine): its answers for the well-known identifiers,
// read through the same code as any other, and the machine's account domain, whose accounts it
// names itself.
TEST(AccountNames, ReadsTheSystemsAnswersForAccountsGroupsDomainsAndUnknownIdentifiers) {
    const Platform platform;
    const AccountNames names = platform.LookUpAccounts(IdentifiersFrom(
        {L"S-1-5-18", L"S-1-1-0", L"S-1-5-32-544", L"S-1-5-21-1-2-3-4242", L"S-1-5-32"}));
    EXPECT_TRUE(names.Reached());
    EXPECT_EQ(Texts(names),
              (std::vector<std::wstring>{L"NT AUTHORITY\\SYSTEM", L"Everyone",
                                         L"BUILTIN\\Administrators", L"?", L"BUILTIN"}));
    const std::string domain = platform.AccountDomain();
    ASSERT_FALSE(domain.empty());
    std::string administrator = domain + std::string(sizeof(DWORD), '\0');
    ++administrator[offsetof(SID, SubAuthorityCount)];
    EXPECT_TRUE(NamedLocally(administrator, domain));
}

// Whether the thread has posted the message to the window, taking it if so.
bool Announced(HWND window, UINT message) {
    MSG posted;
    return PeekMessageW(&posted, window, message, message, PM_REMOVE) != FALSE;
}

// Each answer as its number and name.
std::vector<std::wstring> Described(const std::vector<AccountLookups::Answer>& answers) {
    std::vector<std::wstring> described;
    for (const AccountLookups::Answer& answer : answers)
        described.push_back(std::to_wstring(answer.number) + L" " + answer.name);
    return described;
}

// The identifiers the system names itself (well-known ones, the machine's own accounts) go before
// the domains', in calls of at most the platform's limit, and so do those of a question asked
// while a call is on its way; each call's answers are announced as it returns.
TEST(AccountLookupsThread, AsksWhatTheSystemNamesItselfFirstByTheLimitThoseAskedMeanwhileToo) {
    testing::FakePlatform fake;
    fake.accounts["S-1-5-18"] = {L"NT AUTHORITY", L"SYSTEM"};
    fake.accounts["S-1-5-19"] = {L"NT AUTHORITY", L"LOCAL SERVICE"};
    fake.accounts["S-1-5-21-7-8-9-1001"] = {L"CORP", L"ann"};
    // A domain's user, then 20,481 of the machine's own accounts, which name none, then SYSTEM.
    std::vector<std::wstring> texts{L"S-1-5-21-7-8-9-1001"};
    for (int rid = 1000; rid <= 21480; ++rid)
        texts.push_back(L"S-1-5-21-11-22-33-" + std::to_wstring(rid));
    texts.push_back(L"S-1-5-18");
    std::vector<std::uint32_t> numbers(texts.size());
    for (std::uint32_t i = 0; i < numbers.size(); ++i) numbers[i] = i;

    const UniqueHandle<HWND, &::DestroyWindow> window(
        CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr));
    constexpr UINT kMessage = WM_APP + 7;
    fake.HoldLookups();
    {
        AccountLookups lookups(fake.platform(), window.get(), kMessage);
        lookups.Ask(numbers, IdentifiersFrom(texts));
        ASSERT_TRUE(WaitUntil([&] { return fake.HeldLookups() == 1; }));
        lookups.Ask({90000}, IdentifiersFrom({L"S-1-5-19"}));
        const auto nextCall = [&](std::size_t calls) {
            EXPECT_TRUE(WaitUntil(
                [&] { return fake.HeldLookups() == 1 && fake.LookupCallCount() == calls; }));
            EXPECT_FALSE(Announced(window.get(), kMessage)) << calls;
            fake.ReleaseLookups(1);
            EXPECT_TRUE(WaitUntil([&] { return Announced(window.get(), kMessage); })) << calls;
            return lookups.TakeAnswers();
        };
        EXPECT_EQ(nextCall(1).size(), 20480u);
        EXPECT_EQ(Described(nextCall(2)),
                  (std::vector<std::wstring>{L"20481 ", L"20482 NT AUTHORITY\\SYSTEM",
                                             L"90000 NT AUTHORITY\\LOCAL SERVICE"}));
        EXPECT_EQ(Described(nextCall(3)), std::vector<std::wstring>{L"0 CORP\\ann"});
        EXPECT_EQ(fake.lookupCalls, (std::vector<std::size_t>{20480, 3, 1}));
    }
    EXPECT_TRUE(WaitUntil([&] { return fake.LookupsSettled(); }));
    EXPECT_EQ(fake.LookupLeaks(), 0);
}

// A window that closes while the thread is between calls (here, asking for the machine's account
// domain) costs no further call: on a domain member in an outage that is one more time-out.
TEST(AccountLookupsThread, MakesNoCallOnceTheWindowHasClosed) {
    testing::FakePlatform fake;
    fake.holdAccountDomain = true;
    fake.HoldLookups();
    {
        AccountLookups lookups(fake.platform(), nullptr, WM_APP + 7);
        lookups.Ask({1}, IdentifiersFrom({L"S-1-5-21-7-8-9-1001"}));
        ASSERT_TRUE(WaitUntil([&] { return fake.HeldLookups() == 1; }));
    }
    fake.ReleaseLookups();
    EXPECT_TRUE(WaitUntil([&] { return fake.LookupsSettled(); }));
    Sleep(200);
    EXPECT_EQ(fake.LookupCallCount(), 0u);
    EXPECT_EQ(fake.LookupLeaks(), 0);
}

}  // namespace
}  // namespace wtsscope
