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
    // it, together with those no lookup has answered yet: a lookup that could not be made (the
    // thread not started, the authority not reached, no memory for the answer) is not an answer,
    // and is made again at the next question. Whatever is asked while a lookup runs goes into the
    // next one.
    //
    // Each question's identifiers go out in calls of their own: first those the system names
    // itself, then the rest, at most the platform's limit at a time; the answers of each call are
    // announced as it returns, so no name waits on a far domain controller for another's.
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
    // Looks the questions up, without the lock, and hands each call's answers to the window, or
    // its questions to the next question, under it; first counts the questions handed on.
    static void LookUp(State& state, std::vector<Question>& questions, std::size_t& first,
                       const std::string& accountDomain, std::unique_lock<std::mutex>& lock);
    static void Announce(State& state, std::unique_lock<std::mutex>& lock);

    std::shared_ptr<State> state_;
};

}  // namespace wtsscope
