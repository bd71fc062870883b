#pragma once

// The process window's model: its rows in the platform's order, the accounts they run under, and
// the order they are shown in. The list view only ever shows this.
//
// Made for a terminal server's hundred thousand processes, which run the same few hundred programs
// in every session: a row holds four numbers, and each distinct name is converted, kept and placed
// among the others once for as long as the window stays open. A sort orders integers.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wtsscope {

enum class ProcessColumn { SessionId = 0, ProcessId = 1, ProcessName = 2, UserId = 3 };
constexpr int kProcessColumnCount = 4;

// The columns' header texts, in column order.
constexpr const wchar_t* kProcessColumnHeaders[kProcessColumnCount] = {L"Session ID", L"Process ID",
                                                                       L"Process Name", L"User ID"};

// One row as the table takes it in and hands it out.
struct ProcessRow {
    std::int32_t SessionId;
    std::int32_t ProcessId;
    std::wstring ProcessName;
    std::uint32_t User;  // index into the table's account texts
};

// Orders two texts as the user's locale does, ignoring case: negative, zero or positive. It must
// be a strict weak ordering: texts it calls equal are interchangeable wherever they are compared.
using TextCompare = int (*)(const std::wstring& a, const std::wstring& b);

// The comparators, one per column: negative, zero or positive as a sorts before, with or after b.
int CompareSessionId(const ProcessRow& a, const ProcessRow& b);
int CompareProcessId(const ProcessRow& a, const ProcessRow& b);

// Numbers distinct strings from 0 in the order they are first seen, and keeps them. A lookup
// hashes the string once and compares it in full only with a string of the same hash.
template <class Char>
class StringNumbers {
  public:
    using View = std::basic_string_view<Char>;

    // The string's number: its old one, or the next one if it is new.
    std::uint32_t Number(View text);
    const std::basic_string<Char>& Text(std::uint32_t number) const { return texts_[number]; }
    std::size_t Size() const { return texts_.size(); }
    void Clear();

  private:
    static std::uint64_t Hash(View text);
    static std::size_t Slot(std::uint64_t hash, std::size_t mask);
    void Grow();

    std::vector<std::basic_string<Char>> texts_;
    // Open addressing: the high half holds the hash's high bits, the low half the number plus 1;
    // 0 is an empty slot.
    std::vector<std::uint64_t> slots_;
};

// Keeps distinct texts, places them in the order a TextCompare gives, and remembers the places:
// texts seen before cost nothing, and a new text costs a binary search among the known ones.
class TextRanks {
  public:
    explicit TextRanks(TextCompare compare) : compare_(compare) {}

    // The text's number, taken the first time the text is seen.
    std::uint32_t Number(std::wstring_view text) { return numbers_.Number(text); }
    const std::wstring& Text(std::uint32_t number) const { return numbers_.Text(number); }
    // Places the texts numbered since the last call. Afterwards, for any two numbered texts,
    // Rank(a) < Rank(b) exactly when a sorts before b, and equal ranks are texts that compare
    // equal.
    void Place();
    std::uint32_t Rank(std::uint32_t number) const { return ranks_[number]; }
    std::size_t Size() const { return numbers_.Size(); }
    void Clear();

  private:
    bool Before(std::uint32_t a, std::uint32_t b) const;
    bool Same(std::uint32_t a, std::uint32_t b) const;

    TextCompare compare_;
    StringNumbers<wchar_t> numbers_;
    std::vector<std::uint32_t> order_;      // the placed texts' numbers, in order
    std::vector<std::uint8_t> sameAsLast_;  // by position in order_: equal to the text before it
    std::vector<std::uint32_t> ranks_;      // by number
};

class ProcessTable {
  public:
    explicit ProcessTable(TextCompare compareText)
        : compareText_(compareText), names_(compareText), users_(compareText) {}

