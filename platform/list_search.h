#pragma once

// A search a list asks its owner for among the rows it shows, as typing in a list view and
// LVM_FINDITEM ask an owner-data list's owner.

#include <cstddef>
#include <string_view>

namespace wtsscope {

enum class TextMatch {
    Prefix,  // the row's text begins with the searched text
    Whole,   // the row's text is the searched text
};

struct ListSearch {
    std::wstring_view text;
    TextMatch match = TextMatch::Whole;
    std::size_t start = 0;  // the first row looked at
    bool wrap = false;      // past the last row, on from the first up to the row before start
};

}  // namespace wtsscope
