#include "process_window/cost_figures.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace wtsscope {
namespace {

// Appends the value's digits at the position; where the figure ends.
wchar_t* AppendDigits(std::uint64_t value, int leastDigits, wchar_t* out) {
    char digits[21];
    const char* end = std::to_chars(std::begin(digits), std::end(digits), value).ptr;
    for (auto length = end - digits; length < leastDigits; ++length) *out++ = L'0';
    return std::copy(static_cast<const char*>(digits), end, out);
}

}  // namespace

std::wstring_view DecimalFigure(std::uint64_t value, FigureText& text) {
    return {text.data(),
            static_cast<std::size_t>(AppendDigits(value, 1, text.data()) - text.data())};
}

std::wstring_view DurationFigure(std::uint64_t seconds, FigureText& text) {
    wchar_t* out = AppendDigits(seconds / 3600, 1, text.data());
    *out++ = L':';
    out = AppendDigits(seconds / 60 % 60, 2, out);
    *out++ = L':';
    out = AppendDigits(seconds % 60, 2, out);
    return {text.data(), static_cast<std::size_t>(out - text.data())};
}

std::optional<std::uint8_t> ProcessorShare(std::uint64_t before, std::uint64_t after,
                                           std::uint64_t elapsed, std::uint32_t processors) {
    if (after < before || elapsed == 0 || processors == 0) return std::nullopt;
    // In floating point: the change times 100 may not fit 64 bits after years of processor time,
    // and the share is held to 100 anyway.
    const double share = 100.0 * static_cast<double>(after - before) /
                         (static_cast<double>(elapsed) * static_cast<double>(processors));
    return static_cast<std::uint8_t>(std::lround(std::min(100.0, share)));
}

}  // namespace wtsscope
