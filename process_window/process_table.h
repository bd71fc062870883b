#pragma once

// The process window's model: its rows in the platform's order, the accounts they run under, and
// the order they are shown in. The list view only ever shows this.
//
// Made for a terminal server's hundred thousand processes, which run the same few hundred programs
// under a few dozen accounts: a row holds four numbers and what the process costs, and each
// distinct name and account is copied or looked up, kept and placed among the others once for as
// long as the window stays open. A sort orders integers.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/list_search.h"
#include "process_window/cost_figures.h"
#include "process_window/key_numbers.h"

namespace wtsscope {

// The columns of the process window, named in the order of kProcessColumns: the four always shown,
// then the costs, shown on demand.
enum class ProcessColumn {
    SessionId,
    ProcessId,
    ProcessName,
    UserId,
    Threads,
    Handles,
    Memory,
    PeakMemory,
    PrivateMemory,
    ProcessorTime,
    ProcessorShare,
};

// A row's numbers as the platform gives them; a number column shows one of them. Each is 0 unless
// set, so that a field added for a new column needs no change where rows are made but the one
// that fills it.
struct ProcessNumbers {
    std::int32_t sessionId = 0;
    std::int32_t processId = 0;
};

// What a process costs, as the platform's extended enumeration gives it: the memory figures are
// the platform's own 32-bit counts of bytes.
struct ProcessCosts {
    std::uint32_t threads = 0;
    std::uint32_t handles = 0;
    std::uint32_t workingSet = 0;      // bytes
    std::uint32_t peakWorkingSet = 0;  // bytes
    std::uint32_t pagefileUsage = 0;   // bytes
    std::uint64_t processorTime = 0;   // user and kernel time together, in 100 ns units
};

// When a fill that had costs was taken: the share of processor time a process used is its
// processor time's change over the time between two fills on every logical processor.
struct FillTime {
    std::uint64_t now = 0;  // in 100 ns units, from any fixed start
    std::uint32_t processors = 1;
};

// The texts the model keeps numbered, each distinct one made once; a text column shows one of them.
enum class KeptTexts { Names, Accounts };

// What a column shows: a number read from a field of the row, a text the model keeps, or a figure
// of what the process costs. Its cells, sort, type-ahead and widths follow from that alone.
struct ColumnDescription {
    enum class Kind { Number, Text, Cost };
    ProcessColumn column;
    const wchar_t* header;
    Kind kind;
    std::int32_t ProcessNumbers::*number;  // of a number column
    KeptTexts texts;                       // of a text column
};

constexpr ColumnDescription NumberColumn(ProcessColumn column, const wchar_t* header,
                                         std::int32_t ProcessNumbers::*number) {
    return {column, header, ColumnDescription::Kind::Number, number, {}};
}

constexpr ColumnDescription TextColumn(ProcessColumn column, const wchar_t* header,
                                       KeptTexts texts) {
    return {column, header, ColumnDescription::Kind::Text, nullptr, texts};
}

// A cost column's figure is chosen by its column; empty where the fill had no costs.
constexpr ColumnDescription CostColumn(ProcessColumn column, const wchar_t* header) {
    return {column, header, ColumnDescription::Kind::Cost, nullptr, {}};
}

constexpr ColumnDescription kProcessColumns[] = {
    NumberColumn(ProcessColumn::SessionId, L"Session ID", &ProcessNumbers::sessionId),
    NumberColumn(ProcessColumn::ProcessId, L"Process ID", &ProcessNumbers::processId),
    TextColumn(ProcessColumn::ProcessName, L"Process Name", KeptTexts::Names),
    TextColumn(ProcessColumn::UserId, L"User ID", KeptTexts::Accounts),
    CostColumn(ProcessColumn::Threads, L"Threads"),
    CostColumn(ProcessColumn::Handles, L"Handles"),
    CostColumn(ProcessColumn::Memory, L"Memory (KB)"),
    CostColumn(ProcessColumn::PeakMemory, L"Peak memory (KB)"),
    CostColumn(ProcessColumn::PrivateMemory, L"Private (KB)"),
    CostColumn(ProcessColumn::ProcessorTime, L"CPU time"),
    CostColumn(ProcessColumn::ProcessorShare, L"CPU %"),
};
constexpr int kProcessColumnCount = static_cast<int>(std::size(kProcessColumns));
// The columns before the costs, which the list always shows.
constexpr int kAlwaysShownColumnCount = static_cast<int>(ProcessColumn::Threads);
static_assert(
    [] {
        for (int position = 0; position < kProcessColumnCount; ++position)
            if (static_cast<int>(kProcessColumns[position].column) != position) return false;
        return true;
    }(),
    "kProcessColumns lists the columns in the order ProcessColumn names them");

constexpr const ColumnDescription& Describe(ProcessColumn column) {
    return kProcessColumns[static_cast<int>(column)];
}

// A cost column sorts largest first, as the user looks for what eats the server; the others
// ascending.
constexpr bool SortsLargestFirst(ProcessColumn column) {
    return Describe(column).kind == ColumnDescription::Kind::Cost;
}

// Orders two texts as the user's locale does, ignoring case: negative, zero or positive. It must
// be a strict weak ordering: texts it calls equal are interchangeable wherever they are compared.
using TextCompare = int (*)(std::wstring_view a, std::wstring_view b);

// The string form of a security identifier ("S-1-5-18"), shown until the account it names is
// known; given only well-formed identifiers.
using IdentifierText = std::function<std::wstring(const void* sid)>;

// Distinct byte strings, numbered from 0 in the order first seen, each with a text made the first
// time it is seen; the texts can be ranked in a TextCompare order.
class KeyedTexts {
  public:
    // The key's number; makeText() gives its text if the key is new, and is not called otherwise.
    template <class MakeText>
    std::uint32_t Number(std::string_view key, MakeText makeText);
    const std::wstring& Text(std::uint32_t number) const { return texts_[number]; }
    // A text that has become known later; it is placed among the others anew.
    void SetText(std::uint32_t number, std::wstring text);
    std::string_view Key(std::uint32_t number) const { return numbers_.Key(number); }
    std::size_t Size() const { return texts_.size(); }
    bool Holds(std::uint32_t number, std::string_view key) const {
        return numbers_.Holds(number, key);
    }
    void Clear();

