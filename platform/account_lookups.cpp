#include "platform/account_lookups.h"

#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace wtsscope {

// Shared by the window's side and the thread, which outlives the window when the network holds it.
struct AccountLookups::State {
    State(const Platform& platform_, HWND window_, UINT message_)
        : platform(platform_), window(window_), message(message_) {}

    const Platform platform;
    const HWND window;
    const UINT message;

    std::mutex mutex;
    std::condition_variable asked;
    std::vector<std::uint32_t> numbers;  // asked and not yet looked up
    std::vector<std::string> identifiers;
    std::vector<Answer> answers;  // looked up and not yet taken
    bool announced = false;       // the window has a message on its way for them
    bool serving = false;
    bool closed = false;
};

AccountLookups::AccountLookups(const Platform& platform, HWND window, UINT message)
    : state_(std::make_shared<State>(platform, window, message)) {}

AccountLookups::~AccountLookups() {
    const std::lock_guard lock(state_->mutex);
    state_->closed = true;
    state_->asked.notify_one();
}

void AccountLookups::Ask(std::vector<std::uint32_t> numbers, std::vector<std::string> identifiers) {
    if (identifiers.empty()) return;
    const std::lock_guard lock(state_->mutex);
    State& state = *state_;
    state.numbers.insert(state.numbers.end(), numbers.begin(), numbers.end());
    state.identifiers.insert(state.identifiers.end(), std::make_move_iterator(identifiers.begin()),
                             std::make_move_iterator(identifiers.end()));
    if (!state.serving) {
        try {
            std::thread(Serve, state_).detach();
            state.serving = true;
        } catch (const std::system_error&) {
            // No thread to ask on: the identifiers stay as they are shown, and the next question
            // tries again.
            state.numbers.clear();
            state.identifiers.clear();
            return;
        }
    }
    state.asked.notify_one();
}

std::vector<AccountLookups::Answer> AccountLookups::TakeAnswers() {
    const std::lock_guard lock(state_->mutex);
    state_->announced = false;
    return std::exchange(state_->answers, {});
}

void AccountLookups::Serve(const std::shared_ptr<State>& state) {
    std::unique_lock lock(state->mutex);
    for (;;) {
        state->asked.wait(lock, [&] { return state->closed || !state->identifiers.empty(); });
        if (state->closed) return;
        const std::vector<std::uint32_t> numbers = std::exchange(state->numbers, {});
        const std::vector<std::string> identifiers = std::exchange(state->identifiers, {});
        lock.unlock();
        const AccountNames found = state->platform.LookUpAccounts(identifiers);
        std::vector<Answer> answers;
        answers.reserve(numbers.size());
        for (std::size_t i = 0; i < numbers.size(); ++i)
            answers.push_back({numbers[i], found.Text(i)});
        lock.lock();
        if (state->closed) return;
        state->answers.insert(state->answers.end(), std::make_move_iterator(answers.begin()),
                              std::make_move_iterator(answers.end()));
        // A full queue refuses the message; the next answers try again.
        if (!state->announced)
            state->announced = PostMessageW(state->window, state->message, 0, 0) != FALSE;
    }
}

}  // namespace wtsscope
