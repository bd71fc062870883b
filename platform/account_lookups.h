#pragma once

// Account lookups on a thread of their own. A lookup can wait on a domain controller for as long
// as a network time-out, and a window that waited with it would stop answering: the window asks
// and goes on, and the names come back to it in a message posted once they are there.

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace wtsscope {

class AccountLookups {
  public:
    // Answers are announced to the window by the message, posted when some are waiting.
    AccountLookups(const Platform& platform, HWND window, UINT message);
    // Answers still on their way are dropped. The thread is never waited for: one held up by the
    // network goes with the process.
    ~AccountLookups();
    AccountLookups(const AccountLookups&) = delete;
    AccountLookups& operator=(const AccountLookups&) = delete;

    // Asks for the accounts of the identifiers (their bytes), each under the caller's number for
    // it, together with those the last lookups did not name: a lookup that could not be made (the
    // thread not started, the authority not reached, no memory for the answer) is no answer, and
    // neither is a domain's "not mapped", which a network time-out can give. Those are asked again
    // here, each in one more lookup for as long as no account is found. Only for the identifiers
    // the system names itself is "not mapped" final. Whatever is asked while a lookup runs waits
    // for the next one.
    //
    // The lookups go one call at a time, at most the platform's limit in each: first every
    // waiting identifier the system names itself, then those of domains, oldest first; each
    // call's answers are announced as it returns. So a name the system gives itself never waits
    // for a domain call that starts after it was asked, only for one already under way. Once the
    // window has closed no call is started.
    void Ask(std::vector<std::uint32_t> numbers, std::vector<std::string> identifiers);

    struct Answer {
        std::uint32_t number;
        std::wstring name;  // empty: the identifier names no account
    };
    // The answers that have come since the last call.
    std::vector<Answer> TakeAnswers();

  private:
    struct State;
    struct Question;
    static void Serve(const std::shared_ptr<State>& state);
    // The platform's answer for the first count questions, in one call.
    static AccountNames Call(const Platform& platform, const std::vector<Question>& questions,
                             std::size_t count);
    // Sorts a call's answers from its questions to ask again.
    static void Sort(const AccountNames& names, const std::vector<Question>& questions,
                     std::size_t count, bool namedLocally, std::vector<Answer>& answers,
                     std::vector<Question>& askAgain);
    static void Announce(State& state, std::unique_lock<std::mutex>& lock);

    std::shared_ptr<State> state_;
};

}  // namespace wtsscope
