#include "process_window/process_table.h"

#include <algorithm>
#include <numeric>

#include "main_window/session_report.h"

namespace wtsscope {
namespace {

template <class T>
int ThreeWay(const T& a, const T& b) {
    return (a > b) - (a < b);
}

}  // namespace

int CompareSessionId(const ProcessRow& a, const ProcessRow& b) {
    return ThreeWay(a.SessionId, b.SessionId);
}

int CompareProcessId(const ProcessRow& a, const ProcessRow& b) {
    return ThreeWay(a.ProcessId, b.ProcessId);
}

void ProcessTable::Clear() {
    rows_.clear();
    users_.clear();
    shown_.clear();
}

void ProcessTable::Reset() {
    Clear();
    sortColumn_.reset();
}

void ProcessTable::Reserve(std::size_t rows) { rows_.reserve(rows); }

void ProcessTable::Add(ProcessRow row) { rows_.push_back(std::move(row)); }

std::uint32_t ProcessTable::AddUser(std::wstring text) {
    users_.push_back(std::move(text));
    return static_cast<std::uint32_t>(users_.size() - 1);
}

void ProcessTable::Finish() {
    shown_.resize(rows_.size());
    std::iota(shown_.begin(), shown_.end(), 0u);
    if (sortColumn_) Sort();
}

void ProcessTable::SortBy(ProcessColumn column) {
    sortColumn_ = column;
    Sort();
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
            return compareText_(users_[a.User], users_[b.User]);
    }
    return 0;
}

void ProcessTable::Sort() {
    const ProcessColumn column = *sortColumn_;
    // Ties fall back to the platform's order, which the shown order starts from.
    std::iota(shown_.begin(), shown_.end(), 0u);
    std::stable_sort(shown_.begin(), shown_.end(), [&](std::uint32_t a, std::uint32_t b) {
        return Compare(column, rows_[a], rows_[b]) < 0;
    });
}

std::wstring ProcessTable::CellText(std::size_t shownIndex, ProcessColumn column) const {
    const ProcessRow& row = Row(shownIndex);
    switch (column) {
        case ProcessColumn::SessionId:
            return DecimalText(row.SessionId);
        case ProcessColumn::ProcessId:
            return DecimalText(row.ProcessId);
        case ProcessColumn::ProcessName:
            return row.ProcessName;
        case ProcessColumn::UserId:
            return users_[row.User];
    }
    return {};
}

}  // namespace wtsscope
