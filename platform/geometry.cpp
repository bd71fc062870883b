#include "platform/geometry.h"

#include <cstdint>

namespace wtsscope {
namespace {

int Scale(int value, int numerator, int denominator) {
    const std::int64_t product = static_cast<std::int64_t>(value) * numerator;
    const std::int64_t half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator
                                         : (product - half) / denominator);
}

}  // namespace

int TwipsToPixels(int twips, int dpi) { return Scale(twips, dpi, kTwipsPerInch); }

Box ScaleBox(const Box& twips, int dpi) {
    return {TwipsToPixels(twips.left, dpi), TwipsToPixels(twips.top, dpi),
            TwipsToPixels(twips.width, dpi), TwipsToPixels(twips.height, dpi)};
}

int PointsToPixels(int points, int dpi) { return Scale(points, dpi, kPointsPerInch); }

}  // namespace wtsscope
