#include "platform/account_lookups.h"

#include <algorithm>
#include <condition_variable>
#include <iterator>
#include <mutex>
#include <utility>

#include "platform/local_authority.h"

namespace wtsscope {

// An identifier to look up, under the window's number for it.
struct AccountLookups::Question {
    std::uint32_t number;
    std::string identifier;
};

namespace {

// Moves the questions from first to end behind those of to.
template <class Question>
void MoveQuestions(std::vector<Question>& from, std::size_t first, std::size_t end,
                   std::vector<Question>& to) {
    to.insert(to.end(), std::make_move_iterator(from.begin() + static_cast<std::ptrdiff_t>(first)),
              std::make_move_iterator(from.begin() + static_cast<std::ptrdiff_t>(end)));
}

}  // namespace

// Shared by the window's side and the thread, which outlives the window when the network holds it.
struct AccountLookups::State {
    State(const Platform& platform_, HWND window_, UINT message_)
        : platform(platform_), window(window_), message(message_) {}

    const Platform platform;
    const HWND window;
    const UINT message;

    std::mutex mutex;
    std::condition_variable changed;  // asked, or closed
    std::vector<Question> asked;      // not yet taken by the thread
    std::vector<Question> askAgain;  // not named by their last lookup: asked with the next question
    std::vector<Answer> answers;     // looked up and not yet taken
    bool announced = false;          // the window has a message on its way for them
    bool serving = false;
    bool closed = false;
};

AccountLookups::AccountLookups(const Platform& platform, HWND window, UINT message)
    : state_(std::make_shared<State>(platform, window, message)) {}

AccountLookups::~AccountLookups() {
    const std::lock_guard lock(state_->mutex);
    state_->closed = true;
    state_->changed.notify_all();
}

void AccountLookups::Ask(std::vector<std::uint32_t> numbers, std::vector<std::string> identifiers) {
    const std::lock_guard lock(state_->mutex);
    State& state = *state_;
    state.asked.reserve(state.asked.size() + state.askAgain.size() + numbers.size());
    MoveQuestions(state.askAgain, 0, state.askAgain.size(), state.asked);
    state.askAgain.clear();
    for (std::size_t i = 0; i < numbers.size(); ++i)
        state.asked.push_back({numbers[i], std::move(identifiers[i])});
    if (state.asked.empty()) return;
    if (!state.serving) {
        state.serving = state.platform.StartThread([shared = state_] { Serve(shared); });
        if (!state.serving) {
            // No thread to ask on: the identifiers stay as they are shown until the next question.
            state.askAgain = std::exchange(state.asked, {});
            return;
        }
    }
    state.changed.notify_one();
}

std::vector<AccountLookups::Answer> AccountLookups::TakeAnswers() {
    const std::lock_guard lock(state_->mutex);
    state_->announced = false;
    return std::exchange(state_->answers, {});
}

void AccountLookups::Serve(const std::shared_ptr<State>& shared) {
    State& state = *shared;
    // The machine's own accounts are named without a domain controller; which they are is asked
    // once the thread has a question, and again with a new one only while it is not known.
    std::string accountDomain;
    // Taken and not yet looked up: the first `local` ones the system names itself, then those of
    // domains, oldest first.
    std::vector<Question> waiting;
    std::size_t local = 0;
    std::unique_lock lock(state.mutex);
    for (;;) {
        state.changed.wait(
            lock, [&] { return state.closed || !state.asked.empty() || !waiting.empty(); });
        if (state.closed) return;
        std::vector<Question> asked = std::exchange(state.asked, {});
        lock.unlock();
        try {
            if (accountDomain.empty() && !asked.empty())
                accountDomain = state.platform.AccountDomain();
            // The new ones the system names itself go before every domain's; the room first, so
            // that nothing is moved unless all of it is.
            waiting.reserve(waiting.size() + asked.size());
            const auto newLocal =
                std::stable_partition(asked.begin(), asked.end(), [&](const Question& question) {
                    return NamedLocally(question.identifier, accountDomain);
                });
            const auto localEnd = waiting.begin() + static_cast<std::ptrdiff_t>(local);
            local += static_cast<std::size_t>(newLocal - asked.begin());
            waiting.insert(localEnd, std::make_move_iterator(asked.begin()),
                           std::make_move_iterator(newLocal));
            waiting.insert(waiting.end(), std::make_move_iterator(newLocal),
                           std::make_move_iterator(asked.end()));
            asked.clear();

            const bool namedLocally = local != 0;
            const std::size_t count =
                std::min(namedLocally ? local : waiting.size(), Platform::kMostAccountsPerLookup);
            lock.lock();
            if (state.closed) return;
            lock.unlock();
            const AccountNames names = Call(state.platform, waiting, count);
            std::vector<Answer> answers;
            std::vector<Question> askAgain;
            Sort(names, waiting, count, namedLocally, answers, askAgain);
            lock.lock();
            if (state.closed) return;
            state.answers.reserve(state.answers.size() + answers.size());
            state.askAgain.reserve(state.askAgain.size() + askAgain.size());
            MoveQuestions(askAgain, 0, askAgain.size(), state.askAgain);
            state.answers.insert(state.answers.end(), std::make_move_iterator(answers.begin()),
                                 std::make_move_iterator(answers.end()));
            waiting.erase(waiting.begin(), waiting.begin() + static_cast<std::ptrdiff_t>(count));
            if (namedLocally) local -= count;
            Announce(state, lock);
        } catch (...) {
            // No exception leaves the thread: one on the way (no memory for an answer, say) is a
            // lookup that could not be made, and whatever was taken and not yet answered is asked
            // again with the next question.
            if (!lock.owns_lock()) lock.lock();
            if (state.closed) return;
            try {
                MoveQuestions(asked, 0, asked.size(), state.askAgain);
                MoveQuestions(waiting, 0, waiting.size(), state.askAgain);
            } catch (...) {
                // No memory even to keep them: the next opening of the window asks again.
            }
            waiting.clear();
            local = 0;
        }
    }
}

AccountNames AccountLookups::Call(const Platform& platform, const std::vector<Question>& questions,
                                  std::size_t count) {
    std::vector<std::string> identifiers;
    identifiers.reserve(count);
    for (std::size_t i = 0; i < count; ++i) identifiers.push_back(questions[i].identifier);
    return platform.LookUpAccounts(identifiers);
}

void AccountLookups::Sort(const AccountNames& names, const std::vector<Question>& questions,
                          std::size_t count, bool namedLocally, std::vector<Answer>& answers,
                          std::vector<Question>& askAgain) {
    for (std::size_t i = 0; i < count; ++i) {
        // "Not mapped" is final only where no domain controller stands behind it.
        if (std::optional<std::wstring> name = names.Name(i))
            answers.push_back({questions[i].number, std::move(*name)});
        else if (namedLocally && names.Reached())
            answers.push_back({questions[i].number, {}});
        else
            askAgain.push_back(questions[i]);
    }
}

void AccountLookups::Announce(State& state, std::unique_lock<std::mutex>& lock) {
    // A full queue refuses the message: it is posted again after a short pause until it goes
    // through or the window closes, so that no answer waits unseen.
    constexpr DWORD kPauseMs = 50;
    while (!state.closed && !state.announced && !state.answers.empty()) {
        state.announced = state.platform.PostToWindow(state.window, state.message);
        if (state.announced) break;
        lock.unlock();
        Sleep(kPauseMs);
        lock.lock();
    }
}

}  // namespace wtsscope