    // Empties the rows and accounts, keeping their memory for the next fill; the sort column and
    // the names seen so far stay, unless they have come to outnumber the rows.
    void Clear();
    void Reserve(std::size_t rows);
    void Add(const ProcessRow& row);
    // Adds a row whose name is the platform's ANSI text: toWide() gives its text the first time
    // the table meets those bytes, and is not called for them again.
    template <class ToWide>
    void Add(std::int32_t sessionId, std::int32_t processId, std::string_view ansiName,
             ToWide toWide, std::uint32_t user);
    // Registers an account text and returns its index for ProcessRow::User.
    std::uint32_t AddUser(std::wstring text);
    // Puts rows added since Clear into the shown order, sorted if a sort column is set.
    void Finish();

    // Sorts ascending by the column from now on; equal rows keep the platform's order.
    void SortBy(ProcessColumn column);
    std::optional<ProcessColumn> SortColumn() const { return sortColumn_; }
    // Forgets the sort column, rows, accounts and texts, and gives back their memory.
    void Reset();

    // The rows shown: none between Clear and Finish.
    std::size_t Size() const { return shownCount_; }
    ProcessRow Row(std::size_t shownIndex) const;
    const std::wstring& UserText(const ProcessRow& row) const { return userTexts_[row.User]; }
    std::wstring CellText(std::size_t shownIndex, ProcessColumn column) const;

    // Negative, zero or positive as a sorts before, with or after b by the column.
    int Compare(ProcessColumn column, const ProcessRow& a, const ProcessRow& b) const;

    // A few texts of the column among which the widest of all its cells is: the extreme numbers,
    // or the longest texts. Names seen in earlier fills may take part.
    std::vector<std::wstring> WidthCandidates(ProcessColumn column) const;

    // The first shown row from start on, wrapping round, whose text in the sorted column (the
    // name before any sort) begins with the typed text, ignoring case as the sort does.
    std::optional<std::size_t> FindTyped(std::wstring_view typed, std::size_t start) const;

    // The shown rows at these positions as text for the clipboard: a header line, then one line
    // per row, cells separated by tabs, lines ended by CR LF.
    std::wstring RowsAsText(const std::vector<std::size_t>& shownRows) const;

  private:
    struct StoredRow {
        std::int32_t sessionId;
        std::int32_t processId;
        std::uint32_t name;  // number in names_
        std::uint32_t user;
    };

    const StoredRow& Shown(std::size_t shownIndex) const {
        return rows_[sortColumn_ ? shown_[shownIndex] : shownIndex];
    }
    void Sort();
    void NameKeys(std::vector<std::uint32_t>& keys);
    void UserKeys(std::vector<std::uint32_t>& keys);

    TextCompare compareText_;
    std::vector<StoredRow> rows_;
    std::vector<std::wstring> userTexts_;
    std::vector<std::uint32_t> shown_;  // row positions in the shown order, while sorted
    std::size_t shownCount_ = 0;
    std::optional<ProcessColumn> sortColumn_;
    std::vector<std::uint32_t> keys_;  // the sort's, kept so a sort touches no new memory
    std::vector<std::uint32_t> scratch_;
    TextRanks names_;
    StringNumbers<char> ansiNames_;          // the names' bytes as the platform gave them
    std::vector<std::uint32_t> nameOfAnsi_;  // by number in ansiNames_: number in names_
    TextRanks users_;
};

template <class ToWide>
void ProcessTable::Add(std::int32_t sessionId, std::int32_t processId, std::string_view ansiName,
                       ToWide toWide, std::uint32_t user) {
    const std::uint32_t bytes = ansiNames_.Number(ansiName);
    if (bytes == nameOfAnsi_.size()) nameOfAnsi_.push_back(names_.Number(toWide()));
    rows_.push_back({sessionId, processId, nameOfAnsi_[bytes], user});
}

// The positions 0 to keys.size() - 1 ordered by their keys, equal keys in position order; scratch
// is room to work in.
void OrderByKey(const std::vector<std::uint32_t>& keys, std::vector<std::uint32_t>& order,
                std::vector<std::uint32_t>& scratch);

}  // namespace wtsscope