    // Places the texts numbered since the last call among the others. Afterwards Rank(a) < Rank(b)
    // exactly when a's text sorts before b's, and texts that compare equal share a rank.
    void Rank(TextCompare compare);
    std::uint32_t Rank(std::uint32_t number) const { return ranks_[number]; }

  private:
    KeyNumbers numbers_;
    std::vector<std::wstring> texts_;   // by number
    std::vector<std::uint32_t> order_;  // the ranked texts' numbers, in order
    std::vector<std::uint32_t> ranks_;  // by number
};

class ProcessTable {
  public:
    ProcessTable(TextCompare compareText, IdentifierText identifierText);

    // Empties the rows, keeping their memory for the next fill; the sort column and the accounts
    // stay, and so do the names seen so far unless they have come to outnumber the rows.
    void Clear();
    void Reserve(std::size_t rows);
    // A row as the platform gives it.
    struct NewRow {
        ProcessNumbers numbers;
        std::wstring_view name;  // in UTF-16, as the platform gives it
        const void* sid;         // the account's security identifier; may be null or malformed
        const ProcessCosts* costs = nullptr;  // none where the fill had no costs
    };
    // Adds a row. A name is kept once, by its bytes, the first time the table meets them. An
    // identifier the table meets for the first time shows its string form until its account is
    // named; a null or malformed one names no account and shows nothing.
    void Add(const NewRow& row);
    // Puts rows added since Clear into the shown order, sorted if a sort column is set. A fill
    // whose rows had costs gives the time it was taken: each process's share of the processor
    // since the fill before is found then, where both had costs and its identifier and name are
    // the same in both.
    void Finish(std::optional<FillTime> time = std::nullopt);

