#include "process_window/cost_figures.h"

#include <algorithm>
#include <charconv>
#include <limits>

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
    // In whole numbers, half up: the runtime's lround is a call per row. Where a product would not
    // fit 64 bits, which takes centuries of time, the figures are divided down first; a share in
    // whole percent loses nothing by it.
    constexpr std::uint64_t kMost = std::numeric_limits<std::uint64_t>::max();
    std::uint64_t change = after - before;
    std::uint64_t whole = elapsed;
    if (elapsed > kMost / processors)
        change /= processors;
    else
        whole *= processors;
    if (change >= whole) return std::uint8_t{100};
    if (whole > kMost / 200)
        return static_cast<std::uint8_t>((change + whole / 200) / (whole / 100));
    return static_cast<std::uint8_t>((change * 200 + whole) / (2 * whole));
}

}  // namespace wtsscope
