#include "process_window/column_choice.h"

#include <algorithm>
#include <string>

#include "platform/fonts_and_dpi.h"
#include "platform/geometry.h"

namespace wtsscope {
namespace {

// Room around a cell's text, and a header's text and sort arrow, in twips.
constexpr int kCellPadding = 240;
constexpr int kHeaderPadding = 480;

}  // namespace

void ColumnChoice::Attach(ListView list) {
    list_ = list;
    shown_ = {};
    userWidths_ = {};
    for (int position = 0; position < kAlwaysShownColumnCount; ++position) {
        shown_[position] = true;
        list_.AddColumn(position, kProcessColumns[position].header);
    }
}

std::vector<ProcessColumn> ColumnChoice::Shown() const {
    std::vector<ProcessColumn> columns;
    for (int position = 0; position < kProcessColumnCount; ++position)
        if (shown_[position]) columns.push_back(static_cast<ProcessColumn>(position));
    return columns;
}

int ColumnChoice::Count() const {
    return static_cast<int>(std::count(shown_.begin(), shown_.end(), true));
}

std::optional<ProcessColumn> ColumnChoice::At(int listColumn) const {
    // Asked for every cell painted: a walk of a few flags.
    for (int position = 0; position < kProcessColumnCount; ++position)
        if (shown_[position] && listColumn-- == 0) return static_cast<ProcessColumn>(position);
    return std::nullopt;
}

std::optional<int> ColumnChoice::ListColumn(ProcessColumn column) const {
    const auto position = static_cast<int>(column);
    if (!shown_[position]) return std::nullopt;
    return static_cast<int>(std::count(shown_.begin(), shown_.begin() + position, true));
}

bool ColumnChoice::ChooseFromMenu(HWND owner, POINT where) {
    std::vector<CheckItem> items;
    for (int position = kAlwaysShownColumnCount; position < kProcessColumnCount; ++position)
        items.push_back({kProcessColumns[position].header, shown_[position]});
    const std::optional<std::size_t> chosen = wtsscope::ChooseFromMenu(owner, where, items);
    if (!chosen) return false;
    Toggle(static_cast<ProcessColumn>(kAlwaysShownColumnCount + static_cast<int>(*chosen)));
    return true;
}

void ColumnChoice::Toggle(ProcessColumn column) {
    const auto position = static_cast<int>(column);
    // A width the header reports while the program changes the columns is not the user's.
    fitting_ = true;
    if (const std::optional<int> at = ListColumn(column)) {
        list_.DeleteColumn(*at);
        shown_[position] = false;
    } else {
        shown_[position] = true;
        // Shown anew, a column fits its texts again.
        userWidths_[position] = false;
        list_.AddColumn(*ListColumn(column), kProcessColumns[position].header);
    }
    fitting_ = false;
}

void ColumnChoice::ShowSortArrow(std::optional<ProcessColumn> sorted) {
    const std::optional<int> at = sorted ? ListColumn(*sorted) : std::nullopt;
    list_.ShowSortArrow(
        at, at && SortsLargestFirst(*sorted) ? ListView::Arrow::Down : ListView::Arrow::Up);
}

void ColumnChoice::Fit(HFONT font, int dpi, const ProcessTable& rows) {
    // Measured from the model, never by asking the list for every row's text.
    const WindowDC dc(list_.Handle());
    if (!dc) return;
    const SelectedObject selected(dc.get(), font);
    const std::vector<ProcessColumn> columns = Shown();
    std::vector<int> widths(columns.size());
    for (std::size_t at = 0; at < columns.size(); ++at) {
        const auto listColumn = static_cast<int>(at);
        const auto position = static_cast<int>(columns[at]);
        int& width = widths[at];
        if (userWidths_[position]) {
            // The user's width stays, as large on the screen at a new DPI.
            width = MulDiv(list_.ColumnWidth(listColumn), dpi, widthsDpi_);
            continue;
        }
        width = TextWidth(dc.get(), kProcessColumns[position].header) +
                TwipsToPixels(kHeaderPadding, dpi);
        for (const std::wstring& text : rows.WidthCandidates(columns[at]))
            width = std::max(width, TextWidth(dc.get(), text) + TwipsToPixels(kCellPadding, dpi));
    }
    // Nothing from here on throws, so the mark comes off again.
    fitting_ = true;
    for (std::size_t at = 0; at < columns.size(); ++at)
        if (list_.ColumnWidth(static_cast<int>(at)) != widths[at])
            list_.SetColumnWidth(static_cast<int>(at), widths[at]);
    fitting_ = false;
    widthsDpi_ = dpi;
}

void ColumnChoice::OnWidthChanged(int listColumn) {
    if (fitting_) return;
    if (const std::optional<ProcessColumn> column = At(listColumn))
        userWidths_[static_cast<int>(*column)] = true;
}

}  // namespace wtsscope
