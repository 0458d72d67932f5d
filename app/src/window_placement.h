#pragma once
// Where the main window goes when the configuration is applied.
//
// Without a stored position (key 0.0) or when the window lies on no monitor,
// it gets the primary screen's size less 15 % in each direction and is
// centred. On a monitor, a left or top edge further than 120 pixels before
// that monitor's right or bottom edge is pulled back, so at least 120 pixels
// of the window stay reachable.

#include <QList>
#include <QRect>

namespace qvr::app {

inline constexpr int kKeepOnMonitor = 120;

// `window` is the stored geometry (left, top, width, height); `screen` the
// primary screen; `monitors` every monitor's geometry.
QRect PlaceMainWindow(QRect window, bool has_stored_position, QRect screen, const QList<QRect>& monitors);

// Rounds numerator / denominator to the nearest integer, halves to even.
int RoundHalfEven(long long numerator, long long denominator);

}  // namespace qvr::app
