// Looking accounts up through the platform's security authority: the answers read out of its
// buffers, many identifiers at once, and every buffer given back.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/fakes/fake_platform.h"

namespace wtsscope {
namespace {

std::string IdentifierFrom(const wchar_t* text) {
    PSID sid = nullptr;
    if (!ConvertStringSidToSidW(text, &sid)) return {};
    std::string bytes(static_cast<const char*>(sid), GetLengthSid(sid));
    LocalFree(sid);
    return bytes;
}

std::vector<std::wstring> Texts(const AccountNames& names) {
    std::vector<std::wstring> texts;
    for (std::size_t i = 0; i < names.Size(); ++i) texts.push_back(names.Text(i));
    return texts;
}

// The system's own authority (Wine's, under Wine): its answers for the well-known identifiers,
// read through the same code as any other.
TEST(AccountNames, ReadsTheSystemsAnswersForAccountsGroupsDomainsAndUnknownIdentifiers) {
    const Platform platform;
    const std::vector<std::string> identifiers{
        IdentifierFrom(L"S-1-5-18"), IdentifierFrom(L"S-1-1-0"), IdentifierFrom(L"S-1-5-32-544"),
        IdentifierFrom(L"S-1-5-21-1-2-3-4242"), IdentifierFrom(L"S-1-5-32")};
    EXPECT_EQ(Texts(platform.LookUpAccounts(identifiers)),
              (std::vector<std::wstring>{L"NT AUTHORITY\\SYSTEM", L"Everyone",
                                         L"BUILTIN\\Administrators", L"", L"BUILTIN"}));
}

TEST(AccountNames, AskForAtMostTheSystemsLimitAtOnceAndGiveEveryBufferBack) {
    testing::FakePlatform fake;
    fake.accounts["S-1-5-21-7-8-9-1000"] = {L"CORP", L"first"};
    fake.accounts["S-1-5-21-7-8-9-21480"] = {L"CORP", L"last"};
    std::vector<std::string> identifiers;
    for (int rid = 1000; rid <= 21480; ++rid)
        identifiers.push_back(IdentifierFrom((L"S-1-5-21-7-8-9-" + std::to_wstring(rid)).c_str()));
    {
        const AccountNames names = fake.platform().LookUpAccounts(identifiers);
        ASSERT_EQ(names.Size(), 20481u);
        EXPECT_EQ(names.Text(0), L"CORP\\first");
        EXPECT_EQ(names.Text(1), L"");
        EXPECT_EQ(names.Text(20480), L"CORP\\last");
        EXPECT_EQ(fake.lookupCalls, (std::vector<std::size_t>{20480, 1}));
    }
    EXPECT_EQ(fake.LookupLeaks(), 0);
}

TEST(AccountNames, NameNothingWhereTheAuthorityCannotBeOpened) {
    testing::FakePlatform fake;
    fake.policyFailure = static_cast<NTSTATUS>(0xC0000022);  // access denied
    const AccountNames names = fake.platform().LookUpAccounts(
        std::vector<std::string>{IdentifierFrom(L"S-1-5-18"), IdentifierFrom(L"S-1-5-19")});
    EXPECT_EQ(Texts(names), (std::vector<std::wstring>{L"", L""}));
    EXPECT_TRUE(fake.lookupCalls.empty());
}

}  // namespace
}  // namespace wtsscope
