#include "compilation/disc_space.h"

#include <cmath>

namespace qvr::app {

namespace {

struct TFamilyRow {
  std::array<int, 5> Codes;  // capability codes, 0 ends the list
  bool ByMinutes;            // compared with minutes instead of GB
  bool ByMegabytes;
  double Green, Yellow, Divisor;
  int TextKey;
  const char* Placeholder;
};

constexpr TFamilyRow kRows[kFamilyCount] = {
    {{21, 22}, false, true, 650, 700, 7, 7, "<#percent_cd>"},
    {{21, 22}, true, false, 74, 80, 0.8, 8, "<#percent_cd_audio>"},
    {{23, 24, 25, 26, 27}, false, false, 3.933, 4.37, 0.0437, 9, "<#percent_dvd>"},
    {{28}, false, false, 7.164, 7.96, 0.0796, 10, "<#percent_dvddl>"},
    {{31, 32}, false, false, 20.9763, 23.307, 0.23307, 11, "<#percent_bluray>"},
    {{29, 30}, false, false, 12.6369, 14.041, 0.14041, 12, "<#percent_dvdhd>"},
};

QString Fixed2(double v) { return QString::number(v, 'f', 2); }
int64_t Rounded(double v) { return static_cast<int64_t>(std::nearbyint(v)); }

}  // namespace

void SpaceColorRgb(TSpaceColor color, int& r, int& g, int& b) {
  switch (color) {
    case TSpaceColor::Green: r = 0, g = 255, b = 0; break;
    case TSpaceColor::Yellow: r = 255, g = 255, b = 0; break;
    case TSpaceColor::Red: r = 255, g = 0, b = 0; break;
    case TSpaceColor::Grey: r = 128, g = 128, b = 128; break;
  }
}

TDiscSpaceView ComputeDiscSpace(double duration, uint64_t bytes, int files, int dirs, const TCanWrite& can_write,
                                const TCurrentDisc& disc, const TSpaceTexts& texts) {
  TDiscSpaceView view;
  const double mb = static_cast<double>(bytes) / 1048576.0;
  const double gb = mb / 1024;
  const double minutes = duration / 60;
  const auto writes = [&](int code) { return !can_write || can_write(code); };
  const bool writes_cd = writes(21) || writes(22);

  view.TotalData = mb >= 1024 ? texts(2, {QStringLiteral("<#GB>=%1").arg(Rounded(gb))})
                              : texts(1, {QStringLiteral("<#MB>=%1").arg(Rounded(mb))});
  const QString minutes_line = QStringLiteral("<#minutes>=%1").arg(Rounded(minutes));
  view.TotalAudio = minutes != 0 ? texts(4, {minutes_line}) : texts(3, {minutes_line});
  view.Files = texts(5, {QStringLiteral("<#files>=%1").arg(files)});
  view.Dirs = texts(6, {QStringLiteral("<#directories>=%1").arg(dirs)});

  for (int i = 0; i < kFamilyCount; ++i) {
    const TFamilyRow& row = kRows[i];
    TSpacePanel& panel = view.Families[i];
    panel.Visible = false;
    for (int code : row.Codes) panel.Visible = panel.Visible || (code && writes(code));
    const double value = row.ByMinutes ? minutes : row.ByMegabytes ? mb : gb;
    panel.Color = value <= row.Green ? TSpaceColor::Green : value <= row.Yellow ? TSpaceColor::Yellow : TSpaceColor::Red;
    panel.Percent = static_cast<int>(value / row.Divisor);
    panel.PercentHtml = texts(row.TextKey, {QLatin1String(row.Placeholder) + QStringLiteral("=%1").arg(panel.Percent)});
  }

  TSpacePanel& current = view.Current;
  QStringList hint;
  if (!disc.UnitReady) {
    current.Color = TSpaceColor::Grey;
    current.PercentHtml = texts(25, {});
    view.CurrentSmallFont = true;
    hint << texts(24, {});
  } else if (!disc.Writable || disc.FreeBlocks == 0) {
    current.Color = TSpaceColor::Grey;
    current.PercentHtml = texts(23, {});
    hint << texts(22, {});
  } else {
    const double c = static_cast<double>(disc.FreeBlocks) * 2048 / 1048576.0;
    hint << disc.MediumName;
    current.Color = mb > c ? TSpaceColor::Red : mb <= c - c / 10 ? TSpaceColor::Green : TSpaceColor::Yellow;
    const int percent_data = static_cast<int>(mb / (c / 100));
    current.Percent = percent_data;
    const QString data_line = QStringLiteral("<#percent_data>=%1").arg(percent_data);
    if (writes_cd && minutes > 0) {
      const QString audio_line = QStringLiteral("<#percent_audio>=%1").arg(static_cast<int>(minutes / (c / 8.75 / 100)));
      current.PercentHtml = texts(13, {data_line, audio_line});
      hint << texts(14, {data_line, audio_line});
    } else {
      current.PercentHtml = texts(15, {data_line});
      hint << texts(16, {data_line});
    }
    if (mb >= 1024) {
      hint << texts(18, {QStringLiteral("<#GB>=") + Fixed2(gb), QStringLiteral("<#current_GB>=") + Fixed2(c / 1024)});
    } else {
      hint << texts(17, {QStringLiteral("<#MB>=%1").arg(Rounded(mb)), QStringLiteral("<#current_MB>=%1").arg(Rounded(c))});
    }
    if (!writes_cd) {
      hint << texts(21, {});
    } else if (minutes > 0) {
      hint << texts(19, {QStringLiteral("<#minutes>=") + Fixed2(minutes),
                         QStringLiteral("<#current_minutes>=") + Fixed2(c / 8.75)});
    } else {
      hint << texts(20, {});
    }
  }
  view.CurrentHint = hint.join(QStringLiteral("\r\n"));
  return view;
}

}  // namespace qvr::app
