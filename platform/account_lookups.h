#pragma once

// Account lookups on a thread of their own. A lookup can wait on a domain controller for as long
// as a network time-out, and a window that waited with it would stop answering: the window asks
// and goes on, and the names come back to it in a message posted once they are there.

#include <windows.h>

#include <cstdint>
#include <memory>
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
    // it. Whatever is asked while a lookup runs goes into the next one, together.
    void Ask(std::vector<std::uint32_t> numbers, std::vector<std::string> identifiers);

    struct Answer {
        std::uint32_t number;
        std::wstring name;  // empty: the identifier names no account, or the lookup failed
    };
    // The answers that have come since the last call.
    std::vector<Answer> TakeAnswers();

  private:
    struct State;
    static void Serve(const std::shared_ptr<State>& state);

    std::shared_ptr<State> state_;
};

}  // namespace wtsscope
