#pragma once

// The cost columns' figures as the list shows them, and a process's share of the processor
// between two fills.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace wtsscope {

// Room for the longest figure: twenty digits, or an hour count of fifteen digits and ":MM:SS".
using FigureText = std::array<wchar_t, 24>;

// A figure in plain decimal, without grouping, so a copied report pastes as numbers.
std::wstring_view DecimalFigure(std::uint64_t value, FigureText& text);

// Seconds as H:MM:SS; the hours are not padded and not bounded.
std::wstring_view DurationFigure(std::uint64_t seconds, FigureText& text);

// The processor time a process used between two fills, in 100 ns units, as a share of the
// machine's in whole percent, rounded and held within 0 to 100. None where the change is negative
// or no time passed.
std::optional<std::uint8_t> ProcessorShare(std::uint64_t before, std::uint64_t after,
                                           std::uint64_t elapsed, std::uint32_t processors);

}  // namespace wtsscope
