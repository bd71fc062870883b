#include "process_window/process_table.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <iterator>
#include <limits>
#include <numeric>
#include <utility>

#include "platform/record_reader.h"
#include "platform/text.h"
#include "process_window/key_order.h"

namespace wtsscope {
namespace {

// A signed value as an unsigned key of the same order.
std::uint32_t SignedKey(std::int32_t value) {
    return static_cast<std::uint32_t>(value) ^ 0x8000'0000u;
}

// A figure as a key that orders largest first and the empty last. The figures sorted are counts
// of threads or handles, kilobytes below 2^22, seconds and percent: none comes near the top of
// the range, where figures would be held to one key.
std::uint32_t LargestFirstKey(std::optional<std::uint64_t> figure) {
    constexpr std::uint32_t kEmpty = std::numeric_limits<std::uint32_t>::max();
    if (!figure) return kEmpty;
    return kEmpty - 1 - static_cast<std::uint32_t>(std::min<std::uint64_t>(*figure, kEmpty - 1));
}

constexpr std::uint64_t kTicksPerSecond = 10'000'000;  // of 100 ns

}  // namespace

// --- KeyedTexts ------------------------------------------------------------------------------

void KeyedTexts::Clear() {
    numbers_.Clear();
    texts_.clear();
    order_.clear();
    ranks_.clear();
}

void KeyedTexts::SetText(std::uint32_t number, std::wstring text) {
    texts_[number] = std::move(text);
    order_.clear();
    ranks_.clear();
}

void KeyedTexts::Rank(TextCompare compare) {
    const std::size_t ranked = order_.size();
    if (ranked == texts_.size()) return;
    const auto before = [&](std::uint32_t a, std::uint32_t b) {
        return compare(texts_[a], texts_[b]) < 0;
    };
    // The newcomers in order among themselves, then merged with the texts ranked before, which
    // are not placed anew.
    std::vector<std::uint32_t> newcomers(texts_.size() - ranked);
    std::iota(newcomers.begin(), newcomers.end(), static_cast<std::uint32_t>(ranked));
    std::sort(newcomers.begin(), newcomers.end(), before);
    std::vector<std::uint32_t> order(texts_.size());
    std::merge(order_.begin(), order_.end(), newcomers.begin(), newcomers.end(), order.begin(),
               before);
    order_ = std::move(order);
    // In order, a text not after the one before it compares equal to it and shares its rank.
    ranks_.resize(texts_.size());
    std::uint32_t rank = 0;
    for (std::size_t i = 0; i < order_.size(); ++i) {
        if (i > 0 && before(order_[i - 1], order_[i])) ++rank;
        ranks_[order_[i]] = rank;
    }
}

// --- ProcessTable ----------------------------------------------------------------------------

template <class Body>
auto ProcessTable::WithFigure(ProcessColumn column, Body body) {
    using Known = std::optional<std::uint64_t>;
    switch (column) {
        case ProcessColumn::Threads:
            return body([](const StoredRow& row) -> Known {
                return row.hasCosts ? Known(row.threads) : std::nullopt;
            });
        case ProcessColumn::Handles:
            return body([](const StoredRow& row) -> Known {
                return row.hasCosts ? Known(row.handles) : std::nullopt;
            });
        case ProcessColumn::Memory:
            return body([](const StoredRow& row) -> Known {
                return row.hasCosts ? Known(row.workingSet / 1024) : std::nullopt;
            });
        case ProcessColumn::PeakMemory:
            return body([](const StoredRow& row) -> Known {
                return row.hasCosts ? Known(row.peakWorkingSet / 1024) : std::nullopt;
            });
        case ProcessColumn::PrivateMemory:
            return body([](const StoredRow& row) -> Known {
                return row.hasCosts ? Known(row.pagefileUsage / 1024) : std::nullopt;
            });
        case ProcessColumn::ProcessorTime:
            return body([](const StoredRow& row) -> Known {
                return row.hasCosts ? Known(row.processorTime / kTicksPerSecond) : std::nullopt;
            });
        case ProcessColumn::ProcessorShare:
            return body([](const StoredRow& row) -> Known {
                return row.processorShare != kNoShare ? Known(row.processorShare) : std::nullopt;
            });
        default:
            return body([](const StoredRow&) -> Known { return std::nullopt; });
    }
}

ProcessTable::ProcessTable(TextCompare compareText, IdentifierText identifierText)
    : compareText_(compareText), identifierText_(std::move(identifierText)) {}

void ProcessTable::Clear() {
    // What the next fill needs of this one: where each process's name stood, and its processor
    // time, for its share of the processor.
    earlierTime_ = std::exchange(fillTime_, std::nullopt);
    earlier_.clear();
    earlierNames_.reset();
    earlier_.reserve(rows_.size());
    for (const StoredRow& row : rows_)
        earlier_.push_back({row.processorTime, row.numbers.processId, row.name});
    // Names no row has used for a while are forgotten once they outnumber the rows; the fill
    // before still knows its own until Finish.
    if (names_.Size() > 2 * rows_.size() + 4096) {
        if (earlierTime_)
            earlierNames_ = std::move(names_);
        else
            earlier_.clear();
        names_.Clear();
    }
    rows_.clear();
    shown_.clear();
    shownCount_ = 0;
}

void ProcessTable::Reset() {
    ProcessTable fresh(compareText_, std::move(identifierText_));
    *this = std::move(fresh);
}

void ProcessTable::Reserve(std::size_t rows) { rows_.reserve(rows); }

std::uint32_t ProcessTable::AccountOf(std::int32_t sessionId, const void* sid) {
    // The empty key, of a null or malformed identifier, names no account and is never asked for.
    const std::string_view key = IdentifierBytes(sid);
    const auto number = [&] {
        return accounts_.Number(key, [&] {
            if (key.empty()) return std::wstring();
            newAccounts_.push_back(static_cast<std::uint32_t>(accounts_.Size()));
            return identifierText_(sid);
        });
    };
    // A session's processes mostly run under its one user: the account its last process ran under
    // is tried before any lookup, a comparison of the identifier's bytes with one known key instead
    // of a hash and a probe (cachegrind: 37% fewer instructions in the model's lookups at the
    // benchmark's fill). Session identifiers are small; a large one is not remembered.
    constexpr std::uint32_t kSessionsRemembered = 65536;
    const auto session = static_cast<std::uint32_t>(sessionId);
    if (session >= kSessionsRemembered) return number();
    if (session >= lastAccountOfSession_.size()) lastAccountOfSession_.resize(session + 1);
    std::uint32_t& last = lastAccountOfSession_[session];
    if (last == 0 || !accounts_.Holds(last - 1, key)) last = number() + 1;
    return last - 1;
}

bool ProcessTable::NameAccount(std::uint32_t account, std::wstring name) {
    if (account >= accounts_.Size() || name.empty() || name == accounts_.Text(account))
        return false;
    accounts_.SetText(account, std::move(name));
    return true;
}

void ProcessTable::FindShares(const FillTime& time) {
    if (!earlierTime_ || time.now <= earlierTime_->now) return;
    const std::uint64_t elapsed = time.now - earlierTime_->now;
    // Processes mostly come in the same order fill after fill: the one after the last found is
    // tried first, and only where that fails are the earlier ones looked through by identifier,
    // ordered once in the sort's room, which is free until the rows are sorted.
    std::size_t next = 0;
    bool ordered = false;
    const auto byIdentifier = [&](std::int32_t processId) -> std::optional<std::size_t> {
        if (!ordered) {
            keys_.resize(earlier_.size());
            for (std::size_t i = 0; i < earlier_.size(); ++i)
                keys_[i] = SignedKey(earlier_[i].processId);
            OrderByKey(keys_, shown_, scratch_);
            ordered = true;
        }
        const auto found = std::lower_bound(
            shown_.begin(), shown_.end(), processId,
            [&](std::uint32_t at, std::int32_t id) { return earlier_[at].processId < id; });
        if (found == shown_.end() || earlier_[*found].processId != processId) return std::nullopt;
        return *found;
    };
    for (StoredRow& row : rows_) {
        if (!row.hasCosts) continue;
        std::optional<std::size_t> at;
        if (next < earlier_.size() && earlier_[next].processId == row.numbers.processId)
            at = next;
        else
            at = byIdentifier(row.numbers.processId);
        if (!at) continue;
        next = *at + 1;
        const EarlierProcess& before = earlier_[*at];
        const bool sameName = earlierNames_
                                  ? earlierNames_->Key(before.name) == names_.Key(row.name)
                                  : before.name == row.name;
        if (!sameName) continue;
        if (const auto share =
                ProcessorShare(before.processorTime, row.processorTime, elapsed, time.processors))
            row.processorShare = *share;
    }
    shown_.clear();
}

void ProcessTable::Finish(std::optional<FillTime> time) {
    if (time) FindShares(*time);
    // Only between Clear and Finish: its memory goes back.
    earlier_ = {};
    earlierNames_.reset();
    fillTime_ = time;
    // Found in locals, which no row can alias, in one walk of the rows; the columns are unrolled
    // at compile time, so each number column and each figure is one fixed field read, as if
    // written out by hand.
    std::array<Extremes, kProcessColumnCount> found{};
    found.fill(
        {std::numeric_limits<std::int32_t>::max(), std::numeric_limits<std::int32_t>::min()});
    std::array<std::optional<std::uint64_t>, kProcessColumnCount> largest{};
    const auto walk = [&]<std::size_t... position>(std::index_sequence<position...>) {
        for (const StoredRow& row : rows_) {
            const auto update = [&]<std::size_t at>(std::integral_constant<std::size_t, at>) {
                if constexpr (kProcessColumns[at].kind == ColumnDescription::Kind::Number) {
                    const std::int32_t value = row.numbers.*kProcessColumns[at].number;
                    found[at] = {std::min(found[at].lowest, value),
                                 std::max(found[at].highest, value)};
                } else if constexpr (kProcessColumns[at].kind == ColumnDescription::Kind::Cost) {
                    WithFigure(kProcessColumns[at].column, [&](auto figure) {
                        if (const std::optional<std::uint64_t> value = figure(row))
                            largest[at] = std::max(largest[at].value_or(0), *value);
                    });
                }
            };
            (update(std::integral_constant<std::size_t, position>{}), ...);
        }
    };
    walk(std::make_index_sequence<kProcessColumnCount>{});
    extremes_ = found;
    largest_ = largest;
    // Unsorted, the shown order is the platform's and needs no positions.
    if (sortColumn_) Sort();
    shownCount_ = rows_.size();
}

void ProcessTable::SortBy(ProcessColumn column) {
    sortColumn_ = column;
    Sort();
    shownCount_ = rows_.size();
}

void ProcessTable::Sort() {
    // Each row's key is a number in the column's order, so the sort compares integers only; ties
    // fall back to the platform's order.
    keys_.resize(rows_.size());
    const ColumnDescription& sorted = Describe(*sortColumn_);
    if (sorted.kind == ColumnDescription::Kind::Number) {
        for (std::size_t i = 0; i < rows_.size(); ++i)
            keys_[i] = SignedKey(rows_[i].numbers.*sorted.number);
    } else if (sorted.kind == ColumnDescription::Kind::Cost) {
        WithFigure(sorted.column, [&](auto figure) {
            for (std::size_t i = 0; i < rows_.size(); ++i)
                keys_[i] = LargestFirstKey(figure(rows_[i]));
        });
    } else {
        KeyedTexts& texts = Texts(sorted.texts);
        texts.Rank(compareText_);
        const auto number = TextNumber(sorted.texts);
        for (std::size_t i = 0; i < rows_.size(); ++i) keys_[i] = texts.Rank(rows_[i].*number);
    }
    OrderByKey(keys_, shown_, scratch_);
}

std::optional<std::uint64_t> ProcessTable::Figure(const StoredRow& row, ProcessColumn column) {
    return WithFigure(column, [&](auto figure) { return figure(row); });
}

std::wstring_view ProcessTable::CostText(const StoredRow& row, ProcessColumn column,
                                         FigureText& text) {
    return ShownFigure(column, Figure(row, column), text);
}

std::wstring_view ProcessTable::ShownFigure(ProcessColumn column,
                                            std::optional<std::uint64_t> figure, FigureText& text) {
    if (!figure) return {};
    return column == ProcessColumn::ProcessorTime ? DurationFigure(*figure, text)
                                                  : DecimalFigure(*figure, text);
}

std::wstring ProcessTable::CellText(std::size_t shownIndex, ProcessColumn column) const {
    const StoredRow& row = Shown(shownIndex);
    const ColumnDescription& shown = Describe(column);
    if (shown.kind == ColumnDescription::Kind::Number)
        return DecimalText(row.numbers.*shown.number);
    if (shown.kind == ColumnDescription::Kind::Cost) {
        FigureText text;
        return std::wstring(CostText(row, column, text));
    }
    return Texts(shown.texts).Text(row.*TextNumber(shown.texts));
}

std::optional<std::size_t> ProcessTable::Find(const ListSearch& search,
                                              ProcessColumn column) const {
    const std::size_t count = Size();
    if (count == 0) return std::nullopt;
    const std::size_t start = std::min(search.start, count);
    const std::wstring_view sought = search.text;
    const bool whole = search.match == TextMatch::Whole;
    // Rows are visited in the shown order from start, then from the top up to the row before it.
    const auto first = [&](auto matches) -> std::optional<std::size_t> {
        for (std::size_t i = start; i < count; ++i)
            if (matches(Shown(i))) return i;
        if (search.wrap)
            for (std::size_t i = 0; i < start; ++i)
                if (matches(Shown(i))) return i;
        return std::nullopt;
    };
    // A text column is decided once per distinct text, then each row only reads its answer.
    const auto answersFor = [&](const KeyedTexts& texts) {
        std::vector<std::uint8_t> answers(texts.Size());
        for (std::uint32_t number = 0; number < texts.Size(); ++number) {
            const std::wstring_view text = texts.Text(number);
            answers[number] =
                compareText_(whole ? text : text.substr(0, sought.size()), sought) == 0;
        }
        return answers;
    };
    // Digits and a sign have no case: the decimal text begins with or is exactly the sought text.
    const auto numberMatches = [&](std::int32_t value) {
        char digits[12];
        const auto end = std::to_chars(std::begin(digits), std::end(digits), value).ptr;
        const auto length = static_cast<std::size_t>(end - digits);
        return (whole ? sought.size() == length : sought.size() <= length) &&
               std::equal(sought.begin(), sought.end(), digits);
    };
    const ColumnDescription& searched = Describe(column);
    if (searched.kind == ColumnDescription::Kind::Number) {
        return first(
            [&](const StoredRow& row) { return numberMatches(row.numbers.*searched.number); });
    }
    // Digits and colons have no case either.
    if (searched.kind == ColumnDescription::Kind::Cost) {
        return first([&](const StoredRow& row) {
            FigureText buffer;
            const std::wstring_view text = CostText(row, column, buffer);
            return whole ? text == sought : text.starts_with(sought);
        });
    }
    const std::vector<std::uint8_t> answers = answersFor(Texts(searched.texts));
    const auto number = TextNumber(searched.texts);
    return first([&](const StoredRow& row) { return answers[row.*number] != 0; });
}

namespace {

// The count longest of the texts, longest first.
std::vector<std::wstring> Longest(const KeyedTexts& texts, std::size_t count) {
    std::vector<const std::wstring*> all;
    all.reserve(texts.Size());
    for (std::uint32_t number = 0; number < texts.Size(); ++number)
        all.push_back(&texts.Text(number));
    count = std::min(count, all.size());
    std::partial_sort(
        all.begin(), all.begin() + static_cast<std::ptrdiff_t>(count), all.end(),
        [](const std::wstring* a, const std::wstring* b) { return a->size() > b->size(); });
    std::vector<std::wstring> result;
    for (std::size_t i = 0; i < count; ++i) result.push_back(*all[i]);
    return result;
}

constexpr std::size_t kWidthCandidates = 8;

}  // namespace

std::vector<std::wstring> ProcessTable::WidthCandidates(ProcessColumn column) const {
    const ColumnDescription& measured = Describe(column);
    if (measured.kind == ColumnDescription::Kind::Text)
        return Longest(Texts(measured.texts), kWidthCandidates);
    if (rows_.empty()) return {};
    // Figures are never negative, and the largest has the most digits.
    if (measured.kind == ColumnDescription::Kind::Cost) {
        FigureText text;
        const std::wstring_view largest =
            ShownFigure(column, largest_[static_cast<int>(column)], text);
        return largest.empty() ? std::vector<std::wstring>{} : std::vector{std::wstring(largest)};
    }
    const Extremes& extremes = extremes_[static_cast<int>(column)];
    return {DecimalText(extremes.lowest), DecimalText(extremes.highest)};
}

std::wstring ProcessTable::RowsAsText(const std::vector<std::size_t>& shownRows,
                                      const std::vector<ProcessColumn>& columns) const {
    std::wstring text;
    const auto line = [&](auto cell) {
        for (std::size_t i = 0; i < columns.size(); ++i) {
            if (i != 0) text += L'\t';
            text += cell(columns[i]);
        }
        text += L"\r\n";
    };
    line([](ProcessColumn column) { return std::wstring(Describe(column).header); });
    for (const std::size_t shown : shownRows)
        if (shown < Size()) line([&](ProcessColumn column) { return CellText(shown, column); });
    return text;
}

}  // namespace wtsscope