    // Sorts by the column from now on, ascending or largest first as the column does, empty cells
    // last; equal rows keep the platform's order.
    void SortBy(ProcessColumn column);
    std::optional<ProcessColumn> SortColumn() const { return sortColumn_; }
    // Forgets the sort column, rows, names and accounts, and gives back their memory: the next
    // fill asks for every account afresh.
    void Reset();

    // The accounts met for the first time since the last call: each is handed out once while the
    // table holds it, to whatever asks for its name (and asks again where no answer came).
    std::vector<std::uint32_t> TakeNewAccounts() { return std::exchange(newAccounts_, {}); }
    // The bytes of an account's identifier.
    std::string_view AccountIdentifier(std::uint32_t account) const {
        return accounts_.Key(account);
    }
    // Names an account; an empty name, of an identifier that names none, leaves its string form.
    // False when no text changes.
    bool NameAccount(std::uint32_t account, std::wstring name);

    // The rows shown: none between Clear and Finish.
    std::size_t Size() const { return shownCount_; }
    std::int32_t ProcessId(std::size_t shownIndex) const {
        return Shown(shownIndex).numbers.processId;
    }
    std::wstring CellText(std::size_t shownIndex, ProcessColumn column) const;

    // The first shown row from the search's start on, and round from the top if it wraps, whose
    // text in the column begins with or is the searched text, ignoring case as the sort does;
    // none without such a row.
    std::optional<std::size_t> Find(const ListSearch& search, ProcessColumn column) const;

    // A few texts of the column among which the widest of all its cells is: the extreme numbers or
    // the largest figure, or the longest texts. Names and accounts seen in earlier fills may take
    // part.
    std::vector<std::wstring> WidthCandidates(ProcessColumn column) const;

    // The shown rows at these positions as text for the clipboard, in these columns: a header
    // line, then one line per row, cells separated by tabs, lines ended by CR LF.
    std::wstring RowsAsText(const std::vector<std::size_t>& shownRows,
                            const std::vector<ProcessColumn>& columns) const;

  private:
    static constexpr std::uint8_t kNoShare = 0xFF;
    // The costs laid out by hand: as a ProcessCosts the row would take 8 bytes more.
    struct StoredRow {
        ProcessNumbers numbers;
        std::uint32_t name = 0;     // number in names_
        std::uint32_t account = 0;  // number in accounts_
        std::uint64_t processorTime = 0;
        std::uint32_t threads = 0;
        std::uint32_t handles = 0;
        std::uint32_t workingSet = 0;
        std::uint32_t peakWorkingSet = 0;
        std::uint32_t pagefileUsage = 0;
        std::uint8_t processorShare = kNoShare;  // percent, found at Finish
        bool hasCosts = false;
    };
    // With the shown order and the sort's keys and scratch, 60 bytes a row.
    static_assert(sizeof(StoredRow) <= 48);
    // A process of the fill before, until the next fill is finished: its name and share are
    // found from it.
    struct EarlierProcess {
        std::uint64_t processorTime;
        std::int32_t processId;
        std::uint32_t name;
    };

    // The figure a cost column shows, and sorts by: counts, kilobytes rounded down, whole seconds,
    // percent. None where it is unknown.
    static std::optional<std::uint64_t> Figure(const StoredRow& row, ProcessColumn column);
    // Calls body with the function that reads the cost column's figure from a row, so a walk of
    // the rows chooses its figure once.
    template <class Body>
    static auto WithFigure(ProcessColumn column, Body body);
    static std::wstring_view CostText(const StoredRow& row, ProcessColumn column, FigureText& text);
    static std::wstring_view ShownFigure(ProcessColumn column, std::optional<std::uint64_t> figure,
                                         FigureText& text);
    void FindShares(const FillTime& time);

