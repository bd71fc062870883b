#include "process_window/process_table.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <numeric>
#include <utility>

#include "platform/text.h"

namespace wtsscope {
namespace {

// Whether two stretches of memory hold the same bytes, compared a word at a time: the runtime
// library's memcmp may go byte by byte, and this runs once per row at a refresh.
bool SameBytes(const void* a, const void* b, std::size_t size) {
    const auto* x = static_cast<const unsigned char*>(a);
    const auto* y = static_cast<const unsigned char*>(b);
    const auto word = [](const unsigned char* at) {
        std::uint64_t value;
        std::memcpy(&value, at, sizeof(value));
        return value;
    };
    if (size < 8) {
        for (std::size_t i = 0; i < size; ++i)
            if (x[i] != y[i]) return false;
        return true;
    }
    for (std::size_t at = 0; at + 8 <= size; at += 8)
        if (word(x + at) != word(y + at)) return false;
    return word(x + size - 8) == word(y + size - 8);
}

template <class T>
int ThreeWay(const T& a, const T& b) {
    return (a > b) - (a < b);
}

// A signed value as an unsigned key of the same order.
std::uint32_t SignedKey(std::int32_t value) {
    return static_cast<std::uint32_t>(value) ^ 0x8000'0000u;
}

}  // namespace

int CompareSessionId(const ProcessRow& a, const ProcessRow& b) {
    return ThreeWay(a.SessionId, b.SessionId);
}

int CompareProcessId(const ProcessRow& a, const ProcessRow& b) {
    return ThreeWay(a.ProcessId, b.ProcessId);
}

// --- StringNumbers ---------------------------------------------------------------------------

template <class Char>
std::uint64_t StringNumbers<Char>::Hash(View text) {
    // Eight bytes at a time, each word folded in by a multiply, the last word overlapping the one
    // before: the strings are short (names, identifiers), and one hashed per row at a refresh must
    // cost little more than reading it.
    constexpr std::uint64_t kMultiplier = 0x9E37'79B9'7F4A'7C15ull;
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t size = text.size() * sizeof(Char);
    std::uint64_t hash = (size + 1) * kMultiplier;
    const auto fold = [&hash](std::uint64_t word) {
        hash = (hash ^ word) * kMultiplier;
        hash ^= hash >> 29;
    };
    const auto load = [](const unsigned char* at, auto word) {
        std::memcpy(&word, at, sizeof(word));
        return static_cast<std::uint64_t>(word);
    };
    if (size >= 8) {
        std::size_t at = 0;
        for (; at + 8 <= size; at += 8) fold(load(bytes + at, std::uint64_t{}));
        if (at < size) fold(load(bytes + size - 8, std::uint64_t{}));
    } else if (size >= 4) {
        fold(load(bytes, std::uint32_t{}) | load(bytes + size - 4, std::uint32_t{}) << 32);
    } else if (size > 0) {
        fold(bytes[0] | std::uint64_t{bytes[size / 2]} << 8 | std::uint64_t{bytes[size - 1]} << 16);
    }
    return hash * kMultiplier;
}

template <class Char>
std::size_t StringNumbers<Char>::Slot(std::uint64_t hash, std::size_t mask) {
    // The high bits are the best mixed; the tag kept in a slot is the high half.
    return static_cast<std::size_t>(hash >> 40 ^ hash >> 17) & mask;
}

template <class Char>
std::uint32_t StringNumbers<Char>::Number(View text) {
    if (texts_.size() * 2 >= slots_.size()) Grow();
    const std::uint64_t hash = Hash(text);
    const std::uint64_t tag = hash & 0xFFFF'FFFF'0000'0000ull;
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t at = Slot(hash, mask);; at = (at + 1) & mask) {
        const std::uint64_t slot = slots_[at];
        if (slot == 0) {
            const auto number = static_cast<std::uint32_t>(texts_.size());
            texts_.emplace_back(text);
            slots_[at] = tag | (number + 1ull);
            return number;
        }
        if ((slot & 0xFFFF'FFFF'0000'0000ull) == tag) {
            const auto number = static_cast<std::uint32_t>(slot) - 1;
            const std::basic_string<Char>& known = texts_[number];
            if (known.size() == text.size() &&
                SameBytes(known.data(), text.data(), text.size() * sizeof(Char)))
                return number;
        }
    }
}

template <class Char>
void StringNumbers<Char>::Grow() {
    std::vector<std::uint64_t> slots(std::max<std::size_t>(64, slots_.size() * 2), 0);
    const std::size_t mask = slots.size() - 1;
    for (std::uint32_t number = 0; number < texts_.size(); ++number) {
        const std::uint64_t hash = Hash(texts_[number]);
        std::size_t at = Slot(hash, mask);
        while (slots[at] != 0) at = (at + 1) & mask;
        slots[at] = (hash & 0xFFFF'FFFF'0000'0000ull) | (number + 1ull);
    }
    slots_ = std::move(slots);
}

template <class Char>
void StringNumbers<Char>::Clear() {
    texts_.clear();
    slots_.clear();
}

template class StringNumbers<char>;
template class StringNumbers<wchar_t>;

// --- TextRanks -------------------------------------------------------------------------------

bool TextRanks::Before(std::uint32_t a, std::uint32_t b) const {
    return compare_(numbers_.Text(a), numbers_.Text(b)) < 0;
}

bool TextRanks::Same(std::uint32_t a, std::uint32_t b) const {
    return compare_(numbers_.Text(a), numbers_.Text(b)) == 0;
}

void TextRanks::Place() {
    const auto placed = static_cast<std::uint32_t>(order_.size());
    const auto numbered = static_cast<std::uint32_t>(numbers_.Size());
    if (placed == numbered) return;

    // The newcomers in order among themselves, then each found among the known texts; since they
    // are in order, each search starts where the one before it ended.
    std::vector<std::uint32_t> newcomers(numbered - placed);
    std::iota(newcomers.begin(), newcomers.end(), placed);
    std::stable_sort(newcomers.begin(), newcomers.end(),
                     [this](std::uint32_t a, std::uint32_t b) { return Before(a, b); });

    // A newcomer goes after the known texts equal to it, so the known text after it is greater
    // than both it and the text that was before: a known text's equality with the one before it
    // stands.
    std::vector<std::uint32_t> order;
    std::vector<std::uint8_t> sameAsLast;
    order.reserve(numbered);
    sameAsLast.reserve(numbered);
    std::size_t known = 0;
    const auto keep = [&](std::size_t stop) {
        for (; known < stop; ++known) {
            order.push_back(order_[known]);
            sameAsLast.push_back(sameAsLast_[known]);
        }
    };
    for (const std::uint32_t newcomer : newcomers) {
        const auto end = std::upper_bound(
            order_.begin() + static_cast<std::ptrdiff_t>(known), order_.end(), newcomer,
            [this](std::uint32_t a, std::uint32_t b) { return Before(a, b); });
        keep(static_cast<std::size_t>(end - order_.begin()));
        sameAsLast.push_back(!order.empty() && Same(order.back(), newcomer));
        order.push_back(newcomer);
    }
    keep(order_.size());
    order_ = std::move(order);
    sameAsLast_ = std::move(sameAsLast);

    ranks_.resize(numbered);
    std::uint32_t rank = 0;
    for (std::size_t i = 0; i < order_.size(); ++i) {
        if (i > 0 && !sameAsLast_[i]) ++rank;
        ranks_[order_[i]] = rank;
    }
}

void TextRanks::Clear() {
    numbers_.Clear();
    order_.clear();
    sameAsLast_.clear();
    ranks_.clear();
}

// --- Ordering --------------------------------------------------------------------------------

void OrderByKey(const std::vector<std::uint32_t>& keys, std::vector<std::uint32_t>& order,
                std::vector<std::uint32_t>& scratch) {
    // A least-significant-digit radix sort, a byte at a time: each pass is stable, so equal keys
    // stay in position order. A byte that is the same in every key needs no pass.
    const std::size_t count = keys.size();
    order.resize(count);
    std::iota(order.begin(), order.end(), 0u);
    if (count < 2) return;
    std::array<std::array<std::uint32_t, 256>, 4> counts{};
    for (const std::uint32_t key : keys)
        for (int digit = 0; digit < 4; ++digit) ++counts[digit][(key >> (8 * digit)) & 0xFF];
    scratch.resize(count);
    for (int digit = 0; digit < 4; ++digit) {
        const int shift = 8 * digit;
        std::array<std::uint32_t, 256>& starts = counts[digit];
        if (starts[(keys[0] >> shift) & 0xFF] == count) continue;
        std::uint32_t start = 0;
        for (std::uint32_t& bucket : starts) start += std::exchange(bucket, start);
        for (const std::uint32_t position : order)
            scratch[starts[(keys[position] >> shift) & 0xFF]++] = position;
        order.swap(scratch);
    }
}

// --- ProcessTable ----------------------------------------------------------------------------

void ProcessTable::Clear() {
    // Names no row has used for a while are forgotten once they outnumber the rows.
    if (names_.Size() > 2 * rows_.size() + 4096) {
        names_.Clear();
        ansiNames_.Clear();
        nameOfAnsi_.clear();
    }
    if (users_.Size() > 2 * userTexts_.size() + 4096) users_.Clear();
    rows_.clear();
    userTexts_.clear();
    shown_.clear();
    shownCount_ = 0;
}

void ProcessTable::Reset() { *this = ProcessTable(compareText_); }

void ProcessTable::Reserve(std::size_t rows) { rows_.reserve(rows); }

void ProcessTable::Add(const ProcessRow& row) {
    rows_.push_back({row.SessionId, row.ProcessId, names_.Number(row.ProcessName), row.User});
}

std::uint32_t ProcessTable::AddUser(std::wstring text) {
    userTexts_.push_back(std::move(text));
    return static_cast<std::uint32_t>(userTexts_.size() - 1);
}

void ProcessTable::Finish() {
    // Unsorted, the shown order is the platform's and needs no positions.
    if (sortColumn_) Sort();
    shownCount_ = rows_.size();
}

void ProcessTable::SortBy(ProcessColumn column) {
    sortColumn_ = column;
    Sort();
    shownCount_ = rows_.size();
}

int ProcessTable::Compare(ProcessColumn column, const ProcessRow& a, const ProcessRow& b) const {
    switch (column) {
        case ProcessColumn::SessionId:
            return CompareSessionId(a, b);
        case ProcessColumn::ProcessId:
            return CompareProcessId(a, b);
        case ProcessColumn::ProcessName:
            return compareText_(a.ProcessName, b.ProcessName);
        case ProcessColumn::UserId:
            return compareText_(userTexts_[a.User], userTexts_[b.User]);
    }
    return 0;
}

void ProcessTable::NameKeys(std::vector<std::uint32_t>& keys) {
    names_.Place();
    for (std::size_t i = 0; i < rows_.size(); ++i) keys[i] = names_.Rank(rows_[i].name);
}

void ProcessTable::UserKeys(std::vector<std::uint32_t>& keys) {
    std::vector<std::uint32_t> numbers(userTexts_.size());
    for (std::size_t user = 0; user < userTexts_.size(); ++user)
        numbers[user] = users_.Number(userTexts_[user]);
    users_.Place();
    for (std::size_t i = 0; i < rows_.size(); ++i) keys[i] = users_.Rank(numbers[rows_[i].user]);
}

void ProcessTable::Sort() {
    // Each row's key is a number in the column's order, so the sort itself never compares texts;
    // ties fall back to the platform's order.
    std::vector<std::uint32_t>& keys = keys_;
    keys.resize(rows_.size());
    switch (*sortColumn_) {
        case ProcessColumn::SessionId:
            for (std::size_t i = 0; i < rows_.size(); ++i) keys[i] = SignedKey(rows_[i].sessionId);
            break;
        case ProcessColumn::ProcessId:
            for (std::size_t i = 0; i < rows_.size(); ++i) keys[i] = SignedKey(rows_[i].processId);
            break;
        case ProcessColumn::ProcessName:
            NameKeys(keys);
            break;
        case ProcessColumn::UserId:
            UserKeys(keys);
            break;
    }
    OrderByKey(keys, shown_, scratch_);
}

ProcessRow ProcessTable::Row(std::size_t shownIndex) const {
    const StoredRow& row = Shown(shownIndex);
    return {row.sessionId, row.processId, names_.Text(row.name), row.user};
}

std::wstring ProcessTable::CellText(std::size_t shownIndex, ProcessColumn column) const {
    const StoredRow& row = Shown(shownIndex);
    switch (column) {
        case ProcessColumn::SessionId:
            return DecimalText(row.sessionId);
        case ProcessColumn::ProcessId:
            return DecimalText(row.processId);
        case ProcessColumn::ProcessName:
            return names_.Text(row.name);
        case ProcessColumn::UserId:
            return userTexts_[row.user];
    }
    return {};
}

namespace {

// The count longest of the texts, longest first.
std::vector<std::wstring> Longest(std::vector<const std::wstring*> texts, std::size_t count) {
    const auto longer = [](const std::wstring* a, const std::wstring* b) {
        return a->size() > b->size();
    };
    count = std::min(count, texts.size());
    std::partial_sort(texts.begin(), texts.begin() + static_cast<std::ptrdiff_t>(count),
                      texts.end(), longer);
    std::vector<std::wstring> result;
    for (std::size_t i = 0; i < count; ++i) result.push_back(*texts[i]);
    return result;
}

constexpr std::size_t kWidthCandidates = 8;

}  // namespace

std::vector<std::wstring> ProcessTable::WidthCandidates(ProcessColumn column) const {
    switch (column) {
        case ProcessColumn::SessionId:
        case ProcessColumn::ProcessId: {
            if (rows_.empty()) return {};
            const bool session = column == ProcessColumn::SessionId;
            std::int32_t low = session ? rows_[0].sessionId : rows_[0].processId;
            std::int32_t high = low;
            for (const StoredRow& row : rows_) {
                const std::int32_t value = session ? row.sessionId : row.processId;
                low = std::min(low, value);
                high = std::max(high, value);
            }
            return {DecimalText(low), DecimalText(high)};
        }
        case ProcessColumn::ProcessName: {
            std::vector<const std::wstring*> texts;
            texts.reserve(names_.Size());
            for (std::uint32_t number = 0; number < names_.Size(); ++number)
                texts.push_back(&names_.Text(number));
            return Longest(std::move(texts), kWidthCandidates);
        }
        case ProcessColumn::UserId: {
            std::vector<const std::wstring*> texts;
            for (const std::wstring& text : userTexts_) texts.push_back(&text);
            return Longest(std::move(texts), kWidthCandidates);
        }
    }
    return {};
}

std::wstring ProcessTable::RowsAsText(const std::vector<std::size_t>& shownRows) const {
    std::wstring text;
    for (int column = 0; column < kProcessColumnCount; ++column) {
        if (column != 0) text += L'\t';
        text += kProcessColumnHeaders[column];
    }
    text += L"\r\n";
    for (const std::size_t shown : shownRows) {
        if (shown >= Size()) continue;
        for (int column = 0; column < kProcessColumnCount; ++column) {
            if (column != 0) text += L'\t';
            text += CellText(shown, static_cast<ProcessColumn>(column));
        }
        text += L"\r\n";
    }
    return text;
}

std::optional<std::size_t> ProcessTable::FindTyped(std::wstring_view typed,
                                                   std::size_t start) const {
    const ProcessColumn column = sortColumn_.value_or(ProcessColumn::ProcessName);
    const std::wstring prefix(typed);
    for (std::size_t step = 0; step < Size(); ++step) {
        const std::size_t row = (start + step) % Size();
        const std::wstring text = CellText(row, column);
        if (text.size() >= prefix.size() &&
            compareText_(text.substr(0, prefix.size()), prefix) == 0)
            return row;
    }
    return std::nullopt;
}

}  // namespace wtsscope
