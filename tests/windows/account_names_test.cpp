// Looking accounts up through the platform's security authority: the answers read out of its
// buffers, an answer told from a lookup that could not be made, every buffer given back; and the
// lookups' thread, which asks in calls the system answers without waiting on a far domain.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/account_lookups.h"
#include "platform/platform.h"
#include "platform/record_reader.h"
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

std::vector<std::wstring> Texts(const AccountNames& names) {
    std::vector<std::wstring> texts;
    for (std::size_t i = 0; i < names.Size(); ++i) texts.push_back(names.Text(i));
    return texts;
}

// The system's own authority (Wine's, under Wine): its answers for the well-known identifiers,
// read through the same code as any other, and the machine's account domain, whose accounts it
// names itself.
TEST(AccountNames, ReadsTheSystemsAnswersForAccountsGroupsDomainsAndUnknownIdentifiers) {
    const Platform platform;
    const AccountNames names = platform.LookUpAccounts(IdentifiersFrom(
        {L"S-1-5-18", L"S-1-1-0", L"S-1-5-32-544", L"S-1-5-21-1-2-3-4242", L"S-1-5-32"}));
    EXPECT_TRUE(names.Answered());
    EXPECT_EQ(Texts(names),
              (std::vector<std::wstring>{L"NT AUTHORITY\\SYSTEM", L"Everyone",
                                         L"BUILTIN\\Administrators", L"", L"BUILTIN"}));
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

// The identifiers the system names itself (well-known ones, the machine's own accounts) in one
// call, before the rest, which go in calls of at most the platform's limit; each call's answers are
// announced as it returns.
TEST(AccountLookupsThread, AsksWhatTheSystemNamesItselfFirstThenTheRestByTheLimit) {
    testing::FakePlatform fake;
    fake.accounts["S-1-5-18"] = {L"NT AUTHORITY", L"SYSTEM"};
    fake.accounts["S-1-5-90-0-2"] = {L"Window Manager", L"DWM-2"};
    fake.accounts["S-1-5-21-11-22-33-500"] = {L"TS01", L"Administrator"};
    fake.accounts["S-1-5-21-7-8-9-21480"] = {L"CORP", L"last"};
    std::vector<std::wstring> texts;
    for (int rid = 1000; rid <= 21480; ++rid)
        texts.push_back(L"S-1-5-21-7-8-9-" + std::to_wstring(rid));
    texts.insert(texts.begin() + 1, L"S-1-5-18");
    texts.insert(texts.begin() + 5000, L"S-1-5-90-0-2");
    texts.push_back(L"S-1-5-21-11-22-33-500");
    std::vector<std::uint32_t> numbers(texts.size());
    for (std::uint32_t i = 0; i < numbers.size(); ++i) numbers[i] = i;

    const UniqueHandle<HWND, &::DestroyWindow> window(
        CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr));
    constexpr UINT kMessage = WM_APP + 7;
    fake.HoldLookups();
    {
        AccountLookups lookups(fake.platform(), window.get(), kMessage);
        lookups.Ask(numbers, IdentifiersFrom(texts));
        const auto nextCall = [&](std::size_t calls) {
            EXPECT_TRUE(WaitUntil(
                [&] { return fake.HeldLookups() == 1 && fake.LookupCallCount() == calls; }));
            EXPECT_FALSE(Announced(window.get(), kMessage)) << calls;
            fake.ReleaseLookups(1);
            EXPECT_TRUE(WaitUntil([&] { return Announced(window.get(), kMessage); })) << calls;
            return lookups.TakeAnswers();
        };
        EXPECT_EQ(
            Described(nextCall(1)),
            (std::vector<std::wstring>{L"1 NT AUTHORITY\\SYSTEM", L"5000 Window Manager\\DWM-2",
                                       L"20483 TS01\\Administrator"}));
        EXPECT_EQ(nextCall(2).size(), 20480u);
        EXPECT_EQ(Described(nextCall(3)), std::vector<std::wstring>{L"20482 CORP\\last"});
        EXPECT_EQ(fake.lookupCalls, (std::vector<std::size_t>{3, 20480, 1}));
    }
    EXPECT_TRUE(WaitUntil([&] { return fake.LookupsSettled(); }));
    EXPECT_EQ(fake.LookupLeaks(), 0);
}

}  // namespace
}  // namespace wtsscope
