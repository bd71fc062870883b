#include "platform/account_lookups.h"

#include <algorithm>
#include <condition_variable>
#include <iterator>
#include <mutex>
#include <numeric>
#include <span>
#include <utility>

#include "platform/record_reader.h"

namespace wtsscope {

// Identifiers to look up, each under the window's number for it.
struct AccountLookups::Questions {
    std::vector<std::uint32_t> numbers;
    std::vector<std::string> identifiers;

    std::size_t Size() const { return numbers.size(); }

    // Moves the questions of others from first to end behind these.
    void Take(Questions& others, std::size_t first, std::size_t end) {
        const auto from = static_cast<std::ptrdiff_t>(first);
        const auto to = static_cast<std::ptrdiff_t>(end);
        numbers.reserve(numbers.size() + (end - first));
        identifiers.reserve(identifiers.size() + (end - first));
        numbers.insert(numbers.end(), others.numbers.begin() + from, others.numbers.begin() + to);
        identifiers.insert(identifiers.end(),
                           std::make_move_iterator(others.identifiers.begin() + from),
                           std::make_move_iterator(others.identifiers.begin() + to));
    }
    void Take(Questions&& others) {
        if (Size() == 0)
            *this = std::move(others);
        else
            Take(others, 0, others.Size());
    }

    // Puts the identifiers the system names itself first, in the order asked, and the rest after
    // them; the count of the first.
    std::size_t LocalFirst(std::string_view accountDomain) {
        std::vector<std::size_t> order(Size());
        std::iota(order.begin(), order.end(), std::size_t{0});
        const auto local = std::stable_partition(order.begin(), order.end(), [&](std::size_t at) {
            return NamedLocally(identifiers[at], accountDomain);
        });
        Questions ordered;
        ordered.numbers.reserve(Size());
        ordered.identifiers.reserve(Size());
        for (const std::size_t at : order) {
            ordered.numbers.push_back(numbers[at]);
            ordered.identifiers.push_back(std::move(identifiers[at]));
        }
        *this = std::move(ordered);
        return static_cast<std::size_t>(local - order.begin());
    }
};

// Shared by the window's side and the thread, which outlives the window when the network holds it.
struct AccountLookups::State {
    State(const Platform& platform_, HWND window_, UINT message_)
        : platform(platform_), window(window_), message(message_) {}

    const Platform platform;
    const HWND window;
    const UINT message;

    std::mutex mutex;
    std::condition_variable changed;  // asked, or closed
    Questions asked;                  // not yet taken by the thread
    Questions unanswered;             // asked again with the next question
    std::vector<Answer> answers;      // looked up and not yet taken
    bool announced = false;           // the window has a message on its way for them
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
    state.asked.Take(std::exchange(state.unanswered, {}));
    Questions added{std::move(numbers), std::move(identifiers)};
    state.asked.Take(std::move(added));
    if (state.asked.Size() == 0) return;
    if (!state.serving) {
        state.serving = state.platform.StartThread([shared = state_] { Serve(shared); });
        if (!state.serving) {
            // No thread to ask on: the identifiers stay as they are shown until the next question.
            state.unanswered = std::exchange(state.asked, {});
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
    // once the thread has a question, and again only while it is not known.
    std::string accountDomain;
    std::unique_lock lock(state.mutex);
    for (;;) {
        state.changed.wait(lock, [&] { return state.closed || state.asked.Size() != 0; });
        if (state.closed) return;
        Questions questions = std::exchange(state.asked, {});
        std::size_t handedOn = 0;
        lock.unlock();
        try {
            if (accountDomain.empty()) accountDomain = state.platform.AccountDomain();
            LookUp(state, questions, handedOn, accountDomain, lock);
        } catch (...) {
            // No exception leaves the thread: one on the way (no memory for an answer, say) is a
            // lookup that could not be made, and the questions not yet handed on are asked again
            // with the next question.
            if (!lock.owns_lock()) lock.lock();
            if (state.closed) return;
            try {
                state.unanswered.Take(questions, handedOn, questions.Size());
            } catch (...) {
                // No memory even to keep them: the next opening of the window asks again.
            }
        }
        if (!lock.owns_lock()) lock.lock();
        if (state.closed) return;
    }
}

void AccountLookups::LookUp(State& state, Questions& questions, std::size_t& first,
                            const std::string& accountDomain, std::unique_lock<std::mutex>& lock) {
    const std::size_t local = questions.LocalFirst(accountDomain);
    while (first < questions.Size()) {
        const std::size_t end =
            first < local ? local
                          : std::min(questions.Size(), first + Platform::kMostAccountsPerLookup);
        const AccountNames found = state.platform.LookUpAccounts(
            std::span(questions.identifiers).subspan(first, end - first));
        std::vector<Answer> answers;
        if (found.Answered()) {
            answers.reserve(end - first);
            for (std::size_t i = first; i < end; ++i)
                answers.push_back({questions.numbers[i], found.Text(i - first)});
        }
        lock.lock();
        if (state.closed) return;
        if (found.Answered())
            state.answers.insert(state.answers.end(), std::make_move_iterator(answers.begin()),
                                 std::make_move_iterator(answers.end()));
        else
            state.unanswered.Take(questions, first, end);
        first = end;
        Announce(state, lock);
        lock.unlock();
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
