#include "app/chart/Colours.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace chart {

namespace {
// Distinct on white and told apart by most eyes; later cars step round the hue circle.
constexpr Argb kPalette[] = {0xff1f77b4, 0xffd62728, 0xff2ca02c, 0xffff7f0e, 0xff9467bd,
                             0xff8c564b, 0xffe377c2, 0xff17becf, 0xffbcbd22, 0xff3c3c3c};

// hue in degrees, saturation and value 0 to 255.
Argb FromHsv(int hue, int saturation, int value) {
    const double s = saturation / 255.0, v = value / 255.0;
    const double c = v * s;
    const double h = hue / 60.0;
    const double x = c * (1 - std::fabs(std::fmod(h, 2.0) - 1));
    double r = 0, g = 0, b = 0;
    switch (static_cast<int>(h) % 6) {
    case 0: r = c; g = x; break;
    case 1: r = x; g = c; break;
    case 2: g = c; b = x; break;
    case 3: g = x; b = c; break;
    case 4: r = x; b = c; break;
    default: r = c; b = x; break;
    }
    const double m = v - c;
    const auto byte = [m](double part) { return static_cast<Argb>(std::lround((part + m) * 255.0)); };
    return 0xff000000u | byte(r) << 16 | byte(g) << 8 | byte(b);
}
} // namespace

Argb CarColour(size_t index) {
    if (index < std::size(kPalette)) return kPalette[index];
    const int hue = static_cast<int>((index * 137) % 360);  // the golden angle spreads them out
    return FromHsv(hue, 200, index % 2 == 0 ? 200 : 150);
}

Argb CarColourIn(const std::vector<uint8_t>& order, uint8_t car) {
    return CarColour(static_cast<size_t>(std::find(order.begin(), order.end(), car) - order.begin()));
}

} // namespace chart
