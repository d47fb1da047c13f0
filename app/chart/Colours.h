#pragma once
// The colours of a plot, as 0xAARRGGBB. Plain C++.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace chart {

using Argb = uint32_t;

inline constexpr Argb kWhite = 0xffffffff;
inline constexpr Argb kBlack = 0xff000000;
inline constexpr Argb kGrey = 0xff808080;
inline constexpr Argb kValueLineColour = 0xffe1e1e1;
inline constexpr Argb kTimeLineColour = 0xffeeeeee;
inline constexpr Argb kRangeColour = 0x380078d7;     // a range being dragged, see-through
inline constexpr Argb kOffsetChangeColour = 0xffd2691e;  // where the clocks were changed

// The colour of the car first seen (or listed) as the index-th.
Argb CarColour(size_t index);
// The colour of car in a plot that lists its cars in this order.
Argb CarColourIn(const std::vector<uint8_t>& order, uint8_t car);

} // namespace chart
