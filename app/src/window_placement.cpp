#include "window_placement.h"

namespace qvr::app {

int RoundHalfEven(long long numerator, long long denominator) {
  long long quotient = numerator / denominator;
  long long remainder = numerator % denominator;
  if (remainder < 0) {
    remainder += denominator;
    --quotient;
  }
  const long long twice = 2 * remainder;
  if (twice > denominator || (twice == denominator && quotient % 2 != 0)) ++quotient;
  return static_cast<int>(quotient);
}

namespace {

// The monitor holding the largest part of the window; null when none does.
const QRect* MonitorOf(const QRect& window, const QList<QRect>& monitors) {
  const QRect* best = nullptr;
  long long best_area = 0;
  for (const QRect& monitor : monitors) {
    const QRect common = monitor.intersected(window);
    const long long area = common.isEmpty() ? 0 : 1LL * common.width() * common.height();
    if (area > best_area) {
      best_area = area;
      best = &monitor;
    }
  }
  return best;
}

}  // namespace

QRect PlaceMainWindow(QRect window, bool has_stored_position, QRect screen, const QList<QRect>& monitors) {
  if (!has_stored_position || !MonitorOf(window, monitors)) {
    const int height = screen.height() - RoundHalfEven(15LL * screen.height(), 100);
    const int width = screen.width() - RoundHalfEven(15LL * screen.width(), 100);
    window = QRect(screen.left() + RoundHalfEven(screen.width() - width, 2),
                   screen.top() + RoundHalfEven(screen.height() - height, 2), width, height);
  }
  if (const QRect* monitor = MonitorOf(window, monitors)) {
    const int max_left = monitor->left() + monitor->width() - kKeepOnMonitor;
    const int max_top = monitor->top() + monitor->height() - kKeepOnMonitor;
    if (window.left() > max_left) window.moveLeft(max_left);
    if (window.top() > max_top) window.moveTop(max_top);
  }
  return window;
}

}  // namespace qvr::app
