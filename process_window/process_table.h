#pragma once

// The process window's model: its rows in the platform's order, the accounts they run under, and
// the order they are shown in. The list view only ever shows this.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace wtsscope {

enum class ProcessColumn { SessionId = 0, ProcessId = 1, ProcessName = 2, UserId = 3 };
constexpr int kProcessColumnCount = 4;

struct ProcessRow {
    std::int32_t SessionId;
    std::int32_t ProcessId;
    std::wstring ProcessName;
    std::uint32_t User;  // index into the table's account texts
};

// Orders two texts as the user's locale does, ignoring case: negative, zero or positive.
using TextCompare = int (*)(const std::wstring& a, const std::wstring& b);

// The comparators, one per column: negative, zero or positive as a sorts before, with or after b.
int CompareSessionId(const ProcessRow& a, const ProcessRow& b);
int CompareProcessId(const ProcessRow& a, const ProcessRow& b);

class ProcessTable {
  public:
    explicit ProcessTable(TextCompare compareText) : compareText_(compareText) {}

    // Empties the rows and accounts; the sort column stays.
    void Clear();
    void Reserve(std::size_t rows);
    void Add(ProcessRow row);
    // Registers an account text and returns its index for ProcessRow::User.
    std::uint32_t AddUser(std::wstring text);
    // Puts rows added since Clear into the shown order, sorted if a sort column is set.
    void Finish();

    // Sorts ascending by the column from now on; equal rows keep the platform's order.
    void SortBy(ProcessColumn column);
    std::optional<ProcessColumn> SortColumn() const { return sortColumn_; }
    // Forgets the sort column, rows and accounts.
    void Reset();

    std::size_t Size() const { return shown_.size(); }
    const ProcessRow& Row(std::size_t shownIndex) const { return rows_[shown_[shownIndex]]; }
    const std::wstring& UserText(const ProcessRow& row) const { return users_[row.User]; }
    std::wstring CellText(std::size_t shownIndex, ProcessColumn column) const;

    // Negative, zero or positive as a sorts before, with or after b by the column.
    int Compare(ProcessColumn column, const ProcessRow& a, const ProcessRow& b) const;

  private:
    void Sort();

    TextCompare compareText_;
    std::vector<ProcessRow> rows_;
    std::vector<std::wstring> users_;
    std::vector<std::uint32_t> shown_;
    std::optional<ProcessColumn> sortColumn_;
};

}  // namespace wtsscope
