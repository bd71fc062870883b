#include "platform/account_lookups.h"

#include <algorithm>
#include <condition_variable>
#include <iterator>
#include <mutex>
#include <utility>

#include "platform/record_reader.h"

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
    std::condition_variable changed;   // asked, or closed
    std::vector<Question> asked;       // not yet taken by the thread
    std::vector<Question> unanswered;  // asked again with the next question
    std::vector<Answer> answers;       // looked up and not yet taken
    bool announced = false;            // the window has a message on its way for them
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
    state.asked.reserve(state.asked.size() + state.unanswered.size() + numbers.size());
    MoveQuestions(state.unanswered, 0, state.unanswered.size(), state.asked);
    state.unanswered.clear();
    for (std::size_t i = 0; i < numbers.size(); ++i)
        state.asked.push_back({numbers[i], std::move(identifiers[i])});
    if (state.asked.empty()) return;
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
        state.changed.wait(lock, [&] { return state.closed || !state.asked.empty(); });
        if (state.closed) return;
        std::vector<Question> questions = std::exchange(state.asked, {});
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
                MoveQuestions(questions, handedOn, questions.size(), state.unanswered);
            } catch (...) {
                // No memory even to keep them: the next opening of the window asks again.
            }
        }
        if (!lock.owns_lock()) lock.lock();
        if (state.closed) return;
    }
}

void AccountLookups::LookUp(State& state, std::vector<Question>& questions, std::size_t& first,
                            const std::string& accountDomain, std::unique_lock<std::mutex>& lock) {
    const auto localEnd = std::stable_partition(
        questions.begin(), questions.end(),
        [&](const Question& question) { return NamedLocally(question.identifier, accountDomain); });
    const auto local = static_cast<std::size_t>(localEnd - questions.begin());
    while (first < questions.size()) {
        const std::size_t end =
            first < local ? local
                          : std::min(questions.size(), first + Platform::kMostAccountsPerLookup);
        std::vector<std::string> identifiers;
        identifiers.reserve(end - first);
        for (std::size_t i = first; i < end; ++i) identifiers.push_back(questions[i].identifier);
        const AccountNames found = state.platform.LookUpAccounts(identifiers);
        std::vector<Answer> answers;
        if (found.Answered()) {
            answers.reserve(end - first);
            for (std::size_t i = first; i < end; ++i)
                answers.push_back({questions[i].number, found.Text(i - first)});
        }
        lock.lock();
        if (state.closed) return;
        if (found.Answered())
            state.answers.insert(state.answers.end(), std::make_move_iterator(answers.begin()),
                                 std::make_move_iterator(answers.end()));
        else
            MoveQuestions(questions, first, end, state.unanswered);
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
