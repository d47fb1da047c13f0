#pragma once
// Where the panes of a throttle plot sit inside its widget. The live plot and the session
// window's plot share them so the two look alike.

namespace plot {

inline constexpr int kLeft = 34;      // room for the value labels
inline constexpr int kRight = 10;
inline constexpr int kTop = 18;       // room for a pane's title
inline constexpr int kGap = 24;       // between the panes
inline constexpr int kBottom = 20;    // room for the time labels
inline constexpr int kTickHalf = 5;   // lane-change tick, above and below the curve
inline constexpr int kValueLines[] = {0, 64, 128, 192, 255};

} // namespace plot