    const StoredRow& Shown(std::size_t shownIndex) const {
        return rows_[sortColumn_ ? shown_[shownIndex] : shownIndex];
    }
    std::uint32_t AccountOf(std::int32_t sessionId, const void* sid);
    void Sort();
    // A text column's texts, and the field of a row that numbers its text among them.
    KeyedTexts& Texts(KeptTexts texts) { return texts == KeptTexts::Names ? names_ : accounts_; }
    const KeyedTexts& Texts(KeptTexts texts) const {
        return texts == KeptTexts::Names ? names_ : accounts_;
    }
    static std::uint32_t StoredRow::*TextNumber(KeptTexts texts) {
        return texts == KeptTexts::Names ? &StoredRow::name : &StoredRow::account;
    }

    TextCompare compareText_;
    IdentifierText identifierText_;
    std::vector<StoredRow> rows_;
    // The lowest and highest of each number column, found once per fill.
    struct Extremes {
        std::int32_t lowest;
        std::int32_t highest;
    };
    std::array<Extremes, kProcessColumnCount> extremes_{};
    // The largest figure of each cost column, none where no row has one; found once per fill.
    std::array<std::optional<std::uint64_t>, kProcessColumnCount> largest_{};
    std::vector<std::uint32_t> shown_;  // row positions in the shown order, while sorted
    std::size_t shownCount_ = 0;
    std::optional<ProcessColumn> sortColumn_;
    std::vector<std::uint32_t> keys_;  // the sort's, kept so a sort touches no new memory
    std::vector<std::uint32_t> scratch_;
    KeyedTexts names_;     // by the names' UTF-16 bytes as the platform gave them
    KeyedTexts accounts_;  // by the identifiers' bytes
    // By session: the number plus 1 of the account its last process ran under, or 0.
    std::vector<std::uint32_t> lastAccountOfSession_;
    std::vector<std::uint32_t> newAccounts_;
    // When the rows held were taken, where they had costs; and what of the fill before is needed
    // to find the processor shares, kept only from Clear to Finish.
    std::optional<FillTime> fillTime_;
    std::optional<FillTime> earlierTime_;
    std::vector<EarlierProcess> earlier_;
    std::optional<KeyedTexts> earlierNames_;  // where the names were forgotten in between
};

template <class MakeText>
std::uint32_t KeyedTexts::Number(std::string_view key, MakeText makeText) {
    const std::uint32_t number = numbers_.Number(key);
    if (number == texts_.size()) texts_.push_back(makeText());
    return number;
}

inline void ProcessTable::Add(const NewRow& row) {
    const std::string_view key(reinterpret_cast<const char*>(row.name.data()),
                               row.name.size() * sizeof(wchar_t));
    StoredRow& stored = rows_.emplace_back();
    stored.numbers = row.numbers;
    // A process mostly stands where it stood in the fill before: its name there is compared
    // before any hash and probe. Measured through the window under Wine at 100,000 processes, two
    // pinned runs of each build alternating on one machine, a refresh cost 3.04 and 2.62 times the
    // floor without this, 2.78 and 2.27 with it.
    const std::size_t position = rows_.size() - 1;
    if (!earlierNames_ && position < earlier_.size() &&
        earlier_[position].processId == row.numbers.processId &&
        names_.Holds(earlier_[position].name, key))
        stored.name = earlier_[position].name;
    else
        stored.name = names_.Number(key, [&row] { return std::wstring(row.name); });
    stored.account = AccountOf(row.numbers.sessionId, row.sid);
    if (const ProcessCosts* costs = row.costs) {
        stored.processorTime = costs->processorTime;
        stored.threads = costs->threads;
        stored.handles = costs->handles;
        stored.workingSet = costs->workingSet;
        stored.peakWorkingSet = costs->peakWorkingSet;
        stored.pagefileUsage = costs->pagefileUsage;
        stored.hasCosts = true;
    }
}

}  // namespace wtsscope
