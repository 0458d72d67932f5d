#include "window_placement.h"

#include <gtest/gtest.h>

using qvr::app::PlaceMainWindow;
using qvr::app::RoundHalfEven;

namespace {

TEST(WindowPlacement, RoundsHalvesToEven) {
  struct Case {
    long long n, d;
    int expected;
  } cases[] = {{162, 1, 162}, {1, 2, 0}, {3, 2, 2}, {5, 2, 2}, {7, 2, 4}, {16200, 100, 162},
               {15 * 1050, 100, 158}, {15 * 1070, 100, 160}, {-3, 2, -2}, {251, 100, 3}};
  for (const Case& c : cases) EXPECT_EQ(RoundHalfEven(c.n, c.d), c.expected) << c.n << "/" << c.d;
}

TEST(WindowPlacement, PlacesAndPullsBack) {
  const QRect full_hd(0, 0, 1920, 1080);
  const QRect right_monitor(1920, 0, 1280, 1024);
  const QList<QRect> one{full_hd};
  const QList<QRect> two{full_hd, right_monitor};
  struct Case {
    const char* what;
    QRect stored;
    bool has_position;
    QList<QRect> monitors;
    QRect expected;
  } cases[] = {
      {"first start", QRect(0, 0, 700, 480), false, one, QRect(144, 81, 1632, 918)},
      {"0.1-0.3 without 0.0 still centres", QRect(300, 200, 900, 600), false, one, QRect(144, 81, 1632, 918)},
      {"inside stays", QRect(100, 50, 800, 600), true, one, QRect(100, 50, 800, 600)},
      {"far right pulled back", QRect(1900, 100, 800, 600), true, one, QRect(1800, 100, 800, 600)},
      {"low pulled up", QRect(100, 1000, 800, 600), true, one, QRect(100, 960, 800, 600)},
      {"edge exactly 120 inside stays", QRect(1800, 960, 800, 600), true, one, QRect(1800, 960, 800, 600)},
      {"on no monitor is centred", QRect(5000, 5000, 800, 600), true, one, QRect(144, 81, 1632, 918)},
      {"second monitor keeps its own edge", QRect(3150, 980, 800, 600), true, two, QRect(3080, 904, 800, 600)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PlaceMainWindow(c.stored, c.has_position, full_hd, c.monitors), c.expected) << c.what;
  }
}

}  // namespace
