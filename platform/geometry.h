#pragma once

namespace wtsscope {

constexpr int kTwipsPerInch = 1440;
constexpr int kPointsPerInch = 72;

// A control's place as the layout tables give it: left, top, width, height.
struct Box {
    int left;
    int top;
    int width;
    int height;
    friend bool operator==(const Box&, const Box&) = default;
};

// Converts a twips measure to pixels at the given dots per inch, rounding half away from zero.
int TwipsToPixels(int twips, int dpi);

// A layout table's box in twips, as pixels at the given dots per inch.
Box ScaleBox(const Box& twips, int dpi);

// The font height in pixels for a point size at the given dots per inch.
int PointsToPixels(int points, int dpi);

}  // namespace wtsscope
