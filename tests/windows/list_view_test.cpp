// What an owner-data list asks of its owner's rows, answered on the notifications themselves.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/controls.h"

namespace wtsscope {
namespace {

struct Rows {
    std::vector<std::wstring> cells{L"a", L"b", L"c", L"a much longer cell"};
    std::optional<ListSearch> asked;
    std::optional<std::size_t> found;
    OwnerData Owner() {
        return {cells.size(), 1, [this](std::size_t row, int) { return cells[row]; },
                [this](const ListSearch& search) {
                    asked = search;
                    return found;
                }};
    }
};

std::wstring AskForCell(Rows& rows, int row, int column, int room, UINT mask = LVIF_TEXT) {
    std::wstring buffer(8, L'-');
    NMLVDISPINFOW info{};
    info.hdr.code = LVN_GETDISPINFOW;
    info.item.mask = mask;
    info.item.iItem = row;
    info.item.iSubItem = column;
    info.item.pszText = buffer.data();
    info.item.cchTextMax = room;
    EXPECT_EQ(ListView::AnswerOwnerData(info.hdr, rows.Owner()), 0);
    return buffer.substr(0, buffer.find(L'\0'));
}

TEST(OwnerData, CellTextsOfCellsThereEmptyTextsOfOthersAndNoMoreThanTheRoom) {
    Rows rows;
    EXPECT_EQ(AskForCell(rows, 1, 0, 8), L"b");
    EXPECT_EQ(AskForCell(rows, 3, 0, 8), L"a much ");
    // A cell the owner does not have reads empty, not as whatever the buffer held.
    for (const auto& [row, column] :
         std::vector<std::pair<int, int>>{{4, 0}, {-1, 0}, {0, 1}, {0, -1}})
        EXPECT_EQ(AskForCell(rows, row, column, 8), L"") << row << column;
    // No room, or no text asked for: nothing is written.
    EXPECT_EQ(AskForCell(rows, 4, 0, 0), L"--------");
    EXPECT_EQ(AskForCell(rows, 0, 0, 8, LVIF_IMAGE), L"--------");
    NMHDR other{nullptr, 0, LVN_COLUMNCLICK};
    EXPECT_EQ(ListView::AnswerOwnerData(other, rows.Owner()), std::nullopt);
}

// Typing and LVM_FINDITEM reach the owner as LVN_ODFINDITEMW with the flags each Windows version
// chooses; Wine's list sends only LVFI_WRAP | LVFI_PARTIAL for typing.
TEST(OwnerData, FindRequestsAskForTheSearchTheirFlagsAndStartDocument) {
    struct Request {
        UINT flags;
        const wchar_t* text;
        int start;
        std::optional<ListSearch> asked;
    };
    const auto search = [](TextMatch match, std::size_t start, bool wrap) {
        return ListSearch{L"x", match, start, wrap};
    };
    for (const Request& request : std::vector<Request>{
             {LVFI_PARTIAL, L"x", 1, search(TextMatch::Prefix, 1, false)},
             {LVFI_SUBSTRING, L"x", 1, search(TextMatch::Prefix, 1, false)},
             {LVFI_STRING | LVFI_PARTIAL, L"x", 3, search(TextMatch::Prefix, 3, false)},
             {LVFI_PARTIAL | LVFI_WRAP, L"x", 3, search(TextMatch::Prefix, 3, true)},
             {LVFI_STRING, L"x", 2, search(TextMatch::Whole, 2, false)},
             {LVFI_WRAP, L"x", 3, search(TextMatch::Whole, 3, true)},
             {LVFI_STRING, L"x", -1, search(TextMatch::Whole, 0, false)},
             {LVFI_PARAM | LVFI_STRING, L"x", 0, std::nullopt},
             {LVFI_NEARESTXY, L"x", 0, std::nullopt},
             {LVFI_STRING, nullptr, 0, std::nullopt},
         }) {
        Rows rows;
        rows.found = 2;
        NMLVFINDITEMW find{};
        find.hdr.code = LVN_ODFINDITEMW;
        find.iStart = request.start;
        find.lvfi.flags = request.flags;
        find.lvfi.psz = request.text;
        EXPECT_EQ(ListView::AnswerOwnerData(find.hdr, rows.Owner()), request.asked ? 2 : -1)
            << request.flags << " " << request.start;
        ASSERT_EQ(rows.asked.has_value(), request.asked.has_value()) << request.flags;
        if (!request.asked) continue;
        EXPECT_EQ(rows.asked->text, request.asked->text);
        EXPECT_EQ(rows.asked->match, request.asked->match) << request.flags;
        EXPECT_EQ(rows.asked->start, request.asked->start) << request.flags;
        EXPECT_EQ(rows.asked->wrap, request.asked->wrap) << request.flags;
    }
    // A row the owner names that the list does not have is no row.
    Rows rows;
    rows.found = 4;
    NMLVFINDITEMW find{};
    find.hdr.code = LVN_ODFINDITEMW;
    find.lvfi.flags = LVFI_STRING;
    find.lvfi.psz = L"x";
    EXPECT_EQ(ListView::AnswerOwnerData(find.hdr, rows.Owner()), -1);
}

}  // namespace
}  // namespace wtsscope
