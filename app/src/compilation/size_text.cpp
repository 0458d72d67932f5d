#include "compilation/size_text.h"

#include <QDateTime>
#include <QStringList>
#include <cmath>

namespace qvr::app {

namespace {
int64_t RoundHalfEven(double value) { return static_cast<int64_t>(std::nearbyint(value)); }
}  // namespace

QString FormatSize(int unit, int decimals, uint64_t bytes, const QLocale& locale) {
  static const char* const kNames[] = {"bytes", "KB", "MB", "GB", ""};
  const double kb = static_cast<double>(bytes / 1024 + (bytes % 1024 ? 1 : 0));
  double value = 0;
  int shown = unit;
  switch (unit) {
    case kUnitBytes: value = static_cast<double>(bytes); break;
    case kUnitKB: value = kb; break;
    case kUnitMB: value = kb / 1024; break;
    case kUnitGB: value = kb / 1024 / 1024; break;
    default:
      value = kb;
      shown = kUnitKB;
      while (value > 1024 && shown < 4) {
        value /= 1024;
        ++shown;
      }
  }
  if (shown <= kUnitKB) decimals = 0;
  return locale.toString(value, 'f', decimals) + QLatin1Char(' ') + QLatin1String(kNames[shown]);
}

QString AttributeLetters(int32_t attributes) {
  QString letters;
  if (attributes & 0x01) letters += QLatin1Char('R');
  if (attributes & 0x02) letters += QLatin1Char('H');
  if (attributes & 0x04) letters += QLatin1Char('S');
  if (attributes & 0x20) letters += QLatin1Char('A');
  if (attributes & 0x10) letters += QLatin1Char('D');
  return letters;
}

TDurationParts DurationPartsOf(double s) {
  TDurationParts parts{};
  parts.TotalMinutes = RoundHalfEven(s / 60);
  parts.TotalSeconds = RoundHalfEven(s);
  parts.Minutes = static_cast<int64_t>(s / 60);
  parts.Seconds = static_cast<int64_t>(s - static_cast<double>(parts.Minutes) * 60);
  parts.MSeconds = RoundHalfEven((s - std::trunc(s)) * 1000);
  return parts;
}

QStringList DurationReplacements(double seconds) {
  const TDurationParts p = DurationPartsOf(seconds);
  return {QStringLiteral("<#TotalMinutes>=%1").arg(p.TotalMinutes),
          QStringLiteral("<#TotalSeconds>=%1").arg(p.TotalSeconds), QStringLiteral("<#Minutes>=%1").arg(p.Minutes),
          QStringLiteral("<#Seconds>=%1").arg(p.Seconds), QStringLiteral("<#MSeconds>=%1").arg(p.MSeconds)};
}

QStringList SizeReplacements(uint64_t bytes, const QLocale& locale) {
  return {QStringLiteral("<#SizeByte>=") + FormatSize(kUnitBytes, 2, bytes, locale),
          QStringLiteral("<#SizeKB>=") + FormatSize(kUnitKB, 2, bytes, locale),
          QStringLiteral("<#SizeMB>=") + FormatSize(kUnitMB, 2, bytes, locale),
          QStringLiteral("<#SizeGB>=") + FormatSize(kUnitGB, 2, bytes, locale),
          QStringLiteral("<#SizeAuto>=") + FormatSize(kUnitAuto, 2, bytes, locale)};
}

QString FormatDurationColumn(double seconds) {
  const int64_t total = static_cast<int64_t>(seconds);
  return QStringLiteral("%1.%2.%3")
      .arg(total / 3600)
      .arg(total / 60 % 60, 2, 10, QLatin1Char('0'))
      .arg(total % 60, 2, 10, QLatin1Char('0'));
}

QString FormatItemDate(double days, const QString& pattern) {
  static const QDateTime kEpoch(QDate(1899, 12, 30), QTime(0, 0), Qt::UTC);
  const qint64 ms = static_cast<qint64>(std::llround(days * 86400000.0));
  return kEpoch.addMSecs(ms).toString(pattern);
}

}  // namespace qvr::app
